#include "app/morph_scheduler.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace solidmorph {
namespace {

// The presets as the model below sees them, kept apart from the table the
// scheduler fills so a typo in one shows up against the other.
// Columns: a, b, m, n1, n2, n3.
constexpr double preset_decimals[12][6] = {
    {0, 0, 0, 0, 0, 0},
    {1, 1, 0, 1, 1, 1},
    {1, 1, 4, 100, 100, 100},
    {1, 1, 7, 0.3, 1.7, 1.7},
    {1, 1, 5, 0.6, 0.4, 0.5},
    {1, 1, 6, 0.6, 2.07, 2.5},
    {1, 0.7, 6.283186, 0.716, 3.3, 5.05},
    {0.2, 0.1, 8, 18.16, 2.3, 10.05},
    {1, 1, 13, 0.16, 2.3, 0.05},
    {1, 1, 4, 0.46, 5.3, 0.305},
    {1, 1, 13, 0.46, 0.3, 5.305},
    {1, 1, 6, 1.26, -1, 1.738},
};

using Fields = std::array<float, 6>;

Fields fields_of(const ShapeParams& s) { return {s.a, s.b, s.m, s.n1, s.n2, s.n3}; }

Fields preset(int i) {
    Fields f{};
    for (int j = 0; j < 6; ++j) {
        f[j] = static_cast<float>(preset_decimals[i][j]);
    }
    return f;
}

// Bit-level equality, so -0 against +0 or a one-ulp slip is a failure.
bool same_bits(float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; }

::testing::AssertionResult same_fields(const Fields& got, const Fields& want) {
    static const char* names[] = {"a", "b", "m", "n1", "n2", "n3"};
    for (int j = 0; j < 6; ++j) {
        if (!same_bits(got[j], want[j])) {
            return ::testing::AssertionFailure()
                   << names[j] << ": got " << got[j] << " want " << want[j];
        }
    }
    return ::testing::AssertionSuccess();
}

// Preset a period morphs toward: the first two periods go out to 6 and back,
// then every 21 periods visit 2..11 with a return to the sphere after each,
// closing with one sphere-to-sphere period.
int model_target(int64_t period) {
    if (period == 0) return 6;
    if (period == 1) return 1;
    const int64_t r = (period - 2) % 21;
    if (r == 20 || r % 2 == 1) return 1;
    return static_cast<int>(r / 2 + 2);
}

int model_source(int64_t period) { return period == 0 ? 1 : model_target(period - 1); }

Fields model_increment(int64_t period) {
    const int from = model_source(period);
    const int to = model_target(period);
    Fields f{};
    for (int j = 0; j < 6; ++j) {
        const double diff =
            static_cast<double>(preset(to)[j]) - static_cast<double>(preset(from)[j]);
        f[j] = static_cast<float>(diff / 200.0);
    }
    return f;
}

class MorphScheduler : public ::testing::Test {
protected:
    void SetUp() override {
        shape_table = ShapeTable{};
        current_shape = start_shape;
        morph_steps = 200;
        target_index = 6;
        source_index = 1;
        cycle_index = 0;
        period_frame = 0;
        fill_shape_table();
        start_morph();
    }

    // Runs frames until `frames` frames have run in total since start_morph.
    void run_to(int64_t frames) {
        for (; frames_run < frames; ++frames_run) {
            advance_morph();
        }
    }

