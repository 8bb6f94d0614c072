// Weeks of frames through the morph scheduler alone, and the surface it
// would hand the generator at points along the way: the program is left
// running in front of people for days.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/morph_scheduler.h"
#include "geometry/surface_mesh.h"

namespace solidmorph {
namespace {

// About 19 days at 60 frames a second.
constexpr int64_t total_frames = 100'000'000;
constexpr int64_t period_frames = 400;
constexpr int64_t cycle_periods = 21;
// A prime stride, so the sampled frames fall at every phase of a period.
constexpr int64_t sample_stride = 999'983;

// Out to preset 6 and back first; then every cycle visits 2 to 11 with a
// return to the sphere after each, and closes with one sphere-to-sphere period.
int expected_target(int64_t period) {
    if (period == 0) return 6;
    if (period == 1) return 1;
    const int64_t r = (period - 2) % cycle_periods;
    if (r == cycle_periods - 1 || r % 2 == 1) return 1;
    return static_cast<int>(r / 2 + 2);
}

bool finite(const ShapeParams& s) {
    return std::isfinite(s.a) && std::isfinite(s.b) && std::isfinite(s.m) && std::isfinite(s.n1) &&
           std::isfinite(s.n2) && std::isfinite(s.n3);
}

bool same_bits(const ShapeParams& x, const ShapeParams& y) {
    return std::bit_cast<std::array<uint32_t, 6>>(x) == std::bit_cast<std::array<uint32_t, 6>>(y);
}

void restart_scheduler() {
    shape_table = ShapeTable{};
    morph_steps = 200;
    target_index = 6;
    source_index = 1;
    cycle_index = 0;
    fill_shape_table();
    start_morph();
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
    restart_scheduler();
    mesh.positions.assign(mesh_vertex_count, Vec3{});
    mesh.texcoords.assign(mesh_vertex_count, Vec2{});
    mesh.normals.assign(mesh_vertex_count, Vec3{});
    // A month of uptime on the clock, so the scroll is large from the start.
    frame_clock = static_cast<float>(30 * 86400.0 / 100.0);

    std::vector<ShapeParams> first_cycle(cycle_periods);
    double worst_sphere_m = 0.0, worst_sphere_other = 0.0;
    int64_t bad_frame = -1;
    int samples = 0;
    for (int64_t k = 0; k < total_frames; ++k) {
        advance_morph();
        if (bad_frame < 0 && !finite(current_shape)) bad_frame = k;
        const int64_t period = k / period_frames;
        if (k % period_frames == 0) {
            const int want = expected_target(period);
            ASSERT_EQ(target_index, want) << "frame " << k;
            ASSERT_EQ(source_index, want) << "frame " << k;
            ASSERT_TRUE(cycle_index >= 0 && cycle_index < 11) << "frame " << k;
            // From period 2 on the cycle repeats, increments bit for bit.
            if (period >= 2) {
                ShapeParams& seen = first_cycle[(period - 2) % cycle_periods];
                if (period < 2 + cycle_periods) seen = shape_table[0];
                ASSERT_TRUE(same_bits(shape_table[0], seen)) << "period " << period;
            }
        }
        // The last frame of a return to the sphere: how far has it drifted?
        if (k % period_frames == period_frames - 1 && expected_target(period) == 1) {
            const ShapeParams& s = current_shape;
            worst_sphere_m = std::fmax(worst_sphere_m, std::fabs(s.m));
            for (const float f : {s.a, s.b, s.n1, s.n2, s.n3}) {
                worst_sphere_other = std::fmax(worst_sphere_other, std::fabs(f - 1.0));
            }
        }
        if (k % sample_stride == 0) {
            generate_supershape(mesh.positions, mesh.texcoords, 1.0f, 64.0f, 64.0f, current_shape.a,
                                current_shape.b, current_shape.m, current_shape.n1,
                                current_shape.n2, current_shape.n3);
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
