#pragma once

// The program's frame and its texture, shared by every program that draws
// the solid (the program, the saver) and by the picture and benchmark tools,
// so that they draw and measure exactly what the program draws. Needs a
// current GL context, and no window library.
namespace solidmorph {

// Turns on texturing, creates the one texture and binds it; name receives
// its GL name.
void create_texture_object(unsigned int& name);

// create_texture_object, then loads the file into the texture; false when
// the file cannot be loaded. name receives the GL name either way.
bool create_texture(const char* file_name, unsigned int& name);

// The frame's own first step, for a program that takes only some of the
// others (holds the morph, or the clock): clears colour and depth and loads
// the identity modelview.
void begin_frame();

// The steps of one frame, in the order run_frame takes them.
enum class FrameStep {
    cleared,            // buffers cleared, identity modelview
    morph_advanced,     // current_shape moved one step, or held
    clock_read,         // frame_clock set from the clock reading
    surface_generated,  // mesh rewritten from current_shape, scroll advanced
    drawn,              // render_frame: spun and drawn, frame_count counted
};
using FrameStepHook = void (*)(FrameStep done);

// One frame of the program, everything before it is shown: begin_frame,
// advance_morph, set_frame_clock, generate_grid_surface(current_shape),
// render_frame. clock_reading is the clock in seconds (the program passes
// clock_seconds(); the picture tool passes 0 for a still texture).
// after_step, when given, is called after each step; the benchmark times
// the steps with it, and tests watch what each hands on.
void run_frame(double clock_reading, FrameStepHook after_step = nullptr);

}  // namespace solidmorph
