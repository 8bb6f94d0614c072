#include "export/export_surface.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/morph_scheduler.h"
#include "morph/surface_setup.h"

namespace solidmorph {

namespace {

double coordinate(const Vec3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

}  // namespace

std::vector<TriangleCorners> corners_of(const TriangleList& list) {
    std::vector<TriangleCorners> corners(list.size());
    std::transform(list.begin(), list.end(), corners.begin(), [](const Triangle& t) {
        return TriangleCorners{uint32_t(t.index1), uint32_t(t.index2), uint32_t(t.index3)};
    });
    return corners;
}

std::vector<TriangleCorners> triangle_corners() { return corners_of(triangle_list); }

ExportSurface export_surface(const ShapeParams& shape) {
    // Copied first: start-up resets the live shape, which callers may pass.
    const ShapeParams wanted = shape;
    // Start-up sizes the mesh, with the clock and the scroll at 0, and builds
    // the triangle list; with the clock at 0 no generation moves the scroll.
    create_surface();
    generate_grid_surface(wanted);

    return ExportSurface{mesh.positions, mesh.normals, mesh.texcoords, triangle_corners()};
}

ExportSurface export_surface(const ShapeParams& latitude, const ShapeParams& longitude,
                             int32_t detail) {
    const ShapeParams lat = latitude, lon = longitude;
    create_surface();
    static_assert(grid_rows == grid_lon_steps, "a detail is the grid's rows and steps alike");
    if (detail == grid_rows) {
        generate_grid_surface(lat, lon);
        return ExportSurface{mesh.positions, mesh.normals, mesh.texcoords, triangle_corners()};
    }
    // The generator writes its normals into the mesh: it takes the finer
    // grid's size for this one generation.
    const size_t count = size_t(detail) * (size_t(detail) + 1);
    mesh.positions.assign(count, Vec3{});
    mesh.texcoords.assign(count, Vec2{});
    mesh.normals.assign(count, Vec3{});
    generate_supershape_pair(mesh.positions, mesh.texcoords, grid_scale, float(detail),
                             float(detail), lat, lon);
    TriangleList list;
    build_triangle_list(list, detail, detail);
    ExportSurface surface{std::move(mesh.positions),
                          std::move(mesh.normals),
                          std::move(mesh.texcoords),
                          corners_of(list),
                          detail,
                          detail + 1};
    create_surface();
    return surface;
}

bool fit_to_size(std::vector<Vec3>& positions, double size, bool on_plate) {
    if (positions.empty()) return false;
    double low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) low[axis] = high[axis] = coordinate(positions[0], axis);
    for (const Vec3& p : positions) {
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], coordinate(p, axis));
            high[axis] = std::max(high[axis], coordinate(p, axis));
        }
    }
    const double extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
    const double scale = size / extent;
    if (!(extent > 0.0) || !std::isfinite(scale)) return false;
    const double floor = on_plate ? low[2] : 0.0;
    std::vector<Vec3> fitted(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        const Vec3& p = positions[i];
        fitted[i] = {float(p.x * scale), float(p.y * scale), float((p.z - floor) * scale)};
        if (!std::isfinite(fitted[i].x) || !std::isfinite(fitted[i].y) ||
            !std::isfinite(fitted[i].z)) {
            return false;
        }
    }
    positions = std::move(fitted);
    return true;
}

ShapeParams preset_shape(int preset) {
    fill_shape_table();
    return shape_table[preset];
}

namespace {

// Everything that decides the scheduler's next steps.
struct SchedulerState {
    ShapeParams shape;
    int32_t target, source, cycle, period;
};

SchedulerState scheduler_state() {
    return {current_shape, target_index, source_index, cycle_index, period_frame};
}

// Bit for bit, so that -0 and 0 differ and a NaN equals itself.
bool same_bits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

bool same_bits(const SchedulerState& a, const SchedulerState& b) {
    return same_bits(a.shape.a, b.shape.a) && same_bits(a.shape.b, b.shape.b) &&
           same_bits(a.shape.m, b.shape.m) && same_bits(a.shape.n1, b.shape.n1) &&
           same_bits(a.shape.n2, b.shape.n2) && same_bits(a.shape.n3, b.shape.n3) &&
           a.target == b.target && a.source == b.source && a.cycle == b.cycle &&
           a.period == b.period;
}

void advance(uint64_t steps) {
    for (; steps > 0; --steps) advance_morph();
}

// After the opening morph and its return, the visits repeat every 21
// periods; only the rounding drift of the live shape differs from one cycle
// to the next. The drift settles (after some ten thousand cycles), and once
// a cycle starts from, bit for bit, the state of an earlier one, the run
// repeats from there on. Brent's cycle search finds the repeat in constant
// memory, and far frames skip whole repeats instead of stepping them.
constexpr uint64_t first_cycle_start = opening_frames;

}  // namespace

ShapeParams frame_shape(uint64_t frame) {
    // The scheduler as a fresh program starts it.
    reset_morph();
    start_shapes();

    const uint64_t opening = frame < first_cycle_start ? frame : first_cycle_start;
    advance(opening);
    uint64_t left = frame - opening;

    SchedulerState tortoise = scheduler_state();
    uint64_t power = 1, length = 0;
    bool repeating = false;
    while (left >= cycle_frames) {
        advance(cycle_frames);
        left -= cycle_frames;
        if (repeating) continue;
        ++length;
        const SchedulerState now = scheduler_state();
        if (same_bits(tortoise, now)) {
            repeating = true;
            left %= length * cycle_frames;
        } else if (length == power) {
            tortoise = now;
            power *= 2;
            length = 0;
        }
    }
    advance(left);
    return current_shape;
}

}  // namespace solidmorph
