#include "geometry/surface_mesh.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace solidmorph {
namespace {

bool same(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}
bool same(const Vec3& a, const Vec3& b) {
    return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}
bool same(const Vec2& a, const Vec2& b) { return same(a.u, b.u) && same(a.v, b.v); }

// An independent model of the surface, built the long way round: first the
// two angle sequences by float addition, then the radii, then the vertices.
// Every float() below is a value the program stores; the rest is double.
struct Model {
    std::vector<Vec3> pos, nrm;
    std::vector<Vec2> tex;
};

float model_radius(const ShapeParams& s, float scale, float angle) {
    const double t = double(angle) * double(s.m) / 4.0;
    const float c = float(std::pow(std::fabs(std::cos(t) / double(s.a)), double(s.n2)));
    const float d = float(std::pow(std::fabs(std::sin(t) / double(s.b)), double(s.n3)));
    const double sum = double(d) + double(c);
    return float(double(scale) * double(float(std::pow(sum, -1.0 / double(s.n1)))));
}

Vec3 model_normal(Vec3 p) {
    const double len2 = double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z;
    const float inv = float(1.0 / std::sqrt(len2));
    if (!std::isfinite(inv) || inv == 0.0f) return {0, 0, 1};
    return {float(double(inv) * p.x), float(double(inv) * p.y), float(double(inv) * p.z)};
}

Model model_surface(const ShapeParams& s, const ShapeParams& t, float scale, int rows, int columns,
                    float scroll) {
    std::vector<float> lat{float(-1.5707965)}, lon{float(-3.141593)};
    for (int i = 0; i < rows; ++i) lat.push_back(lat.back() + float(3.141593 / rows));
    for (int j = 1; j < columns; ++j) lon.push_back(lon.back() + float(6.283186 / (columns - 1)));
    Model out;
    for (int i = 0; i < rows; ++i) {
        const double r1 = model_radius(s, scale, lat[i]), phi = lat[i + 1];
        for (int j = 0; j < columns; ++j) {
            const double r2 = model_radius(t, scale, lon[j]), theta = lon[j];
            const Vec3 p = {float(std::cos(theta) * r2 * r1 * std::cos(phi)),
                            float(std::sin(theta) * r2 * r1 * std::cos(phi)),
                            float(std::sin(phi) * r1)};
            out.pos.push_back(p);
            out.nrm.push_back(model_normal(p));
            out.tex.push_back({float(double(i) / rows * 4.0 + scroll),
                               float(double(j) / (columns - 1) * 4.0 + scroll)});
        }
    }
    return out;
}

class SurfaceMeshTest : public ::testing::Test {
protected:
    void SetUp() override { size_mesh(mesh_vertex_count); }
    void TearDown() override {
        texture_scroll = 0.0f;
        frame_clock = 0.0f;
    }
    static void size_mesh(std::size_t n) {
        mesh.positions.assign(n, {-7, -7, -7});
        mesh.texcoords.assign(n, {-7, -7});
        mesh.normals.assign(n, {-7, -7, -7});
    }
    static void generate(const ShapeParams& s, float scale = 1.0f, float lat = 64, float lon = 64) {
        generate_supershape(mesh.positions, mesh.texcoords, scale, lat, lon, s.a, s.b, s.m, s.n1,
                            s.n2, s.n3);
    }
    static int untouched() {
        int n = 0;
        for (const Vec3& p : mesh.positions) n += p.x == -7 && p.y == -7 && p.z == -7;
        return n;
    }
};

// Bit-for-bit agreement with the model over the presets that stress the
// formula: huge and negative exponents, n1 = 0, a and b off 1, a scroll
// that wraps inside the call, a non-unit scale, and smaller and wider grids;
// then latitude and longitude sets of their own, on grids up to the finest
// an export takes.
TEST_F(SurfaceMeshTest, MatchesModelBitForBit) {
    struct Case {
        ShapeParams s;
        float scale, scroll, clock;
        int rows, columns;
        std::optional<ShapeParams> longitude = std::nullopt;
    };
    const Case cases[] = {
        {{1, 1, 0, 1, 1, 1}, 1, 0, 0, 64, 65},
        {{1, 1, 8, 0.173275f, 31.5035f, -0.58f}, 1, 0, 0, 64, 65},
        {{1, 1, 4, 100, 100, 100}, 1, 0.25f, 3, 64, 65},
        {{1, 0.7f, 6.283186f, 0.716f, 3.3f, 5.05f}, 1, 0.9995f, 2.5f, 64, 65},
        {{0.2f, 0.1f, 8, 18.16f, 2.3f, 10.05f}, 1, 0, 0, 64, 65},
        {{1, 1, 13, 0.16f, 2.3f, 0.05f}, 1, 0, 0, 64, 65},
        {{1, 1, 6, 1.26f, -1, 1.738f}, 1, 0, 0, 64, 65},
        {{1, 1, 4, 0, 1, 1}, 1, 0, 0, 64, 65},        // n1 = 0: zero radii
        {{1, 1, 4, 1, 1000, 1000}, 1, 0, 0, 64, 65},  // terms underflow: infinite radii
        {{1, 1, 7, 0.3f, 1.7f, 1.7f}, 1.5f, 0.3f, 1, 10, 8},
        {{1, 1, 5, 0.6f, 0.4f, 0.5f}, 1, 0.6f, 1, 3, 150},  // wider than one block of columns
        {{1, 1, 5, 0.6f, 0.4f, 0.5f}, 1, 0, 0, 64, 65, ShapeParams{1, 1, 0, 1, 1, 1}},
        {{1, 1, 0, 1, 1, 1}, 1, 0, 0, 64, 65, ShapeParams{1, 1, 8, 0.173275f, 31.5035f, -0.58f}},
        {{0.2f, 0.1f, 8, 18.16f, 2.3f, 10.05f},
         1.5f,
         0.3f,
         1,
         10,
         8,
         ShapeParams{1, 0.7f, 3, 0.716f, 3.3f, 5.05f}},
        {{1, 1, 7, 0.3f, 1.7f, 1.7f}, 1, 0, 0, 256, 257, ShapeParams{1, 1, 4, 1, 1000, 1000}},
        {{1, 1, 3, 4.5f, 10, 10}, 1, 0, 0, 1024, 1025, ShapeParams{1, 1, 5, 0.6f, 0.4f, 0.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "m=" << c.s.m << " n1=" << c.s.n1 << " grid " << c.rows
                                          << "x" << c.columns);
        size_mesh(std::size_t(c.rows) * std::size_t(c.columns));
        texture_scroll = c.scroll;
        frame_clock = c.clock;
        if (c.longitude) {
            generate_supershape_pair(mesh.positions, mesh.texcoords, c.scale, float(c.rows),
                                     float(c.columns - 1), c.s, *c.longitude);
        } else {
            generate(c.s, c.scale, float(c.rows), float(c.columns - 1));
        }
        const double sum = 0.00041926 * c.clock + c.scroll;
        const float scroll = float(std::fmod(double(float(sum)), 1.0));
        ASSERT_TRUE(same(texture_scroll, scroll));
        const Model m =
            model_surface(c.s, c.longitude.value_or(c.s), c.scale, c.rows, c.columns, scroll);
        for (std::size_t k = 0; k < m.pos.size(); ++k) {
            ASSERT_TRUE(same(mesh.positions[k], m.pos[k])) << "position " << k;
            ASSERT_TRUE(same(mesh.normals[k], m.nrm[k])) << "normal " << k;
            ASSERT_TRUE(same(mesh.texcoords[k], m.tex[k])) << "texcoord " << k;
        }
    }
}

// Figures known from the shape itself: the sphere's first and last vertex,
// and the lag of each row's radius one latitude behind its position. u
// follows the row, v the column; the scroll adds to both.
TEST_F(SurfaceMeshTest, SphereRadiusLagAndTextureFigures) {
    generate({1, 1, 0, 1, 1, 1});
    EXPECT_NEAR(mesh.positions[0].x, -0.0490675, 5e-8);
    EXPECT_NEAR(mesh.positions[0].y, 0.0, 1e-7);
    EXPECT_NEAR(mesh.positions[0].z, -0.9987954, 5e-8);
    EXPECT_NEAR(mesh.positions[4159].z, 1.0, 1e-7);
    for (int k = 0; k < mesh_vertex_count; ++k) {
        const Vec3 p = mesh.positions[k];
        EXPECT_NEAR(std::hypot(double(p.x), double(p.y), double(p.z)), 1.0, 2e-7);
        EXPECT_EQ(mesh.positions[k].z, mesh.positions[k / 65 * 65].z);  // rows are level
        EXPECT_EQ(mesh.texcoords[k].u, float(k / 65) / 16);
        EXPECT_EQ(mesh.texcoords[k].v, float(k % 65) / 16);
    }
    EXPECT_EQ(texture_scroll, 0.0f);

    generate({1, 1, 4, 1, 1, 1});
    EXPECT_NEAR(mesh.positions[0].z, -0.9987953, 5e-8);    // own-latitude radius: -0.9531737
    EXPECT_NEAR(mesh.positions[4159].z, 0.9543238, 5e-8);  // own-latitude radius: 0.9999991

    frame_clock = 10.0f;
    generate({1, 1, 0, 1, 1, 1});
    EXPECT_EQ(texture_scroll, 0.0041926f);
    EXPECT_EQ(mesh.texcoords[65 * 3 + 5].u, float(3.0 / 16 + 0.0041926f));
    EXPECT_EQ(mesh.texcoords[65 * 3 + 5].v, float(5.0 / 16 + 0.0041926f));
}

// After days of uptime the unwrapped scroll would be so large that its float
// no longer resolves a texel. Wrapped, it stays in [0, 1) and keeps tracking
// the fractional part of the true sum. A one-row grid keeps the run cheap.
TEST_F(SurfaceMeshTest, ScrollStaysFineOverALongRun) {
    const double start = 30 * 86400.0;  // seconds of uptime
    long double exact = 0;
    for (int frame = 0; frame < 100000; ++frame) {
        frame_clock = float((start + frame / 60.0) / 100.0);
        const float before = texture_scroll;
        generate({1, 1, 0, 1, 1, 1}, 1.0f, 1.0f, 1.0f);
        exact += 0.00041926L * frame_clock;
        ASSERT_GE(texture_scroll, 0.0f);
        ASSERT_LT(texture_scroll, 1.0f);
        ASSERT_NE(texture_scroll, before) << "frozen at frame " << frame;
        const long double off = std::fabs(texture_scroll - (exact - std::floor(exact)));
        ASSERT_LT(std::fmin(off, 1 - off), 1e-3) << "frame " << frame;
    }
}

// Only the grid's own entries are written: the counts round to nearest
// with ties to even (4.5 - 1 gives 5 rows, 2.5 gives 3 columns),
// and arrays too small for the grid are left alone rather than overrun.
TEST_F(SurfaceMeshTest, WritesExactlyTheGrid) {
    size_mesh(4200);
    generate({1, 1, 0, 1, 1, 1});
    EXPECT_EQ(untouched(), 40);
    EXPECT_NE(mesh.positions[4159].z, -7);

    size_mesh(20);
    generate({1, 1, 0, 1, 1, 1}, 1.0f, 4.5f, 2.5f);
    EXPECT_EQ(untouched(), 20 - 15);

    size_mesh(mesh_vertex_count - 1);
    generate({1, 1, 0, 1, 1, 1});
    EXPECT_EQ(untouched(), mesh_vertex_count - 1);
}

TEST(Normalize, ScalesWithWideIntermediatesAndFallsBack) {
    struct Case {
        Vec3 in, out;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {{3, 0, 4}, {0.6f, 0, 0.8f}},
        {{std::ldexp(3.0f, 64), 0, std::ldexp(-4.0f, 64)}, {0.6f, 0, -0.8f}},  // squares overflow
        {{std::ldexp(1.0f, -100), 0, 0}, {1, 0, 0}},  // squares underflow a float
        {{0, 0, 0}, {0, 0, 1}},
        {{inf, 0, 0}, {0, 0, 1}},
        {{nan, 1, 1}, {0, 0, 1}},
        {{0, -inf, 0}, {0, 0, 1}},
        {{1e-39f, 0, 0}, {0, 0, 1}},  // inverse length too big for a float
    };
    for (const Case& c : cases) {
        Vec3 v = c.in;
        normalize(v);
        EXPECT_TRUE(same(v, c.out)) << c.in.x << "," << c.in.y << "," << c.in.z << " -> " << v.x
                                    << "," << v.y << "," << v.z;
    }
    // The inverse length is stored as a float before it scales.
    uint32_t seed = 12345;
    auto next = [&] { return float(int32_t(seed = seed * 1664525u + 1013904223u)) / 1e5f; };
    for (int i = 0; i < 10000; ++i) {
        Vec3 v = {next(), next(), next()};
        const Vec3 want = model_normal(v);
        normalize(v);
        ASSERT_TRUE(same(v, want)) << i;
    }
}

}  // namespace
}  // namespace solidmorph
