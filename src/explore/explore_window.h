#pragma once

#include <cstdint>

// The explorer's window, its GL context and Dear ImGui's own GLFW and
// OpenGL 2 backends: the only file that talks to GLFW. It reports keys,
// sizes, the pointer and the close button, and opens what it is asked to;
// the explorer's flow decides what they mean.
namespace solidmorph {

// A key pressed or held: which (a letter as its capital, a digit, space or
// punctuation as its character on a US keyboard, the others as below), the
// modifiers held with it, and whether it is the key's own repeat.
struct KeyPress {
    int32_t key;
    int32_t mods;
    bool repeat;
};
constexpr int32_t key_escape = 256, key_enter = 257, key_tab = 258, key_backspace = 259,
                  key_right = 262, key_left = 263, key_down = 264, key_up = 265, key_f1 = 290,
                  key_f11 = 300, key_f12 = 301;
constexpr int32_t mod_shift = 1, mod_control = 2, mod_alt = 4, mod_super = 8;

// The window to open: its size in screen coordinates, its class and title,
// and the framebuffer's bits.
struct WindowRequest {
    int32_t width, height;
    const char* title;
    const char* class_name;
    int32_t red_bits, green_bits, blue_bits, alpha_bits, depth_bits, stencil_bits;
};

// Connects to the window system; false without a display. Everything below
// needs it, and close_explore_window ends it.
bool start_window_system();

// The primary monitor's size in screen coordinates; false when there is
// none to ask.
bool screen_size(int32_t& width, int32_t& height);

// Opens a resizable window as asked, makes its context current, and starts
// ImGui's backends on it. False when there is no window.
bool open_explore_window(const WindowRequest& request);

// The monitor's content scale (1 on a plain screen, 2 on a HiDPI one).
float window_content_scale();

// The framebuffer's size in pixels; 0 x 0 while minimised.
void framebuffer_size(int32_t& width, int32_t& height);

// Processes window events, first waiting up to `wait_seconds` for one (0:
// not at all), so that a still picture costs nothing.
void process_window_events(double wait_seconds);

// Presses and repeats since the last call, in the order they came; any
// beyond `capacity` are dropped.
int32_t take_key_presses(KeyPress* keys, int32_t capacity);

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

// Whether a swap waits for the display's refresh (as it does at the
// start); a clip made without a person need not keep its pace.
void sync_to_display(bool sync);

// Stops ImGui's backends, closes the window (if one was opened) and
// releases GLFW.
void close_explore_window();

}  // namespace solidmorph
