#pragma once

namespace solidmorph {

// The program's start-up steps and its frame, shared with the picture and
// benchmark tools so that they draw and measure exactly what it draws.

// Sizes the mesh, puts the scheduler at its start shape, generates that
// shape once and builds the triangle list over the grid.
void create_surface();

// Turns on texturing, creates and binds the one texture and loads the file
// into it; false when the file cannot be loaded. texture_name receives the
// GL name either way.
bool create_texture(const char* file_name, unsigned int& texture_name);

// The steps of one frame, in the order run_frame takes them.
enum class FrameStep {
    cleared,            // buffers cleared, identity modelview
    morph_advanced,     // current_shape moved one step, or held
    clock_read,         // frame_clock set from the clock reading
    surface_generated,  // mesh rewritten from current_shape, scroll advanced
    drawn,              // render_frame: spun and drawn, frame_count counted
};
using FrameStepHook = void (*)(FrameStep done);

// One frame of the program, everything before it is shown: the steps above
// in order. clock_reading is the clock in seconds (the program passes
// clock_seconds(); the picture tool passes 0 for a still texture).
// after_step, when given, is called after each step; the benchmark times
// the steps with it, and tests watch what each hands on.
void run_frame(double clock_reading, FrameStepHook after_step = nullptr);

// The program's whole life: start-up, frame loop, shutdown. Returns the
// process exit code, which is 0 on every path.
int run_program();

}  // namespace solidmorph
