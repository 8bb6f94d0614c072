#pragma once

#include <functional>
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

// Moves vertices of a closed surface whose triangles cross or touch each
// other away from their shared corners and edges, each to one of the
// positions `candidates` offers for it (the first being where it is), until
// no two do: a few vertices at a time, each to the position that leaves the
// fewest crossings near it, nearest first among equals. The crossings are
// found and counted with exact predicates. False, with the vertices as far
// as it got, if some crossings remain that no offered move removes, or at
// once where more pairs of triangles cross than a few hundred, or one in
// sixteen of them.
using CandidatePositions = std::function<std::vector<Vec3>(uint32_t vertex)>;
bool uncross(std::vector<Vec3>& vertices, const std::vector<TriangleCorners>& triangles,
             const CandidatePositions& candidates);

}  // namespace solidmorph
