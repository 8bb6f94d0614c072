#include "export/flat_base.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/clip.h>
#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/Triangulation_face_base_with_info_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <queue>
#include <utility>

#include "export/solid_check.h"
#include "export/threemf_file.h"

namespace solidmorph {

namespace PMP = CGAL::Polygon_mesh_processing;

namespace {

// Exact constructions: the points where the plane meets the edges are
// exact until they are rounded to floats, once, at the end, and the cut's
// own corners come out at exactly z = 0.
using Kernel = CGAL::Exact_predicates_exact_constructions_kernel;
using Point = Kernel::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

bool refuse(std::string& reason, const std::string& why) {
    reason = why;
    return false;
}

// The exact value rounded to a float: through the exact number, not the
// kernel's interval, whose middle may lie on the other side of zero for a
// point a hair above the cut.
float rounded(const Kernel::FT& value) { return float(CGAL::to_double(CGAL::exact(value))); }

// The cut's height, moved off the solid's corners. Every row of the grid
// is a ring of corners at one height; a plane through or a hair from one
// meets its edges a hair from its corners, and rounding those points to
// floats folds or flattens the thin triangles between. Within a thousandth
// of the solid's size of a ring (or half the way to the next), the plane
// is moved to that distance, which nobody can see in a print.
double off_the_corners(const std::vector<Vec3>& vertices, double cut, double extent) {
    float below = -std::numeric_limits<float>::infinity();
    float above = std::numeric_limits<float>::infinity();
    for (const Vec3& v : vertices) {
        if (v.z <= cut) below = std::max(below, v.z);
        if (v.z > cut) above = std::min(above, v.z);
    }
    const double clearance = std::min(extent / 1000.0, (double(above) - below) / 2.0);
    return std::clamp(cut, below + clearance, above - clearance);
}

// The base triangulated again in the plate's plane, from its outline as
// rounded: the exact cut's triangulation has slivers between corners that
// are almost in line (where the plane crosses an edge and the diagonal
// beside it), which rounding may fold over their neighbours. A constrained
// Delaunay triangulation of the rounded outline, with exact predicates,
// has none. False if the rounded outline crosses or touches itself.
using Plate = CGAL::Exact_predicates_inexact_constructions_kernel;
using PlateVertex = CGAL::Triangulation_vertex_base_with_info_2<uint32_t, Plate>;
using PlateFace = CGAL::Constrained_triangulation_face_base_2<
    Plate, CGAL::Triangulation_face_base_with_info_2<int, Plate>>;
using PlateTriangulation = CGAL::Constrained_Delaunay_triangulation_2<
    Plate, CGAL::Triangulation_data_structure_2<PlateVertex, PlateFace>,
    CGAL::No_constraint_intersection_tag>;

bool triangulate_base(PrintableSolid& solid) {
    auto on_plate = [&solid](const TriangleCorners& t) {
        return solid.vertices[t[0]].z == 0.0f && solid.vertices[t[1]].z == 0.0f &&
               solid.vertices[t[2]].z == 0.0f;
    };
    std::map<std::pair<uint32_t, uint32_t>, int> edges;
    for (const TriangleCorners& t : solid.triangles) {
        if (!on_plate(t)) continue;
        for (int e = 0; e < 3; ++e) ++edges[std::minmax(t[e], t[(e + 1) % 3])];
    }
    std::erase_if(solid.triangles, on_plate);

    PlateTriangulation plate;
    try {
        std::map<uint32_t, PlateTriangulation::Vertex_handle> corners;
        bool touches = false;
        auto corner = [&](uint32_t index) {
            auto [at, added] = corners.try_emplace(index);
            if (added) {
                const Vec3& v = solid.vertices[index];
                const size_t before = plate.number_of_vertices();
                at->second = plate.insert(Plate::Point_2(v.x, v.y));
                // Two corners rounded onto one point: the outline touches
                // itself there, and an edge between them would have no length.
                touches = touches || plate.number_of_vertices() == before;
                at->second->info() = index;
            }
            return at->second;
        };
        for (const auto& [edge, count] : edges) {
            if (count != 1) continue;
            const auto from = corner(edge.first), to = corner(edge.second);
            if (touches) return false;
            plate.insert_constraint(from, to);
        }
    } catch (const PlateTriangulation::Intersection_of_constraints_exception&) {
        return false;
    }
    // Inside the outline: an odd number of its edges from the outside.
    for (const auto f : plate.all_face_handles()) f->info() = -1;
    std::queue<std::pair<PlateTriangulation::Face_handle, int>> next;
    next.push({plate.infinite_face(), 0});
    while (!next.empty()) {
        const auto [face, depth] = next.front();
        next.pop();
        if (face->info() != -1) continue;
        face->info() = depth;
        for (int i = 0; i < 3; ++i) {
            const auto beyond = face->neighbor(i);
            if (beyond->info() == -1) {
                next.push({beyond, face->is_constrained(i) ? depth + 1 : depth});
            }
        }
    }
    for (const auto f : plate.finite_face_handles()) {
        if (f->info() % 2 == 1) {
            // Clockwise seen from above: facing down, out of the solid.
            solid.triangles.push_back(
                {f->vertex(0)->info(), f->vertex(2)->info(), f->vertex(1)->info()});
        }
    }
    return true;
}

}  // namespace

bool cut_flat_base(PrintableSolid& solid, double height, std::string& reason, bool for_threemf) {
    if (solid.vertices.empty()) return refuse(reason, "there is no solid to cut");
    const SolidFigures whole = solid_figures(solid);
    const double solid_height = double(whole.high.z) - whole.low.z;
    if (!(height > 0.0) || !(height < solid_height)) {
        return refuse(reason, "the flat base's height, " + figure(height) +
                                  ", is at or above the solid's own height, " +
                                  figure(solid_height));
    }

    Mesh surface;
    for (const Vec3& v : solid.vertices) surface.add_vertex(Point(v.x, v.y, v.z));
    for (const TriangleCorners& t : solid.triangles) {
        if (surface.add_face(Mesh::Vertex_index(t[0]), Mesh::Vertex_index(t[1]),
                             Mesh::Vertex_index(t[2])) == Mesh::null_face()) {
            return refuse(reason, "the solid's triangles do not form one surface");
        }
    }
    // Kept: the side the plane's normal points away from, z above the cut.
    const Kernel::FT cut =
        off_the_corners(solid.vertices, double(whole.low.z) + height,
                        std::max({double(whole.high.x) - whole.low.x,
                                  double(whole.high.y) - whole.low.y, solid_height}));
    if (!PMP::clip(surface, Kernel::Plane_3(0, 0, -1, cut), CGAL::parameters::clip_volume(true)) ||
        surface.number_of_faces() == 0) {
        return refuse(reason, "the cut does not leave one closed surface");
    }
    PMP::triangulate_faces(surface);
    surface.collect_garbage();
    auto piece = surface.add_property_map<Mesh::Face_index, std::size_t>("f:piece").first;
    if (PMP::connected_components(surface, piece) != 1) {
        return refuse(reason, "the cut leaves the solid in more than one piece");
    }

    PrintableSolid cut_solid;
    cut_solid.vertices.resize(surface.number_of_vertices());
    for (const Mesh::Vertex_index v : surface.vertices()) {
        const Point& p = surface.point(v);
        cut_solid.vertices[v] = {rounded(p.x()), rounded(p.y()), rounded(p.z() - cut)};
    }
    cut_solid.triangles.resize(surface.number_of_faces());
    std::transform(surface.faces().begin(), surface.faces().end(), cut_solid.triangles.begin(),
                   [&surface](Mesh::Face_index f) {
                       TriangleCorners corners{};
                       size_t i = 0;
                       for (const Mesh::Vertex_index v :
                            CGAL::vertices_around_face(surface.halfedge(f), surface)) {
                           corners[i++] = uint32_t(v);
                       }
                       return corners;
                   });
    // The cut's corners come closer together than a 3MF's millionths (two
    // of preset 7's lie 0.8 um apart at the base's edge), and the base's
    // thin triangles between them fold over when the file's six decimals
    // move them. Moved first to the coordinates the file will hold, the
    // base is triangulated and the solid checked as the file has it.
    const std::vector<Vec3> before_settling = cut_solid.vertices;
    if (for_threemf && !settle_as_threemf_keeps(cut_solid, reason)) {
        reason = "the solid cut for the flat base cannot be put in a 3MF: " + reason;
        return false;
    }
    if (!triangulate_base(cut_solid)) {
        return refuse(reason, std::string("the flat base's outline crosses itself ") +
                                  (for_threemf ? "at the six decimals a 3MF keeps"
                                               : "once rounded to floats"));
    }
    // As for a whole solid (threemf_bytes), the corners of triangles that
    // the six decimals made cross are moved to other values the file holds.
    if (!orient_and_check_solid(cut_solid.vertices, cut_solid.triangles, cut_solid.volume,
                                reason) &&
        (!for_threemf || !uncross_as_threemf_keeps(cut_solid, before_settling) ||
         !orient_and_check_solid(cut_solid.vertices, cut_solid.triangles, cut_solid.volume,
                                 reason))) {
        reason = "the solid cut for the flat base is not sound: " + reason;
        return false;
    }

    const SolidFigures figures = solid_figures(cut_solid);
    const double across = std::min(double(figures.base_high.x) - figures.base_low.x,
                                   double(figures.base_high.y) - figures.base_low.y);
    if (!(across >= min_base_across)) {
        return refuse(reason, "the flat base is only " + figure(across) +
                                  " across, less than the " + figure(min_base_across) +
                                  " mm a print needs to stand on (cut higher, or give a larger "
                                  "--size)");
    }
    solid = std::move(cut_solid);
    return true;
}

}  // namespace solidmorph
