#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

// A file's bytes, as every format builds them.
using Bytes = std::vector<uint8_t>;

// Whether every coordinate is a finite number.
bool all_finite(const std::vector<Vec3>& positions);

// The smallest box holding every point, axis by axis; both corners at the
// origin for no points.
struct Box {
    Vec3 low{}, high{};
};
Box bounding_box(const std::vector<Vec3>& points);

// The cross product (b - a) x (c - a), in doubles from the floats: a
// triangle's normal, twice its area long, facing the side from which a, b,
// c run counter-clockwise.
std::array<double, 3> triangle_normal(const Vec3& a, const Vec3& b, const Vec3& c);

}  // namespace solidmorph
