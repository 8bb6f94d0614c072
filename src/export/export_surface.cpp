#include "export/export_surface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "export/mesh_math.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/surface_setup.h"

namespace solidmorph {

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
    const Box box = bounding_box(positions);
    const double low[3] = {box.low.x, box.low.y, box.low.z};
    const double high[3] = {box.high.x, box.high.y, box.high.z};
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

}  // namespace solidmorph
