#include "geometry/surface_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

// Every stored value is a float; everything between two stores is a double.
// The explicit double(...) conversions keep the float overloads of cos, sin
// and pow out of reach, and make each product a double product.

namespace solidmorph {

SurfaceMesh mesh;
float texture_scroll = 0.0f;
// Defined beside its one reader; the frame step writes it.
float frame_clock = 0.0f;

void normalize(Vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const float s = float(1.0 / std::sqrt(x * x + y * y + z * z));
    if (std::isfinite(s) && s != 0.0f) {
        v.x = float(s * x);
        v.y = float(s * y);
        v.z = float(s * z);
    } else {
        v = {0.0f, 0.0f, 1.0f};
    }
}

namespace {

// The six parameters and the scale, widened once per call.
struct Formula {
    double scale, a, b, m, n2, n3, outer;  // outer = -1 / n1
};

// Superformula radius at one angle. The two terms, their power and the
// scaled radius are each stored as a float before the next step uses them.
float radius(const Formula& f, float angle) {
    const double t = double(angle) * f.m / 4.0;
    const float c = float(std::pow(std::fabs(std::cos(t) / f.a), f.n2));
    const float s = float(std::pow(std::fabs(std::sin(t) / f.b), f.n3));
    const float r = float(std::pow(double(s) + double(c), f.outer));
    return float(f.scale * double(r));
}

// The texture repeats, so whole units of scroll change nothing on screen;
// dropping them keeps the float fine enough to resolve a texel after days of
// uptime, when the unwrapped sum would have frozen the texture.
float advance_scroll(float scroll, float clock) {
    const float s = float(0.00041926 * double(clock) + double(scroll));
    const float w = float(double(s) - std::floor(double(s)));
    return w >= 0.0f && w < 1.0f ? w : 0.0f;  // also catches inf and NaN
}

// One longitude as every row sees it.
// (Read inside fill_grid's template, where cppcheck does not look.)
struct Column {
    float theta, v;               // cppcheck-suppress unusedStructMember
    double cos_theta, sin_theta;  // cppcheck-suppress unusedStructMember
};

// The program's 65 columns fit one block; wider grids take several, each
// repeating the row radii (the same values) rather than allocating.
constexpr std::size_t block_columns = 65;

}  // namespace

void generate_supershape(std::vector<Vec3>& positions, std::vector<Vec2>& texcoords, float scale,
                         float lat_steps, float lon_steps, float a, float b, float m, float n1,
                         float n2, float n3) {
    const ShapeParams shape{a, b, m, n1, n2, n3};
    generate_supershape_pair(positions, texcoords, scale, lat_steps, lon_steps, shape, shape);
}

namespace {

// The grid's vertices from a latitude and a longitude set. With `textured`,
// also their texture coordinates at `scroll` and their normals; without, the
// positions alone, touching nothing else (a thread of its own may call it).
template <bool textured>
void fill_grid(std::vector<Vec3>& positions, std::vector<Vec2>* texcoords,
               std::vector<Vec3>* normals, float scale, float lat_steps, float lon_steps,
               const ShapeParams& latitude, const ShapeParams& longitude, double scroll) {
    const ShapeParams& p = latitude;
    const ShapeParams& q = longitude;
    const Formula f = {scale, p.a, p.b, p.m, p.n2, p.n3, -1.0 / double(p.n1)};
    const Formula g = {scale, q.a, q.b, q.m, q.n2, q.n3, -1.0 / double(q.n1)};
    const float lon_step = float(6.283186 / double(lon_steps));
    const float lat_step = float(3.141593 / double(lat_steps));
    const long last_row = std::lrint(double(lat_steps) - 1.0);
    const long last_column = std::lrint(double(lon_steps));

    // A grid larger than the arrays would write past their ends: draw
    // nothing new rather than corrupt memory.
    if (last_row < 0 || last_column < 0) return;
    const std::size_t rows = std::size_t(last_row) + 1, columns = std::size_t(last_column) + 1;
    std::size_t room = positions.size();
    if constexpr (textured) room = std::min(room, std::min(texcoords->size(), normals->size()));
    if (rows > room / columns) return;

    // Every row walks the same longitudes, so their cos, sin and v are
    // worked out once per block of columns; each vertex still evaluates its
    // own longitude radius.
    float theta = float(-3.141593);
    for (std::size_t first = 0; first < columns; first += block_columns) {
        const std::size_t count = std::min(block_columns, columns - first);
        Column col[block_columns];
        for (std::size_t j = 0; j < count; ++j) {
            // Accumulated, never recomputed from j: column 64 lands about
            // 2e-6 rad past the seam instead of on column 0's meridian. That
            // is intended: the seam triangles and every picture of the solid
            // are drawn from exactly these angles.
            const double t = theta;
            col[j] = {theta, float(double(first + j) / double(lon_steps) * 4.0 + scroll),
                      std::cos(t), std::sin(t)};
            theta = float(t + double(lon_step));
        }

        float phi = float(-1.5707965);
        for (std::size_t i = 0; i < rows; ++i) {
            // The row keeps the radius of the latitude below it: taken
            // before the advance, placed after it. Intended, not an
            // off-by-one: it is part of the solid's shape, as is placing
            // after the advance (which is why the grid reaches the top pole
            // and leaves the bottom one open); fixing either would draw a
            // different solid.
            const double r1 = radius(f, phi);
            phi = float(double(phi) + double(lat_step));
            const double cos_phi = std::cos(double(phi));
            const float z = float(std::sin(double(phi)) * r1);
            const float u = float(double(i) / double(lat_steps) * 4.0 + scroll);

            const std::size_t row_start = i * columns + first;
            for (std::size_t j = 0; j < count; ++j) {
                const Column& c = col[j];
                const double r2 = radius(g, c.theta);
                positions[row_start + j] = {float(c.cos_theta * r2 * r1 * cos_phi),
                                            float(c.sin_theta * r2 * r1 * cos_phi), z};
                if constexpr (textured) (*texcoords)[row_start + j] = {u, c.v};
            }
            // The normal points from the centre through the stored vertex.
            // A pass of its own keeps the root and division off the path of
            // the power calls.
            if constexpr (textured) {
                for (std::size_t k = row_start; k < row_start + count; ++k) {
                    (*normals)[k] = positions[k];
                    normalize((*normals)[k]);
                }
            }
        }
    }
}

}  // namespace

void generate_supershape_pair(std::vector<Vec3>& positions, std::vector<Vec2>& texcoords,
                              float scale, float lat_steps, float lon_steps,
                              const ShapeParams& latitude, const ShapeParams& longitude) {
    texture_scroll = advance_scroll(texture_scroll, frame_clock);
    fill_grid<true>(positions, &texcoords, &mesh.normals, scale, lat_steps, lon_steps, latitude,
                    longitude, texture_scroll);
}

void grid_positions(std::vector<Vec3>& positions, int32_t steps, const ShapeParams& latitude,
                    const ShapeParams& longitude) {
    positions.resize(std::size_t(steps) * (std::size_t(steps) + 1));
    fill_grid<false>(positions, nullptr, nullptr, grid_scale, float(steps), float(steps), latitude,
                     longitude, 0.0);
}

void restore_texture_scroll(float scroll) { texture_scroll = scroll; }

void create_mesh() {
    mesh.positions.assign(mesh_vertex_count, Vec3{});
    mesh.texcoords.assign(mesh_vertex_count, Vec2{});
    mesh.normals.assign(mesh_vertex_count, Vec3{});
    frame_clock = 0.0f;
    texture_scroll = 0.0f;
}

void set_frame_clock(double clock_reading) {
    frame_clock = static_cast<float>(clock_reading / 100.0);
}

void generate_grid_surface(const ShapeParams& shape) {
    generate_supershape(mesh.positions, mesh.texcoords, grid_scale, float(grid_rows),
                        float(grid_lon_steps), shape.a, shape.b, shape.m, shape.n1, shape.n2,
                        shape.n3);
}

void generate_grid_surface(const ShapeParams& latitude, const ShapeParams& longitude) {
    generate_supershape_pair(mesh.positions, mesh.texcoords, grid_scale, float(grid_rows),
                             float(grid_lon_steps), latitude, longitude);
}

}  // namespace solidmorph
