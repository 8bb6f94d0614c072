// The morph scheduler frame by frame against an independent model, and weeks
// of frames with the surface it would hand the generator at points along the
// way: the program is left running in front of people for days.
#include "morph/morph_scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "geometry/surface_mesh.h"
#include "morph/shape_tour.h"

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
    for (int j = 0; j < 6; ++j) f[j] = static_cast<float>(preset_decimals[i][j]);
    return f;
}

Fields plus(Fields f, const Fields& step) {
    for (int j = 0; j < 6; ++j) f[j] += step[j];
    return f;
}

// Bit-level equality, so -0 against +0 or a one-ulp slip is a failure.
::testing::AssertionResult same_fields(const Fields& got, const Fields& want) {
    static const char* names[] = {"a", "b", "m", "n1", "n2", "n3"};
    for (int j = 0; j < 6; ++j) {
        if (std::memcmp(&got[j], &want[j], sizeof(float)) != 0) {
            return ::testing::AssertionFailure()
                   << names[j] << ": got " << got[j] << " want " << want[j];
        }
    }
    return ::testing::AssertionSuccess();
}

constexpr int64_t period_frames = 400;
constexpr int64_t cycle_periods = 21;

// Preset a period morphs toward: the first two periods go out to 6 and back,
// then every 21 periods visit 2..11 with a return to the sphere after each,
// closing with one sphere-to-sphere period.
int model_target(int64_t period) {
    if (period == 0) return 6;
    if (period == 1) return 1;
    const int64_t r = (period - 2) % cycle_periods;
    if (r == cycle_periods - 1 || r % 2 == 1) return 1;
    return static_cast<int>(r / 2 + 2);
}

int model_source(int64_t period) { return period == 0 ? 1 : model_target(period - 1); }

Fields model_increment(int64_t period) {
    const int from = model_source(period), to = model_target(period);
    Fields f{};
    for (int j = 0; j < 6; ++j) {
        const double diff = double(preset(to)[j]) - double(preset(from)[j]);
        f[j] = static_cast<float>(diff / 200.0);
    }
    return f;
}

void restart_scheduler() {
    reset_morph();
    fill_shape_table();
    start_morph();
}

class MorphScheduler : public ::testing::Test {
protected:
    void SetUp() override { restart_scheduler(); }

