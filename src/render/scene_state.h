#pragma once

namespace solidmorph {

// Viewport, projection, depth test, lighting and material, set once.
void setup_scene();

}  // namespace solidmorph
