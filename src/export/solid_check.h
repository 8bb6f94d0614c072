#pragma once

#include <string>
#include <vector>

#include "export/export_surface.h"
#include "geometry/geometry_types.h"

namespace solidmorph {

// Turns the triangles of a closed surface to agree across every edge and to
// face outward, then checks with exact predicates that they bound a solid a
// printer can make: one fan of triangles round every corner, every edge
// shared by two triangles, no triangle of zero area, no two triangles
// crossing or touching away from their shared corners and edges, a positive
// volume. False, with the reason, if not. The heavy geometry templates live
// in this one translation unit, so that only it pays their compile time.
bool orient_and_check_solid(const std::vector<Vec3>& vertices,
                            std::vector<TriangleCorners>& triangles, double& volume,
                            std::string& reason);

}  // namespace solidmorph
