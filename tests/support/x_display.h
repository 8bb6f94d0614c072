#pragma once

#include <sys/types.h>

#include <cstdint>

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

// Presses and releases Escape on the display.
bool press_escape();

// Pixels of the screen's central quarter that are not black; -1 without a
// display.
int64_t lit_pixels_in_centre();

}  // namespace solidmorph::test