    // Runs frames until `frames` frames have run in total since start_morph.
    void run_to(int64_t frames) {
        for (; frames_run < frames; ++frames_run) advance_morph();
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

TEST_F(MorphScheduler, StartMorphPrimesSphereTowardPresetSixAndFrameZeroMoves) {
    EXPECT_TRUE(same_fields(fields_of(current_shape), preset(1)));
    EXPECT_EQ(source_index, 6);
    EXPECT_EQ(target_index, 6);
    EXPECT_EQ(period_frame, 0);
    EXPECT_EQ(cycle_index, 0);

    const ShapeParams& inc = shape_table[0];
    EXPECT_EQ(inc.a, 0.0f);
    const float steps[6] = {0, -0.0015f, 0.03141593f, -0.00142f, 0.0115f, 0.02025f};
    for (int j = 1; j < 6; ++j) EXPECT_FLOAT_EQ(fields_of(inc)[j], steps[j]) << "field " << j;
    // One rounding from the double quotient, not a float division.
    EXPECT_TRUE(same_fields(fields_of(inc), model_increment(0)));

    run_to(1);
    EXPECT_EQ(period_frame, 1);
    EXPECT_EQ(target_index, 6);
    EXPECT_TRUE(same_fields(fields_of(current_shape), plus(preset(1), model_increment(0))));

    // Whatever shape came before, a new morph starts from the sphere.
    current_shape = ShapeParams{9, 9, 9, 9, 9, 9};
    start_morph();
    EXPECT_TRUE(same_fields(fields_of(current_shape), preset(1)));
}

// Landmarks of the first cycle, in the order a run meets them.
TEST_F(MorphScheduler, FirstCycleLandmarks) {
    // Arrives near preset 6 and holds through the rest of the period.
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

    // The return increment comes from the table, not the drifted shape,
    // which would give (1 - 0.699998) / 200 for b.
    run_to(401);
    EXPECT_EQ(target_index, 1);
    EXPECT_EQ(source_index, 1);
    EXPECT_EQ(period_frame, 1);
    EXPECT_TRUE(same_fields(fields_of(shape_table[0]), model_increment(1)));
    EXPECT_NE(shape_table[0].b, static_cast<float>((1.0 - double(arrived[1])) / 200.0));
    EXPECT_TRUE(same_fields(fields_of(current_shape), plus(arrived, model_increment(1))));

    // Back at the sphere it has drifted, but stays close.
    run_to(800);
    const float sphere_tolerance[6] = {1e-5f, 1e-5f, 1e-4f, 1e-5f, 1e-4f, 1e-4f};
    for (int j = 0; j < 6; ++j) {
        EXPECT_NEAR(fields_of(current_shape)[j], preset(1)[j], sphere_tolerance[j])
            << "field " << j;
    }

    // Toward preset 2 the steps are exact fractions.
    run_to(801);
    EXPECT_EQ(target_index, 2);
    EXPECT_TRUE(same_fields(fields_of(shape_table[0]), {0, 0, 0.02f, 0.495f, 0.495f, 0.495f}));

    // The sphere-to-sphere period closing the cycle holds; then preset 2 follows.
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

// Over three cycles: the shape frame by frame against a model that steps
// each field on its own from the period's table increment, bit for bit; the
// sources, targets and increments at every boundary; nothing changing inside
// a period.
TEST_F(MorphScheduler, MatchesIndependentModelBitForBit) {
    Fields model = preset(1);
    for (int64_t k = 0; k < (2 + 3 * cycle_periods) * period_frames; ++k) {
        const int64_t period = k / period_frames;
        const int want = model_target(period);
        if (k % period_frames < 200) {
            const Fields inc = model_increment(period);
            for (int j = 0; j < 6; ++j) model[j] = static_cast<float>(double(model[j]) + inc[j]);
        }
        run_to(k + 1);
        ASSERT_TRUE(same_fields(fields_of(current_shape), model)) << "frame " << k;
        ASSERT_EQ(target_index, want) << "frame " << k;
        if (k % period_frames == 0) {
            ASSERT_EQ(source_index, want) << "period " << period;
            ASSERT_TRUE(same_fields(fields_of(shape_table[0]), model_increment(period)))
                << "period " << period << " from " << model_source(period) << " to " << want;
            ASSERT_TRUE(cycle_index >= 0 && cycle_index <= 10) << "period " << period;
        }
        ASSERT_EQ(period_frame, k % period_frames + 1) << "frame " << k;
    }
    // Spot checks of the closed form itself.
    const int targets[][2] = {{10, 6}, {11, 1}, {20, 11}, {22, 1}, {23, 2}, {43, 1}, {44, 2}};
    for (const auto& t : targets) EXPECT_EQ(model_target(t[0]), t[1]) << "period " << t[0];
}

// A saver's other orders: between the sphere and one preset (every frame's
// shape on the way between them), or the presets at random, never one twice
// in a row and all of them in time; and a morph started at once from the
// shape shown, which reaches its target within the one morph.
TEST_F(MorphScheduler, OtherOrdersAndAMorphStartedAtOnce) {
    struct Row {
        MorphOrder order;
        int32_t preset;
    };
    for (const Row& row : {Row{MorphOrder::one_preset, 6}, Row{MorphOrder::one_preset, 11},
                           Row{MorphOrder::random, 0}}) {
        SCOPED_TRACE(row.preset);
        reset_morph();
        fill_shape_table();
        start_morph_in(row.order, row.preset, 20261208);
        std::vector<int32_t> visited;
        for (int64_t period = 0; period < 200; ++period) {
            for (int64_t k = 0; k < period_frames; ++k) {
                advance_morph();
                // A period's target is chosen as its first frame is drawn.
                if (k == 0) {
                    ASSERT_EQ(target_index == 1, period % 2 == 1) << "period " << period;
                    if (target_index != 1) visited.push_back(target_index);
                }
                if (row.order != MorphOrder::one_preset) continue;
                const Fields now = fields_of(current_shape), a = preset(1), b = preset(row.preset);
                for (int j = 0; j < 6; ++j) {
                    const float slack = 1e-3f * (1.0f + std::fabs(b[j]));
                    ASSERT_GE(now[j], std::min(a[j], b[j]) - slack) << "frame " << k << " " << j;
                    ASSERT_LE(now[j], std::max(a[j], b[j]) + slack) << "frame " << k << " " << j;
                }
            }
        }
        std::vector<bool> seen(preset_count + 1, false);
        for (size_t i = 0; i < visited.size(); ++i) {
            if (row.order == MorphOrder::one_preset) {
                ASSERT_EQ(visited[i], row.preset);
            }
            if (i > 0 && row.order == MorphOrder::random) {
                ASSERT_NE(visited[i], visited[i - 1]) << "visit " << i;
            }
            seen[size_t(visited[i])] = true;
        }
        for (int32_t p = 2; p <= preset_count && row.order == MorphOrder::random; ++p) {
            EXPECT_TRUE(seen[size_t(p)]) << p;
        }
    }
    // Halfway to preset 6, the next morph (back to the sphere) starts at once.
    restart_scheduler();
    run_to(100);
    morph_to_next_now();
    EXPECT_EQ(target_index, 1);
    for (int k = 0; k < 200; ++k) advance_morph();
    for (int j = 0; j < 6; ++j) {
        EXPECT_NEAR(fields_of(current_shape)[j], preset(1)[j], 1e-4) << j;
    }
}

// The saver's tour of kept shapes. One stop kept with one set twice is the
// scheduler's own morph between the sphere and that preset, both sets to
// the bit; stops of two sets come in turn (or drawn, never one twice in a
// row), the sphere between, each set reaching its own stop and resting
// there; skipping on starts the next morph from the shape shown.
TEST_F(MorphScheduler, ATourOfKeptShapesMorphsAsTheSchedulerThroughThem) {
    const ShapeParams seven = shape_table[7];
    start_morph_in(MorphOrder::one_preset, 7, 1);
    start_tour({{seven, seven}}, false, 1);
    for (int64_t frame = 0; frame < 5 * period_frames; ++frame) {
        advance_morph();
        advance_tour();
        ASSERT_TRUE(same_fields(fields_of(tour_shape.latitude), fields_of(current_shape))) << frame;
        ASSERT_TRUE(same_fields(fields_of(tour_shape.longitude), fields_of(current_shape)))
            << frame;
    }
    const std::vector<ChosenShape> stops{{shape_table[3], shape_table[8]},
                                         {shape_table[11], shape_table[11]},
                                         {shape_table[5], shape_table[2]}};
    for (const bool random : {false, true}) {
        SCOPED_TRACE(random ? "random" : "in turn");
        start_tour(stops, random, 20261209);
        std::vector<int32_t> visited;
        for (int64_t period = 0; period < 60; ++period) {
            ChosenShape reached{};
            for (int64_t k = 0; k < period_frames; ++k) {
                advance_tour();
                if (k == 0) {
                    ASSERT_EQ(tour_target() == -1, period % 2 == 1) << "period " << period;
                    if (period % 2 == 0) visited.push_back(tour_target());
                }
                if (k == morph_frames - 1) reached = tour_shape;
            }
            // Rested where the morph ended, within the drift of its stop.
            ASSERT_TRUE(same_fields(fields_of(tour_shape.latitude), fields_of(reached.latitude)));
            const int32_t at = period % 2 == 1 ? -1 : visited.back();
            const ChosenShape want =
                at < 0 ? ChosenShape{shape_table[1], shape_table[1]} : stops[size_t(at)];
            for (int j = 0; j < 6; ++j) {
                ASSERT_NEAR(fields_of(tour_shape.latitude)[j], fields_of(want.latitude)[j], 2e-3)
                    << "period " << period << " " << j;
                ASSERT_NEAR(fields_of(tour_shape.longitude)[j], fields_of(want.longitude)[j], 2e-3)
                    << "period " << period << " " << j;
            }
        }
        std::vector<bool> seen(stops.size(), false);
        for (size_t i = 0; i < visited.size(); ++i) {
            if (!random) {
                ASSERT_EQ(visited[i], int32_t(i % stops.size())) << "visit " << i;
            }
            if (i > 0) {
                ASSERT_NE(visited[i], visited[i - 1]) << "visit " << i;
            }
            seen[size_t(visited[i])] = true;
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 3);
    }
    // Halfway to the first stop, the morph back to the sphere starts at once.
    start_tour(stops, false, 1);
    for (int k = 0; k < 100; ++k) advance_tour();
    tour_to_next_now();
    EXPECT_EQ(tour_target(), -1);
    for (int k = 0; k < morph_frames; ++k) advance_tour();
    for (int j = 0; j < 6; ++j) {
        EXPECT_NEAR(fields_of(tour_shape.longitude)[j], preset(1)[j], 1e-4) << j;
    }
}

// Whatever the parameters do, every normal the renderer gets is a unit
// vector or the fallback, and a vertex without a usable direction (zero,
// infinite or NaN) always has the fallback. The texture coordinates stay
// finite and small, however long the scroll has run.
::testing::AssertionResult surface_is_drawable() {
    for (int k = 0; k < mesh_vertex_count; ++k) {
        const Vec3& p = mesh.positions[k];
        const Vec3& n = mesh.normals[k];
        const double len = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
        const bool fallback = n.x == 0.0f && n.y == 0.0f && n.z == 1.0f;
        const bool unusable = !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
                              (p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
        if (!(fallback || std::fabs(len - 1.0) < 1e-6) || (unusable && !fallback)) {
            return ::testing::AssertionFailure()
                   << "vertex " << k << " at (" << p.x << ", " << p.y << ", " << p.z
                   << ") has normal (" << n.x << ", " << n.y << ", " << n.z << ")";
        }
        const Vec2& t = mesh.texcoords[k];
        if (!(t.u >= 0.0f && t.u < 5.0f && t.v >= 0.0f && t.v < 5.0f)) {
            return ::testing::AssertionFailure()
                   << "vertex " << k << " texture (" << t.u << ", " << t.v << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(LongRun, SchedulerKeepsItsCycleAndDrawableShapesForWeeks) {
    constexpr int64_t total_frames = 100'000'000;  // about 19 days at 60 frames a second
    constexpr int64_t sample_stride = 999'983;     // prime: samples fall at every phase of a period
    restart_scheduler();
    create_mesh();
    // A month of uptime on the clock, so the scroll is large from the start.
    frame_clock = static_cast<float>(30 * 86400.0 / 100.0);

    std::vector<Fields> first_cycle(cycle_periods);
    double worst_sphere_m = 0.0, worst_sphere_other = 0.0;
    int64_t bad_frame = -1;
    int samples = 0;
    for (int64_t k = 0; k < total_frames; ++k) {
        advance_morph();
        const ShapeParams& s = current_shape;
        const bool finite = std::isfinite(s.a) && std::isfinite(s.b) && std::isfinite(s.m) &&
                            std::isfinite(s.n1) && std::isfinite(s.n2) && std::isfinite(s.n3);
        if (bad_frame < 0 && !finite) bad_frame = k;
        const int64_t period = k / period_frames;
        if (k % period_frames == 0) {
            const int want = model_target(period);
            ASSERT_EQ(target_index, want) << "frame " << k;
            ASSERT_EQ(source_index, want) << "frame " << k;
            ASSERT_TRUE(cycle_index >= 0 && cycle_index < 11) << "frame " << k;
            // From period 2 on the cycle repeats, increments bit for bit.
            if (period >= 2) {
                Fields& seen = first_cycle[(period - 2) % cycle_periods];
                if (period < 2 + cycle_periods) seen = fields_of(shape_table[0]);
                ASSERT_TRUE(same_fields(fields_of(shape_table[0]), seen)) << "period " << period;
            }
        }
        // The last frame of a return to the sphere: how far has it drifted?
        if (k % period_frames == period_frames - 1 && model_target(period) == 1) {
            worst_sphere_m = std::fmax(worst_sphere_m, std::fabs(s.m));
            for (const float f : {s.a, s.b, s.n1, s.n2, s.n3}) {
                worst_sphere_other = std::fmax(worst_sphere_other, std::fabs(f - 1.0));
            }
        }
        if (k % sample_stride == 0) {
            generate_grid_surface(s);
            ASSERT_TRUE(surface_is_drawable()) << "frame " << k;
            ++samples;
        }
    }
    EXPECT_EQ(bad_frame, -1) << "a parameter stopped being finite";
    EXPECT_EQ(samples, (total_frames - 1) / sample_stride + 1);
    std::printf("after %lld frames the sphere rests at |m| <= %.3g, other fields within %.3g\n",
                static_cast<long long>(total_frames), worst_sphere_m, worst_sphere_other);
    // Never snapped back, the sphere's m creeps by about 1e-10 a frame,
    // invisible for weeks; the other fields settle after the first cycle.
    EXPECT_LT(worst_sphere_m, 1.25e-10 * total_frames + 1e-6);
    EXPECT_LT(worst_sphere_other, 2e-6);
    texture_scroll = 0.0f;
    frame_clock = 0.0f;
}

}  // namespace
}  // namespace solidmorph
