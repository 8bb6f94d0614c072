#pragma once

namespace solidmorph {

// The solid's start-up, shared by every program that shows or writes it:
// sizes the mesh, puts the scheduler at its start shape, generates that
// shape once and builds the triangle list over the grid. Needs no GL.
void create_surface();

// The rest of the start-up, once the solid (and a program's texture) is
// ready: the presets written and the first morph primed, sphere to preset 6.
void start_shapes();

}  // namespace solidmorph
