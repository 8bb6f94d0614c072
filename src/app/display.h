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

// How opening the display went.
enum class DisplayOpen { opened, no_library, no_window };

// The one way the display is opened: starts the window library, opens the
// window the request asks for, makes its context current, asks for a swap
// interval of 1 and notes the GL version. On no_window the library has
// been terminated again; no_library also stands for a display the library
// must not be started on (see x_session.h). Tools and tests use it
// directly.
DisplayOpen open_display_window(WindowSettings& settings);

// Called when the display connection is lost for good (the X server ended
// or dropped us); it should not return, as no X call can succeed any more.
using DisplayLostAction = void (*)();

// Installs the actions for a lost display connection and for the window
// destroyed under the program (which runs inside the X library's error
// handler, so it may only note the fact); call it before
// open_display_window so that a loss at any later moment runs them.
void on_display_losses(DisplayLostAction connection_lost, DisplayLostAction window_gone);

// Processes pending window events (so the key state read next is current),
// then shows the back buffer.
void poll_events_then_swap();

// True while Escape is down as of the last event processing, or once after
// it was pressed and released since the previous call.
bool escape_pressed();

// True once the window system has asked the window to close.
bool display_close_requested();

// Closes the window, gives the display mode back and releases the library.
void terminate_display();

}  // namespace solidmorph
