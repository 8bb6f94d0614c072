#pragma once

#include <cstdint>
#include <string>

// The saver's window and GL context, through Xlib and GLX: the only file of
// the saver that includes them. Like the program's GLFW glue it only
// translates: it draws where its caller says (options and hosts are the
// caller's to read), reports what happened and leaves the response
// (messages, exits) to its caller.
namespace solidmorph {

// Where to draw, settled by the caller.
struct XTarget {
    std::string display;     // empty: DISPLAY
    uint64_t window_id = 0;  // a window of another client to draw on; 0: none
    bool use_root = false;   // without a window id: the root window
    // Without either, a window of the glue's own: over the whole screen
    // without a frame, or a resizable one of this size.
    bool fullscreen = false;
    int32_t width = 0;
    int32_t height = 0;
};

// How opening went; every failure but opened has closed what was opened.
enum class XOpen {
    opened,
    no_display,    // no X server at the target's display
    no_glx,        // the server has no GLX
    no_window,     // the target's window id names no window
    no_gl_visual,  // the window's visual carries no GL context with a depth buffer
    no_context,    // GLX would not make a context for it
};

// What a round of event processing saw.
// Keys come as characters: a printable ASCII key as itself (unshifted),
// Escape as '\x1b'; other keys, and any beyond the first few, are dropped.
// The pointer is reported in the glue's own windows only: on the root or
// another client's window a hack takes no input.
struct XEvents {
    bool resized;      // the drawable's size changed (see XSurface)
    bool close_asked;  // the window manager's close
    int32_t key_count;
    char keys[8];  // pressed, in order
    int32_t left_presses, left_releases;
    int32_t drag_dx, drag_dy;  // pointer motion with the left button held, in pixels
};

// The drawable's size, as last reported by the server.
struct XSurface {
    int32_t width;
    int32_t height;
};

// Why the glue gave up on the drawable after it was opened.
enum class XLoss {
    window_gone,      // the drawable was destroyed under us
    connection_lost,  // the display connection is gone
    protocol_error,   // another X error; the drawable may be unusable
};

// Called from Xlib's error handlers. It should not return for
// connection_lost, since no X call can succeed any more.
using XLossAction = void (*)(XLoss loss);

// Connects, finds or makes the drawable for the target, checks its visual
// and makes a GL context current on it. The glue's own windows are mapped;
// a window of another client, or the root, is only drawn on. Once it is
// open, an X error that says the drawable has gone (platform/x_window_gone.h)
// is window_gone; any other is protocol_error.
XOpen open_x_surface(const XTarget& target, XLossAction on_loss, XSurface& surface);

// Display lists that draw the characters ' ' to '~' of a core X font, one
// list each from `base` + ' ' on, for text over the picture; false when the
// server has no font to give. `line_height` is the font's in pixels.
bool make_text_lists(uint32_t& base, int32_t& line_height);

// Handles every pending event without waiting.
void poll_x_events(XSurface& surface, XEvents& events);

// Shows the back buffer (a single-buffered visual: waits for the drawing).
void swap_x_surface();

// Releases the context, destroys the glue's own window and disconnects.
void close_x_surface();

}  // namespace solidmorph
