#pragma once

namespace solidmorph {

// Start-up steps that the picture and benchmark tools share with the
// program, so they draw exactly what it draws.

// Sizes the mesh, generates the start shape once and builds the triangle
// list over the grid.
void create_surface();

// Generates the surface from current_shape into the mesh.
void generate_current_surface();

// Turns on texturing, creates and binds the one texture and loads the file
// into it; false when the file cannot be loaded. texture_name receives the
// GL name either way.
bool create_texture(const char* file_name, unsigned int& texture_name);

// The program's whole life: start-up, frame loop, shutdown. Returns the
// process exit code, which is 0 on every path.
int run_program();

}  // namespace solidmorph
