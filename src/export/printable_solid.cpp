#include "export/printable_solid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "export/solid_check.h"

namespace solidmorph {

namespace {

// The solid's rows: every grid row but the last, each a ring without the
// seam column.
constexpr uint32_t ring_rows = grid_rows - 1;
constexpr uint32_t ring_size = grid_columns - 1;
constexpr uint32_t apex = ring_rows * ring_size;
constexpr uint32_t lower_centre = apex + 1;

int grid_row(uint32_t index) { return int(index / grid_columns); }

// Where a grid vertex goes in the solid. The seam column repeats column 0's
// meridian, off by the rounding of the accumulated angle only, so it is
// column 0. The last row lies a hair past the pole, a ring some millionths
// across turned half a turn, which would pinch the solid to a point just
// below it: it becomes one apex on the axis.
uint32_t solid_vertex(uint32_t index) {
    const uint32_t row = index / grid_columns, column = index % grid_columns;
    if (row >= ring_rows) return apex;
    return row * ring_size + (column == ring_size ? 0 : column);
}

}  // namespace

bool make_printable_solid(const ExportSurface& surface, PrintableSolid& solid, std::string& reason,
                          double size) {
    solid = {};
    for (const Vec3& p : surface.positions) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            reason = "the surface has infinite or undefined (NaN) vertices";
            return false;
        }
    }

    std::vector<Vec3>& v = solid.vertices;
    v.resize(lower_centre + 1);
    for (uint32_t k = 0; k < surface.positions.size(); ++k) {
        if (grid_row(k) < int(ring_rows) && k % grid_columns != ring_size) {
            v[solid_vertex(k)] = surface.positions[k];
        }
    }
    v[apex] = {0.0f, 0.0f, surface.positions[size_t(ring_rows) * grid_columns].z};
    v[lower_centre] = {0.0f, 0.0f, surface.positions[0].z};

    // The program's list, welded; what joins the last row to the first runs
    // through the inside and goes.
    std::set<TriangleCorners> seen;
    auto add = [&](TriangleCorners c) {
        if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0]) return;
        TriangleCorners key = c;
        std::sort(key.begin(), key.end());
        if (seen.insert(key).second) solid.triangles.push_back(c);
    };
    for (const TriangleCorners& t : surface.triangles) {
        const int rows[3] = {grid_row(t[0]), grid_row(t[1]), grid_row(t[2])};
        if (*std::max_element(rows, rows + 3) - *std::min_element(rows, rows + 3) > 1) continue;
        add({solid_vertex(t[0]), solid_vertex(t[1]), solid_vertex(t[2])});
    }
    // The lower pole's opening, a flat fan from the axis.
    for (uint32_t c = 0; c < ring_size; ++c) add({lower_centre, (c + 1) % ring_size, c});

    // What is checked is what gets written: the scaled floats, not the
    // generator's.
    if (size > 0.0 && !fit_to_size(v, size, true)) {
        reason = "the solid cannot be scaled to that size";
        return false;
    }
    return orient_and_check_solid(v, solid.triangles, solid.volume, reason);
}

}  // namespace solidmorph
