#pragma once

#include <cstdint>

#include "geometry/geometry_types.h"

namespace solidmorph {

// Preset 1 to 11 as the shape table holds it.
ShapeParams preset_shape(int preset);

// The shape the running program shows in frame `frame`, counting the first
// frame drawn as 1: the live shape after that many morph steps from start-up.
// Frame 0 is the sphere the first morph starts from.
ShapeParams frame_shape(uint64_t frame);

}  // namespace solidmorph
