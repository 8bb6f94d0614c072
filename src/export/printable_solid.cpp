#include "export/printable_solid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <set>

#include "export/mesh_math.h"
#include "export/solid_check.h"

namespace solidmorph {

namespace {

// The solid's rows: every grid row but the last, each a ring without the
// seam column; then the apex and the lower pole's centre.
struct SolidGrid {
    uint32_t columns, ring_rows, ring_size, apex, lower_centre;

    explicit SolidGrid(const ExportSurface& surface)
        : columns(uint32_t(surface.columns)),
          ring_rows(uint32_t(surface.rows) - 1),
          ring_size(uint32_t(surface.columns) - 1),
          apex(ring_rows * ring_size),
          lower_centre(apex + 1) {}

    int row(uint32_t index) const { return int(index / columns); }

    // Where a grid vertex goes in the solid. The seam column repeats column
    // 0's meridian, off by the rounding of the accumulated angle only, so it
    // is column 0. The last row lies a hair past the pole, a ring some
    // millionths across turned half a turn, which would pinch the solid to a
    // point just below it: it becomes one apex on the axis.
    uint32_t vertex(uint32_t index) const {
        const uint32_t r = index / columns, column = index % columns;
        if (r >= ring_rows) return apex;
        return r * ring_size + (column == ring_size ? 0 : column);
    }
};

}  // namespace

bool make_printable_solid(const ExportSurface& surface, PrintableSolid& solid, std::string& reason,
                          double size) {
    solid = {};
    if (!all_finite(surface.positions)) {
        reason = "the surface has infinite or undefined (NaN) vertices";
        return false;
    }

    const SolidGrid grid(surface);
    if (surface.rows < 2 || surface.columns < 4 ||
        surface.positions.size() != size_t(surface.rows) * size_t(surface.columns)) {
        reason = "the surface is not a whole grid";
        return false;
    }
    std::vector<Vec3>& v = solid.vertices;
    v.resize(grid.lower_centre + 1);
    for (uint32_t k = 0; k < surface.positions.size(); ++k) {
        if (grid.row(k) < int(grid.ring_rows) && k % grid.columns != grid.ring_size) {
            v[grid.vertex(k)] = surface.positions[k];
        }
    }
    v[grid.apex] = {0.0f, 0.0f, surface.positions[size_t(grid.ring_rows) * grid.columns].z};
    v[grid.lower_centre] = {0.0f, 0.0f, surface.positions[0].z};

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
        const int rows[3] = {grid.row(t[0]), grid.row(t[1]), grid.row(t[2])};
        if (*std::max_element(rows, rows + 3) - *std::min_element(rows, rows + 3) > 1) continue;
        add({grid.vertex(t[0]), grid.vertex(t[1]), grid.vertex(t[2])});
    }
    // The lower pole's opening, a flat fan from the axis.
    for (uint32_t c = 0; c < grid.ring_size; ++c) {
        add({grid.lower_centre, (c + 1) % grid.ring_size, c});
    }

    // What is checked is what gets written: the scaled floats, not the
    // generator's.
    if (size > 0.0 && !fit_to_size(v, size, true)) {
        reason = "the solid cannot be scaled to that size";
        return false;
    }
    return orient_and_check_solid(v, solid.triangles, solid.volume, reason);
}

SolidFigures solid_figures(const PrintableSolid& solid) {
    SolidFigures figures;
    if (solid.vertices.empty()) return figures;
    const Box box = bounding_box(solid.vertices);
    figures.low = box.low;
    figures.high = box.high;
    figures.base_low = figures.high;
    figures.base_high = figures.low;
    for (const TriangleCorners& t : solid.triangles) {
        const Vec3 &a = solid.vertices[t[0]], &b = solid.vertices[t[1]], &c = solid.vertices[t[2]];
        const std::array<double, 3> n = triangle_normal(a, b, c);
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (!(n[2] < 0.0) || !(length > 0.0)) continue;
        if (a.z == figures.low.z && b.z == figures.low.z && c.z == figures.low.z) {
            figures.base_area += 0.5 * length;
            for (const Vec3* p : {&a, &b, &c}) {
                figures.base_low = {std::min(figures.base_low.x, p->x),
                                    std::min(figures.base_low.y, p->y), p->z};
                figures.base_high = {std::max(figures.base_high.x, p->x),
                                     std::max(figures.base_high.y, p->y), p->z};
            }
            continue;
        }
        const double degrees = std::asin(std::min(1.0, -n[2] / length)) * 180.0 / std::numbers::pi;
        figures.steepest_overhang = std::max(figures.steepest_overhang, degrees);
    }
    return figures;
}

std::string solid_summary(const PrintableSolid& solid, bool sized, bool flat_base) {
    const SolidFigures f = solid_figures(solid);
    const double w = double(f.high.x) - f.low.x, d = double(f.high.y) - f.low.y,
                 h = double(f.high.z) - f.low.z;
    char text[256];
    if (sized) {
        std::snprintf(text, sizeof text,
                      ": %zu triangles, volume %.2f cm3, %.1f x %.1f x %.1f mm, steepest "
                      "overhang %.1f degrees",
                      solid.triangles.size(), solid.volume / 1000.0, w, d, h, f.steepest_overhang);
    } else {
        std::snprintf(text, sizeof text,
                      ": %zu triangles, volume %.6g, %.3g x %.3g x %.3g units, steepest overhang "
                      "%.1f degrees",
                      solid.triangles.size(), solid.volume, w, d, h, f.steepest_overhang);
    }
    std::string summary = text;
    if (flat_base) {
        std::snprintf(text, sizeof text, sized ? ", base %.1f mm2" : ", base %.4g units2",
                      f.base_area);
        summary += text;
    }
    return summary;
}

}  // namespace solidmorph
