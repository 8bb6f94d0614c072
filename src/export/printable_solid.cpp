#include "export/printable_solid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>
#include <set>
#include <utility>

namespace solidmorph {

namespace {

// The solid's rows: every grid row but the last, each a ring without the
// seam column.
constexpr uint32_t ring_rows = grid_rows - 1;
constexpr uint32_t ring_size = grid_columns - 1;
constexpr uint32_t apex = ring_rows * ring_size;
constexpr uint32_t lower_centre = apex + 1;

size_t ring_index(uint32_t row, uint32_t column) { return size_t(row) * ring_size + column; }

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

// Exact in double: each product of two floats fits, and the one rounding
// of the difference keeps its sign.
double cross_z(const Vec3& p, const Vec3& q) {
    return double(p.x) * double(q.y) - double(p.y) * double(q.x);
}

struct Point2 {
    double r, z;
};

double orient(const Point2& a, const Point2& b, const Point2& c) {
    return (b.r - a.r) * (c.z - a.z) - (b.z - a.z) * (c.r - a.r);
}

bool on_segment(const Point2& a, const Point2& b, const Point2& p) {
    return std::min(a.r, b.r) <= p.r && p.r <= std::max(a.r, b.r) && std::min(a.z, b.z) <= p.z &&
           p.z <= std::max(a.z, b.z);
}

// Closed segments ab and cd share a point.
bool segments_meet(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
    const double d1 = orient(c, d, a), d2 = orient(c, d, b);
    const double d3 = orient(a, b, c), d4 = orient(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
        return true;
    }
    return (d1 == 0 && on_segment(c, d, a)) || (d2 == 0 && on_segment(c, d, b)) ||
           (d3 == 0 && on_segment(a, b, c)) || (d4 == 0 && on_segment(a, b, d));
}

// A closed polygon without self-contact: neighbouring sides meet only at
// their shared corner, other sides not at all.
bool polygon_is_simple(const std::vector<Point2>& p) {
    const size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
        const Point2 &a = p[i], &b = p[(i + 1) % n];
        // The next side must not fold back along this one.
        const Point2& c = p[(i + 2) % n];
        if (orient(a, b, c) == 0 && (c.r - b.r) * (b.r - a.r) + (c.z - b.z) * (b.z - a.z) <= 0) {
            return false;
        }
        for (size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;  // neighbours across the start
            if (segments_meet(a, b, p[j], p[(j + 1) % n])) return false;
        }
    }
    return true;
}

// Every row is level and winds once around the axis, each vertex off it,
// at strictly increasing angles; every row is then a scaled copy of one
// star-shaped outline. Between two neighbouring longitudes the surface is
// the outline swept along one meridian section, from the lower pole's
// centre out through the rows and in to the apex, and it is embedded
// exactly when that section, closed along the axis, is a simple polygon.
bool rows_are_sound(const std::vector<Vec3>& v, std::string& reason) {
    for (uint32_t row = 0; row < ring_rows; ++row) {
        const float z = v[ring_index(row, 0)].z;
        double turned = 0.0;
        for (uint32_t c = 0; c < ring_size; ++c) {
            const Vec3& p = v[ring_index(row, c)];
            const Vec3& q = v[ring_index(row, (c + 1) % ring_size)];
            if (p.z != z) {
                reason = "a row of the surface is not level";
                return false;
            }
            const double cross = cross_z(p, q);
            if (!(cross > 0.0)) {
                reason = "the surface touches or crosses its own axis";
                return false;
            }
            turned += std::atan2(cross, double(p.x) * double(q.x) + double(p.y) * double(q.y));
        }
        if (turned > 3.0 * std::numbers::pi) {
            reason = "a row of the surface winds around the axis more than once";
            return false;
        }
    }
    std::vector<Point2> section;
    for (uint32_t c = 0; c < ring_size; ++c) {
        section.assign(1, {0.0, double(v[lower_centre].z)});
        for (uint32_t row = 0; row < ring_rows; ++row) {
            const Vec3& p = v[ring_index(row, c)];
            section.push_back({std::hypot(double(p.x), double(p.y)), double(p.z)});
        }
        section.push_back({0.0, double(v[apex].z)});
        if (!polygon_is_simple(section)) {
            reason = "the surface folds back and touches or crosses itself";
            return false;
        }
    }
    return true;
}

using Edge = std::pair<uint32_t, uint32_t>;

// Turns every triangle to agree with its neighbours across each shared
// edge; false if an edge is not shared by exactly two triangles or the
// triangles cannot agree (a one-sided surface).
bool orient_consistently(std::vector<TriangleCorners>& triangles, size_t& parts) {
    std::map<Edge, std::vector<uint32_t>> by_edge;
    for (uint32_t t = 0; t < triangles.size(); ++t) {
        for (int e = 0; e < 3; ++e) {
            const uint32_t a = triangles[t][e], b = triangles[t][(e + 1) % 3];
            by_edge[{std::min(a, b), std::max(a, b)}].push_back(t);
        }
    }
    for (const auto& [edge, users] : by_edge) {
        if (users.size() != 2) return false;
    }
    auto has_directed = [&](uint32_t t, uint32_t a, uint32_t b) {
        const TriangleCorners& c = triangles[t];
        for (int e = 0; e < 3; ++e) {
            if (c[e] == a && c[(e + 1) % 3] == b) return true;
        }
        return false;
    };
    std::vector<int> state(triangles.size(), 0);  // 0 unseen, 1 placed
    parts = 0;
    for (uint32_t start = 0; start < triangles.size(); ++start) {
        if (state[start] != 0) continue;
        ++parts;
        state[start] = 1;
        std::vector<uint32_t> stack{start};
        while (!stack.empty()) {
            const uint32_t t = stack.back();
            stack.pop_back();
            for (int e = 0; e < 3; ++e) {
                const uint32_t a = triangles[t][e], b = triangles[t][(e + 1) % 3];
                const auto& users = by_edge[{std::min(a, b), std::max(a, b)}];
                const uint32_t other = users[0] == t ? users[1] : users[0];
                // The neighbour must run the shared edge the other way.
                if (state[other] == 0) {
                    if (has_directed(other, a, b)) {
                        std::swap(triangles[other][1], triangles[other][2]);
                    }
                    state[other] = 1;
                    stack.push_back(other);
                } else if (has_directed(other, a, b)) {
                    return false;
                }
            }
        }
    }
    return true;
}

// Each vertex's triangles must form one fan around it, closed: a vertex
// shared by two cones would pass the edge test but is no 2-manifold.
bool vertices_are_manifold(const std::vector<TriangleCorners>& triangles, size_t vertex_count) {
    // next[v] maps the outgoing corner of each triangle at v to its incoming one.
    std::vector<std::map<uint32_t, uint32_t>> fan(vertex_count);
    for (const TriangleCorners& c : triangles) {
        for (int e = 0; e < 3; ++e) fan[c[e]][c[(e + 1) % 3]] = c[(e + 2) % 3];
    }
    for (const auto& links : fan) {
        if (links.empty()) return false;  // a vertex no triangle uses
        uint32_t at = links.begin()->first;
        size_t steps = 0;
        do {
            const auto next = links.find(at);
            if (next == links.end()) return false;
            at = next->second;
            ++steps;
        } while (at != links.begin()->first && steps <= links.size());
        if (steps != links.size()) return false;
    }
    return true;
}

double signed_volume(const std::vector<Vec3>& v, const std::vector<TriangleCorners>& triangles) {
    double sum = 0.0;
    for (const TriangleCorners& c : triangles) {
        const Vec3 &p = v[c[0]], &q = v[c[1]], &r = v[c[2]];
        sum += double(p.x) * (double(q.y) * r.z - double(q.z) * r.y) +
               double(p.y) * (double(q.z) * r.x - double(q.x) * r.z) +
               double(p.z) * (double(q.x) * r.y - double(q.y) * r.x);
    }
    return sum / 6.0;
}

bool has_zero_area(const std::vector<Vec3>& v, const TriangleCorners& c) {
    const Vec3 &p = v[c[0]], &q = v[c[1]], &r = v[c[2]];
    const double ux = double(q.x) - p.x, uy = double(q.y) - p.y, uz = double(q.z) - p.z;
    const double wx = double(r.x) - p.x, wy = double(r.y) - p.y, wz = double(r.z) - p.z;
    return uy * wz - uz * wy == 0.0 && uz * wx - ux * wz == 0.0 && ux * wy - uy * wx == 0.0;
}

bool positions_are_distinct(std::vector<Vec3> v) {
    auto key = [](const Vec3& p) { return std::make_tuple(p.x, p.y, p.z); };
    std::sort(v.begin(), v.end(), [&](const Vec3& a, const Vec3& b) { return key(a) < key(b); });
    return std::adjacent_find(v.begin(), v.end(), [&](const Vec3& a, const Vec3& b) {
               return key(a) == key(b);
           }) == v.end();
}

}  // namespace

bool make_printable_solid(const ExportSurface& surface, PrintableSolid& solid,
                          std::string& reason) {
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
    if (!rows_are_sound(v, reason)) return false;

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

    size_t parts = 0;
    if (!orient_consistently(solid.triangles, parts) || parts != 1 ||
        !vertices_are_manifold(solid.triangles, v.size())) {
        reason = "the surface does not close into a single solid";
        return false;
    }
    if (std::any_of(solid.triangles.begin(), solid.triangles.end(),
                    [&](const TriangleCorners& c) { return has_zero_area(v, c); })) {
        reason = "the closed surface has a flat (zero-area) triangle";
        return false;
    }
    if (!positions_are_distinct(v)) {
        reason = "two corners of the solid fall on the same point";
        return false;
    }
    solid.volume = signed_volume(v, solid.triangles);
    if (solid.volume < 0.0) {
        for (TriangleCorners& c : solid.triangles) std::swap(c[1], c[2]);
        solid.volume = -solid.volume;
    }
    if (!(solid.volume > 0.0) || !std::isfinite(solid.volume)) {
        reason = "the closed surface encloses no volume";
        return false;
    }
    return true;
}

}  // namespace solidmorph
