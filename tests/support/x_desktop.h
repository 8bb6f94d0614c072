#pragma once

// What desktops leave on the display and read from windows: a crashed
// window manager's check on the root, a window's class.

#include <cstdint>
#include <string>

struct _XDisplay;

namespace solidmorph::test {

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

// Pixels that are not black in the rectangle x, y, width, height of the
// window's own contents; -1 when they cannot be read. For servers without
// a picture of the whole screen, as Xwayland is.
int64_t lit_pixels_of_window(unsigned long window, int x, int y, int width, int height);

}  // namespace solidmorph::test
