#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"

namespace solidmorph {

using TriangleCorners = std::array<uint32_t, 3>;

// One shape as the program draws it: its grid's vertex data and the
// program's triangle list over it, corners only; `rows` rows of `columns`
// vertices (the program's 64 of 65 unless a finer grid was asked for).
struct ExportSurface {
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    std::vector<Vec2> texcoords;
    std::vector<TriangleCorners> triangles;
    int32_t rows = grid_rows;
    int32_t columns = grid_columns;
};

// The program's triangle list (built by start-up), corners only; and any
// triangle list's.
std::vector<TriangleCorners> triangle_corners();
std::vector<TriangleCorners> corners_of(const TriangleList& list);

// Generates the surface of one parameter set through the program's own
// start-up and generation path, with the texture scroll at 0. Start-up puts
// the scheduler back to its start, so pass a copy of any scheduler value.
ExportSurface export_surface(const ShapeParams& shape);

// The same for a latitude and a longitude set, on a grid of `detail`
// latitude and longitude steps, with the program's triangle list built the
// program's way over it. At the program's 64 it is export_surface of the
// one set when both are the same, bit for bit; at any other detail the
// mesh is given back at the program's size afterwards, as start-up leaves
// it.
ExportSurface export_surface(const ShapeParams& latitude, const ShapeParams& longitude,
                             int32_t detail);

// Scales the positions by one factor so that the largest extent of their
// bounding box becomes `size`, each rounded once to a float; with
// `on_plate`, also moves them so the lowest lies at z = 0. False, leaving
// them as they were, if they have no extent or would not stay finite.
bool fit_to_size(std::vector<Vec3>& positions, double size, bool on_plate);

}  // namespace solidmorph
