#pragma once

#include <cstdint>

namespace solidmorph {

// The program's own view: the literal 640 x 480 viewport whatever size the
// window system gave it (the picture keeps its shape in the lower left
// corner), and a decimal a hair below 640/480, kept as written so the
// projection is the same bit for bit.
inline constexpr int32_t program_viewport_width = 640;
inline constexpr int32_t program_viewport_height = 480;
inline constexpr double program_aspect = 1.33333333333333;

// Viewport and projection: the program's vertical field of view at the
// given aspect, then the modelview matrix back to the identity. Called
// again by a window that changes size.
void set_view(int32_t width, int32_t height, double aspect);

// set_view, then depth test, lighting and material, set once.
void setup_scene(int32_t width, int32_t height, double aspect);

}  // namespace solidmorph
