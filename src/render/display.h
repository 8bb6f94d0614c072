#pragma once

#include <cstdint>

// The one window and its GL context. This is the only module that talks to
// the window library; the rest of the program sees these free functions.
namespace solidmorph {

inline constexpr int32_t GLFW_WINDOW = 0x00010001;
inline constexpr int32_t GLFW_FULLSCREEN = 0x00010002;

struct WindowSettings {
    int32_t width;
    int32_t height;
    int32_t red_bits;
    int32_t green_bits;
    int32_t blue_bits;
    int32_t alpha_bits;
    int32_t depth_bits;
    int32_t stencil_bits;
    int32_t mode;
    const unsigned char* gl_version;
};

// Fills the request, opens the window and makes its context current; on
// failure it ends the process with exit code 0 (with a message and a short
// console pause when the window library cannot start at all).
void open_display(WindowSettings& settings);

// The same request without ending the process: false when the library cannot
// start or the window cannot be opened (the library is then terminated).
bool try_open_display(WindowSettings& settings);

// Processes pending window events, then shows the back buffer.
void swap_buffers();

// True while Escape is down as of the last event processing, or once after
// it was pressed and released since the previous call.
bool escape_pressed();

// True once the window system has asked the window to close.
bool display_close_requested();

// Closes the window, gives the display mode back and releases the library.
void terminate_display();

}  // namespace solidmorph
