#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

struct Triangle {
    int32_t index1, index2, index3;
    Vec2 tex1, tex2, tex3;
    float shade;
};

using TriangleList = std::vector<Triangle>;

extern TriangleList triangle_list;

// Fills the list with the 2 * (lon_steps + 1) * rows triangles over the grid.
void build_triangle_list(TriangleList& triangles, const int32_t& rows, const int32_t& lon_steps);

}  // namespace solidmorph
