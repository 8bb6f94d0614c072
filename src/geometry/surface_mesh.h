#pragma once

#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

// One vertex per grid point, 64 rows of 65 columns, index 65 * row + column.
struct SurfaceMesh {
    std::vector<Vec3> positions;
    std::vector<Vec2> texcoords;
    std::vector<Vec3> normals;
};

inline constexpr int mesh_vertex_count = 4160;

extern SurfaceMesh mesh;
extern float texture_scroll;
extern float frame_clock;

// Rewrites every position, texture coordinate and (into mesh.normals) every
// normal of the grid from one parameter set, and advances texture_scroll.
void generate_supershape(std::vector<Vec3>& positions, std::vector<Vec2>& texcoords, float scale,
                         float lat_steps, float lon_steps, float a, float b, float m, float n1,
                         float n2, float n3);

}  // namespace solidmorph