    int64_t frames_run = 0;
};

TEST_F(MorphScheduler, PresetsAreTheNearestFloats) {
    for (int i = 1; i <= 11; ++i) {
        EXPECT_TRUE(same_fields(fields_of(shape_table[i]), preset(i))) << "preset " << i;
    }
    // The full turn of preset 6 sits one float step above the float nearest
    // 2 pi; an accidental M_PI * 2 would land on the lower one.
    const float two_pi = static_cast<float>(2.0 * 3.14159265358979323846);
    EXPECT_EQ(shape_table[6].m, std::nextafter(two_pi, 10.0f));
    EXPECT_EQ(shape_table[11].n2, -1.0f);
}

TEST_F(MorphScheduler, StartMorphPrimesSphereTowardPresetSix) {
    EXPECT_TRUE(same_fields(fields_of(current_shape), preset(1)));
    EXPECT_EQ(source_index, 6);
    EXPECT_EQ(target_index, 6);
    EXPECT_EQ(period_frame, 0);
    EXPECT_EQ(cycle_index, 0);

    const ShapeParams& inc = shape_table[0];
    EXPECT_EQ(inc.a, 0.0f);
    EXPECT_FLOAT_EQ(inc.b, -0.0015f);
    EXPECT_FLOAT_EQ(inc.m, 0.03141593f);
    EXPECT_FLOAT_EQ(inc.n1, -0.00142f);
    EXPECT_FLOAT_EQ(inc.n2, 0.0115f);
    EXPECT_FLOAT_EQ(inc.n3, 0.02025f);
    // One rounding from the double quotient, not a float division.
    EXPECT_TRUE(same_fields(fields_of(inc), model_increment(0)));
}

TEST_F(MorphScheduler, StartMorphIgnoresTheStartShape) {
    current_shape = ShapeParams{9, 9, 9, 9, 9, 9};
    start_morph();
    EXPECT_TRUE(same_fields(fields_of(current_shape), preset(1)));
}

TEST_F(MorphScheduler, FrameZeroAlreadyMoves) {
    run_to(1);
    EXPECT_EQ(period_frame, 1);
    EXPECT_EQ(target_index, 6);
    Fields want = preset(1);
    const Fields inc = model_increment(0);
    for (int j = 0; j < 6; ++j) want[j] += inc[j];
    EXPECT_TRUE(same_fields(fields_of(current_shape), want));
}

TEST_F(MorphScheduler, ArrivesNearPresetSixAndHoldsThroughTheRest) {
    run_to(200);
    const Fields arrived = fields_of(current_shape);
    const Fields six = preset(6);
    for (int j = 0; j < 6; ++j) {
        EXPECT_NEAR(arrived[j], six[j], 1e-5 * std::fabs(six[j]) + 1e-6) << "field " << j;
    }
    EXPECT_NEAR(current_shape.b, 0.699998f, 1e-6f);
    for (int64_t f = 200; f < 400; ++f) {
        run_to(f + 1);
        ASSERT_TRUE(same_fields(fields_of(current_shape), arrived)) << "frame " << f;
    }
    EXPECT_EQ(period_frame, 400);
    EXPECT_EQ(target_index, 6);
}

TEST_F(MorphScheduler, ReturnIncrementComesFromTheTableNotTheDriftedShape) {
    run_to(400);
    const Fields held = fields_of(current_shape);
    run_to(401);
    EXPECT_EQ(target_index, 1);
    EXPECT_EQ(source_index, 1);
    EXPECT_EQ(period_frame, 1);
    const Fields inc = model_increment(1);
    EXPECT_TRUE(same_fields(fields_of(shape_table[0]), inc));
    // A drift-based step would be (1 - 0.699998) / 200 for b.
    const float drift_b = static_cast<float>((1.0 - static_cast<double>(held[1])) / 200.0);
    EXPECT_NE(shape_table[0].b, drift_b);
    Fields want = held;
    for (int j = 0; j < 6; ++j) want[j] += inc[j];
    EXPECT_TRUE(same_fields(fields_of(current_shape), want));
}

TEST_F(MorphScheduler, ReturnToSphereDriftsButStaysClose) {
    run_to(800);
    EXPECT_NEAR(current_shape.m, 0.0f, 1e-4f);
    EXPECT_NEAR(current_shape.a, 1.0f, 1e-5f);
    EXPECT_NEAR(current_shape.b, 1.0f, 1e-5f);
    EXPECT_NEAR(current_shape.n1, 1.0f, 1e-5f);
    EXPECT_NEAR(current_shape.n2, 1.0f, 1e-4f);
    EXPECT_NEAR(current_shape.n3, 1.0f, 1e-4f);
}

TEST_F(MorphScheduler, PresetTwoStepsAreExactFractions) {
    run_to(801);
    EXPECT_EQ(target_index, 2);
    EXPECT_EQ(shape_table[0].m, 0.02f);
    EXPECT_EQ(shape_table[0].n1, 0.495f);
    EXPECT_EQ(shape_table[0].n2, 0.495f);
    EXPECT_EQ(shape_table[0].n3, 0.495f);
    EXPECT_EQ(shape_table[0].a, 0.0f);
}

TEST_F(MorphScheduler, SphereToSpherePeriodHoldsThenPresetTwoFollows) {
    run_to(22 * 400);
    EXPECT_EQ(cycle_index, 10);
    EXPECT_EQ(target_index, 1);
    const Fields before = fields_of(current_shape);
    run_to(22 * 400 + 1);
    EXPECT_EQ(cycle_index, 0);
    EXPECT_EQ(target_index, 1);
    EXPECT_TRUE(same_fields(fields_of(shape_table[0]), Fields{}));
    run_to(23 * 400);
    EXPECT_TRUE(same_fields(fields_of(current_shape), before));
    run_to(23 * 400 + 1);
    EXPECT_EQ(cycle_index, 1);
    EXPECT_EQ(target_index, 2);
}

// Sources and targets at every boundary across more than two cycles, and
// nothing changing inside a period.
TEST_F(MorphScheduler, VisitsPresetsInCycleOrder) {
    for (int64_t period = 0; period < 46; ++period) {
        run_to(period * 400 + 1);
        const int want = model_target(period);
        ASSERT_EQ(target_index, want) << "period " << period;
        ASSERT_EQ(source_index, want) << "period " << period;
        ASSERT_TRUE(same_fields(fields_of(shape_table[0]), model_increment(period)))
            << "period " << period << " from " << model_source(period) << " to " << want;
        ASSERT_GE(cycle_index, 0);
        ASSERT_LE(cycle_index, 10);
        run_to(period * 400 + 400);
        ASSERT_EQ(target_index, want) << "period " << period;
        ASSERT_EQ(period_frame, 400);
    }
    // Spot checks of the closed form itself.
    EXPECT_EQ(model_target(10), 6);
    EXPECT_EQ(model_target(11), 1);
    EXPECT_EQ(model_target(20), 11);
    EXPECT_EQ(model_target(22), 1);
    EXPECT_EQ(model_target(23), 2);
    EXPECT_EQ(model_target(43), 1);
    EXPECT_EQ(model_target(44), 2);
}

// The shape frame by frame against a model that steps each field on its own
// from the period's table increment, bit for bit over three cycles.
TEST_F(MorphScheduler, MatchesIndependentModelBitForBit) {
    Fields model = preset(1);
    const int64_t frames = 2 * 400 + 3 * 21 * 400;
    for (int64_t k = 0; k < frames; ++k) {
        if (k % 400 < 200) {
            const Fields inc = model_increment(k / 400);
            for (int j = 0; j < 6; ++j) {
                model[j] = static_cast<float>(static_cast<double>(model[j]) + inc[j]);
            }
        }
        run_to(k + 1);
        ASSERT_TRUE(same_fields(fields_of(current_shape), model)) << "frame " << k;
    }
}

}  // namespace
}  // namespace solidmorph
