#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"
#include "geometry/surface_mesh.h"

namespace solidmorph {

struct Triangle {
    int32_t index1, index2, index3;
    Vec2 tex1, tex2, tex3;
    float shade;
};

using TriangleList = std::vector<Triangle>;

extern TriangleList triangle_list;

// Two triangles per vertex of the program's grid (see surface_mesh.h).
inline constexpr int grid_triangle_count = 2 * grid_columns * grid_rows;

// Fills the list with the 2 * (lon_steps + 1) * rows triangles over the grid.
void build_triangle_list(TriangleList& triangles, const int32_t& rows, const int32_t& lon_steps);

// Builds triangle_list over the program's grid, discarding what it held.
void build_grid_triangle_list();

}  // namespace solidmorph
