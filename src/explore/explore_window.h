#pragma once

#include <cstdint>

// The explorer's window, its GL context and Dear ImGui's own GLFW and
// OpenGL 2 backends: the only file that talks to GLFW. It reports keys,
// sizes and the close button; the explorer's flow decides what they mean.
namespace solidmorph {

// The keys the explorer acts on.
enum class ExploreKey { space, left, right, r, w, t, f, f11, f12, h, s_with_ctrl, escape };

// Opens a resizable window of the given size with the program's bit depths,
// makes its context current, and starts ImGui's backends on it. False when
// there is no display or no window.
bool open_explore_window(int32_t width, int32_t height);

// The monitor's content scale (1 on a plain screen, 2 on a HiDPI one).
float window_content_scale();

// The framebuffer's size in pixels; 0 x 0 while minimised.
void framebuffer_size(int32_t& width, int32_t& height);

// Processes window events, first waiting up to `wait_seconds` for one (0:
// not at all), so that a still picture costs nothing.
void process_window_events(double wait_seconds);

// Presses since the last call, in the order they came (a key held down
// repeats, as a typist expects for the arrows).
int32_t take_key_presses(ExploreKey* keys, int32_t capacity);

// The pointer's motion, in window coordinates, while the left button was
// held, since the last call; `press_at` is where that press began. Summed
// from every event, so a quick flick within one frame still counts. False
// when the pointer did not move with the button held.
bool take_left_drag(float& press_at, float& dx, float& dy);

bool window_close_requested();

// Full screen on the window's monitor at the monitor's own resolution (no
// mode switch), or back to the window as it was.
void set_full_screen(bool full);
bool full_screen();

// The window's size in screen coordinates when it is not full screen (in
// full screen, the size it comes back to), and a new such size.
void window_size(int32_t& width, int32_t& height);
void set_window_size(int32_t width, int32_t height);

// ImGui's frame around the panel: begin before building it, end to draw it
// over what is on the back buffer; then show the back buffer.
void begin_ui_frame();
void end_ui_frame();
void swap_window();

// Stops ImGui's backends, closes the window and releases GLFW.
void close_explore_window();

}  // namespace solidmorph
