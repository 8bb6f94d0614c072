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
#include <iterator>
#include <set>
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

namespace {

using Face = Mesh::Face_index;

CGAL::Bbox_3 face_box(const Mesh& sheet, Face face) {
    CGAL::Bbox_3 box;
    for (const Mesh::Vertex_index v : CGAL::vertices_around_face(sheet.halfedge(face), sheet)) {
        box += sheet.point(v).bbox();
    }
    return box;
}

size_t crossings_among(const std::vector<Face>& faces, const Mesh& sheet) {
    std::vector<std::pair<Face, Face>> pairs;
    PMP::self_intersections(faces, sheet, std::back_inserter(pairs));
    return pairs.size();
}

// The faces that any of a vertex's offered moves could bring into contact.
std::vector<Face> faces_near(const Mesh& sheet, uint32_t index, const std::vector<Vec3>& offered) {
    const Mesh::Vertex_index vertex(index);
    CGAL::Bbox_3 reach = sheet.point(vertex).bbox();
    for (const Face face : CGAL::faces_around_target(sheet.halfedge(vertex), sheet)) {
        // cppcheck-suppress useStlAlgorithm
        if (face != Mesh::null_face()) reach += face_box(sheet, face);
    }
    for (const Vec3& p : offered) reach += Point(p.x, p.y, p.z).bbox();
    std::vector<Face> near;
    std::copy_if(sheet.faces().begin(), sheet.faces().end(), std::back_inserter(near),
                 [&](Face face) { return CGAL::do_overlap(reach, face_box(sheet, face)); });
    return near;
}

// Moves two vertices at once to the pair of their offered positions that
// leaves the fewest crossings near them, if that is fewer than now.
bool move_together(Mesh& sheet, uint32_t a, uint32_t b, const CandidatePositions& candidates,
                   std::vector<Vec3>& vertices) {
    // The nearest few of each: the pairs grow as the square.
    constexpr size_t few = 27;
    std::vector<Vec3> offered_a = candidates(a), offered_b = candidates(b);
    offered_a.resize(std::min(offered_a.size(), few));
    offered_b.resize(std::min(offered_b.size(), few));
    std::vector<Face> near = faces_near(sheet, a, offered_a);
    const std::vector<Face> near_b = faces_near(sheet, b, offered_b);
    near.insert(near.end(), near_b.begin(), near_b.end());
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    const Mesh::Vertex_index va(a), vb(b);
    const Point here_a = sheet.point(va), here_b = sheet.point(vb);
    size_t fewest = crossings_among(near, sheet);
    Point best_a = here_a, best_b = here_b;
    for (const Vec3& p : offered_a) {
        for (const Vec3& q : offered_b) {
            if (fewest == 0) break;
            sheet.point(va) = Point(p.x, p.y, p.z);
            sheet.point(vb) = Point(q.x, q.y, q.z);
            const size_t left = crossings_among(near, sheet);
            if (left < fewest) {
                fewest = left;
                best_a = sheet.point(va);
                best_b = sheet.point(vb);
            }
        }
    }
    sheet.point(va) = best_a;
    sheet.point(vb) = best_b;
    if (best_a == here_a && best_b == here_b) return false;
    vertices[a] = {float(best_a.x()), float(best_a.y()), float(best_a.z())};
    vertices[b] = {float(best_b.x()), float(best_b.y()), float(best_b.z())};
    return true;
}

}  // namespace

bool uncross(std::vector<Vec3>& vertices, const std::vector<TriangleCorners>& triangles,
             const CandidatePositions& candidates) {
    Mesh sheet;
    for (const Vec3& v : vertices) sheet.add_vertex(Point(v.x, v.y, v.z));
    for (const TriangleCorners& t : triangles) {
        if (sheet.add_face(Mesh::Vertex_index(t[0]), Mesh::Vertex_index(t[1]),
                           Mesh::Vertex_index(t[2])) == Mesh::null_face()) {
            return false;
        }
    }
    // Each round moves every vertex of a crossing triangle once, as far as
    // that helps; when a round moves none, their neighbours join them (a
    // crossing can need a corner beside it moved first), up to twice.
    constexpr int rounds = 24, widenings = 2;
    // At most this many crossing pairs, or one for every 16 triangles.
    constexpr size_t most_crossings = 256;
    int widened = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::pair<Face, Face>> pairs;
        PMP::self_intersections(sheet.faces(), sheet, std::back_inserter(pairs));
        if (pairs.empty()) return true;
        // A few places where sheets pass within a rounding of each other
        // are mended; a surface crossing itself all over (detail finer than
        // the positions offered) is not, and is told so at once.
        if (pairs.size() > std::max(most_crossings, triangles.size() / 16)) return false;
        std::set<uint32_t> crossing;
        for (const auto& [f, g] : pairs) {
            for (const Face face : {f, g}) {
                for (const Mesh::Vertex_index v :
                     CGAL::vertices_around_face(sheet.halfedge(face), sheet)) {
                    crossing.insert(uint32_t(v));
                }
            }
        }
        for (int ring = 0; ring < widened; ++ring) {
            std::set<uint32_t> wider = crossing;
            for (const uint32_t index : crossing) {
                for (const Mesh::Vertex_index v : CGAL::vertices_around_target(
                         sheet.halfedge(Mesh::Vertex_index(index)), sheet)) {
                    wider.insert(uint32_t(v));
                }
            }
            crossing = std::move(wider);
        }
        bool moved = false;
        for (const uint32_t index : crossing) {
            const std::vector<Vec3> offered = candidates(index);
            const std::vector<Face> near = faces_near(sheet, index, offered);
            size_t fewest = crossings_among(near, sheet);
            const Point here = sheet.point(Mesh::Vertex_index(index));
            Point best = here;
            for (const Vec3& p : offered) {
                if (fewest == 0) break;
                sheet.point(Mesh::Vertex_index(index)) = Point(p.x, p.y, p.z);
                const size_t left = crossings_among(near, sheet);
                if (left < fewest) {
                    fewest = left;
                    best = Point(p.x, p.y, p.z);
                }
            }
            sheet.point(Mesh::Vertex_index(index)) = best;
            if (best != here) {
                moved = true;
                vertices[index] = {float(best.x()), float(best.y()), float(best.z())};
            }
        }
        // Stuck: two corners of one crossing pair of triangles at once, as
        // where a fold needs both its sheets moved.
        for (size_t p = 0; p < pairs.size() && !moved; ++p) {
            std::set<uint32_t> corners;
            for (const Face face : {pairs[p].first, pairs[p].second}) {
                for (const Mesh::Vertex_index v :
                     CGAL::vertices_around_face(sheet.halfedge(face), sheet)) {
                    corners.insert(uint32_t(v));
                }
            }
            for (auto a = corners.begin(); a != corners.end() && !moved; ++a) {
                for (auto b = std::next(a); b != corners.end() && !moved; ++b) {
                    moved = move_together(sheet, *a, *b, candidates, vertices);
                }
            }
        }
        if (!moved && ++widened > widenings) return false;
    }
    return !PMP::does_self_intersect(sheet);
}

}  // namespace solidmorph
