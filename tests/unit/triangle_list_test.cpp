#include "geometry/triangle_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <vector>

namespace solidmorph {
namespace {

using Corners = std::array<int, 3>;

Corners corners(const Triangle& t) { return {t.index1, t.index2, t.index3}; }

TriangleList build(int32_t rows, int32_t lon_steps) {
    TriangleList list(3);  // stale content must not survive the build
    build_triangle_list(list, rows, lon_steps);
    return list;
}

// The whole small list, in record order: corner order is the winding.
TEST(TriangleList, SmallGridInRecordOrder) {
    const std::vector<Corners> want = {{3, 2, 0}, {0, 1, 3}, {4, 3, 1}, {1, 2, 4},
                                       {5, 4, 2}, {2, 3, 5}, {5, 4, 2}, {2, 3, 5},
                                       {0, 5, 3}, {3, 4, 0}, {1, 0, 4}, {4, 5, 1}};
    const TriangleList list = build(2, 2);
    ASSERT_EQ(list.size(), want.size());
    for (std::size_t n = 0; n < want.size(); ++n) EXPECT_EQ(corners(list[n]), want[n]) << n;
}

// The program's grid: the landmark records, the corner texture pattern,
// every band tiled, and indices that never leave the mesh.
TEST(TriangleList, ProgramGrid) {
    // The grid's one definition, pinned to the sizes the solid is drawn at.
    ASSERT_EQ(grid_rows, 64);
    ASSERT_EQ(grid_lon_steps, 64);
    ASSERT_EQ(mesh_vertex_count, 4160);
    ASSERT_EQ(grid_triangle_count, 8320);
    build_grid_triangle_list();
    const TriangleList list = triangle_list;
    ASSERT_EQ(list.size(), 8320u);
    EXPECT_EQ(corners(list[0]), (Corners{65, 64, 0}));
    EXPECT_EQ(corners(list[1]), (Corners{0, 1, 65}));
    EXPECT_EQ(corners(list[128]), (Corners{129, 128, 64}));
    EXPECT_EQ(corners(list[129]), (Corners{64, 65, 129}));
    EXPECT_EQ(corners(list[130]), corners(list[128]));
    EXPECT_EQ(corners(list[131]), corners(list[129]));
    EXPECT_EQ(corners(list[8316]), (Corners{0, 4159, 4095}));  // wraps to row 0
    EXPECT_EQ(corners(list[8318]), (Corners{1, 0, 4096}));
    EXPECT_EQ(corners(list[8319]), (Corners{4096, 4097, 1}));

    for (std::size_t n = 0; n < list.size(); ++n) {
        const Triangle& t = list[n];
        const bool first = n % 2 == 0;
        using Tex = std::array<float, 6>;
        const Tex want = first ? Tex{0, 0, 1, 0, 1, 1} : Tex{1, 1, 0, 1, 0, 0};
        EXPECT_EQ((Tex{t.tex1.u, t.tex1.v, t.tex2.u, t.tex2.v, t.tex3.u, t.tex3.v}), want) << n;
        for (int i : corners(t)) ASSERT_TRUE(i >= 0 && i < 4160) << n;
    }

    // Each cell of bands 0 to 62 is split along its (r, c+1)-(r+1, c)
    // diagonal, both halves wound the same way as the records above.
    std::set<Corners> have;
    for (const Triangle& t : list) have.insert(corners(t));
    EXPECT_EQ(have.size(), 8320u - 126u);  // the duplicated steps
    for (int r = 0; r < 63; ++r) {
        for (int c = 0; c < 64; ++c) {
            const int g = 65 * r + c;
            EXPECT_TRUE(have.count({g, g + 1, g + 65})) << r << "," << c;
            EXPECT_TRUE(have.count({g + 66, g + 65, g + 1})) << r << "," << c;
        }
    }
}

// Shades are k / 32768 from a fixed sequence: the same on every build, and
// spread over [0, 1) rather than stuck on a few values.
TEST(TriangleList, ShadesAreFixedAndSpread) {
    const TriangleList a = build(64, 64), b = build(64, 64);
    std::set<float> distinct;
    for (std::size_t n = 0; n < a.size(); ++n) {
        const float s = a[n].shade;
        EXPECT_EQ(s, b[n].shade);
        EXPECT_TRUE(s >= 0 && s <= 32767.0f / 32768 && std::floor(s * 32768) == s * 32768) << n;
        distinct.insert(s);
    }
    EXPECT_GT(distinct.size(), 5000u);
}

// Counts that would make a negative size get an empty list instead.
TEST(TriangleList, UnusableCountsGiveEmptyList) {
    EXPECT_TRUE(build(0, 64).empty());
    EXPECT_TRUE(build(-3, 64).empty());
    EXPECT_TRUE(build(64, -5).empty());
    EXPECT_EQ(build(3, 0).size(), 6u);
}

}  // namespace
}  // namespace solidmorph
