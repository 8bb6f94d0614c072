#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/pty_process.h"

struct _XDisplay;

namespace solidmorph::test {

// The top-level window that the process pid has mapped on $DISPLAY, or 0
// when none appears within timeout_ms.
unsigned long wait_for_window_of(pid_t pid, int timeout_ms);

// The window of pid within timeout_ms, and then the solid lit in the centre
// of the screen within ten seconds more.
bool wait_for_picture(pid_t pid, int timeout_ms);

// Asks the window to close the way a window manager does, with a
// WM_DELETE_WINDOW client message.
bool send_close_request(unsigned long window);

// Asks the running window manager to close the window, the way a pager or
// a title bar's close button does (_NET_CLOSE_WINDOW to the root window).
bool send_wm_close_request(unsigned long window);

// Destroys window from a connection of its own, as another client may;
// false without a display.
bool destroy_window(unsigned long window);

// True once window has the keyboard focus, within timeout_ms.
bool wait_for_focus(unsigned long window, int timeout_ms);

// Presses and releases Escape on the display.
bool press_escape();

// Pixels of the screen's central quarter that are not black; -1 without a
// display.
int64_t lit_pixels_in_centre();

// A rectangle in root-window coordinates, y growing downwards.
struct ScreenBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenBox&) const = default;
};

// Pixels of box that are not black; -1 without a display or outside the
// screen. With a window, box is in that window's own contents: servers
// without a picture of the whole screen (Xwayland) still give one of it.
int64_t lit_pixels(const ScreenBox& box, unsigned long window = 0);

// The smallest box holding every pixel of box that is not black, in the
// same coordinates; empty when none is lit or the pixels cannot be read.
ScreenBox lit_bounds(const ScreenBox& box, unsigned long window = 0);

// The whole screen, and where window lies on it; empty boxes on failure.
ScreenBox screen_box();
ScreenBox window_box(unsigned long window);

// The size of the video mode the primary output shows now (not the screen,
// which keeps its size while a full-screen program switches modes); 0 x 0
// when it cannot be read.
struct ScreenMode {
    int width = 0;
    int height = 0;
    bool operator==(const ScreenMode&) const = default;
};
ScreenMode current_mode();

// Switches the primary output to its mode of the given size; false when it
// has none or the server refuses.
bool set_mode(ScreenMode mode);

// A private Xvfb started with the given options, for a test that needs a
// screen unlike the one it runs on, or one it may kill.
struct PrivateXvfb {
    PtyChild server;
    std::string display;  // ":N" once it accepts clients; empty if it failed

    explicit PrivateXvfb(const std::vector<std::string>& options);
    ~PrivateXvfb() { pty_close(server); }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;
};

// Points $DISPLAY, and so every helper here and every child started
// meanwhile, at another display until the end of the scope.
struct UsingDisplay {
    std::string previous;
    bool had_previous = false;

    explicit UsingDisplay(const std::string& display);
    ~UsingDisplay();
    UsingDisplay(const UsingDisplay&) = delete;
    UsingDisplay& operator=(const UsingDisplay&) = delete;
};

// The root's _NET_SUPPORTING_WM_CHECK as a window manager that crashed
// leaves it: naming a window that is gone, or (its id given to another
// window since) one that does not name itself back. The test's own
// connection stays open until the end of the scope, so the id is nobody
// else's meanwhile; the property is removed then, if still there.
struct StaleWmCheck {
    _XDisplay* display = nullptr;
    unsigned long named = 0;  // 0 if the property could not be set

    explicit StaleWmCheck(bool window_gone);
    ~StaleWmCheck();
    StaleWmCheck(const StaleWmCheck&) = delete;
    StaleWmCheck& operator=(const StaleWmCheck&) = delete;
};

// The window the root's _NET_SUPPORTING_WM_CHECK names, 0 when none.
unsigned long root_wm_check();

// A window's WM_CLASS as "instance/class"; empty when it has none.
std::string window_class(unsigned long window);

}  // namespace solidmorph::test
