#include "export/solid_check.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/orientation.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Polygon_mesh_processing/shape_predicates.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <utility>

namespace solidmorph {

namespace PMP = CGAL::Polygon_mesh_processing;

namespace {

// Exact predicates: whether two triangles cross is decided without
// rounding, however thin the gap near the axis; only the volume, a
// construction, is rounded.
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;

bool refuse(std::string& reason, const char* why) {
    reason = why;
    return false;
}

}  // namespace

bool orient_and_check_solid(const std::vector<Vec3>& vertices,
                            std::vector<TriangleCorners>& triangles, double& volume,
                            std::string& reason) {
    volume = 0.0;
    std::vector<Point> points(vertices.size());
    std::transform(vertices.begin(), vertices.end(), points.begin(),
                   [](const Vec3& v) { return Point(v.x, v.y, v.z); });

    // Fails where a corner or an edge joins more than one sheet of triangles
    // (it would split the corner to go on): no single closed surface.
    const size_t corners = points.size();
    if (!PMP::orient_polygon_soup(points, triangles) || points.size() != corners ||
        !PMP::is_polygon_soup_a_polygon_mesh(triangles)) {
        return refuse(reason, "the surface does not close into a single solid");
    }
    Mesh surface;
    PMP::polygon_soup_to_polygon_mesh(points, triangles, surface);
    if (!CGAL::is_closed(surface)) return refuse(reason, "the surface has an opening");
    for (const Mesh::Face_index face : surface.faces()) {
        if (PMP::is_degenerate_triangle_face(face, surface)) {
            return refuse(reason,
                          "the surface collapses to a line or a point somewhere (a triangle of "
                          "zero area, as where it touches its own axis)");
        }
    }
    if (PMP::does_self_intersect(surface)) return refuse(reason, "the surface crosses itself");
    if (!PMP::is_outward_oriented(surface)) {
        PMP::reverse_face_orientations(surface);
        for (TriangleCorners& t : triangles) std::swap(t[1], t[2]);
    }
    volume = CGAL::to_double(PMP::volume(surface));
    if (!PMP::does_bound_a_volume(surface) || !(volume > 0.0)) {
        return refuse(reason, "the closed surface encloses no volume");
    }
    return true;
}

}  // namespace solidmorph
