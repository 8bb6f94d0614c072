#pragma once

#include "app/display.h"

namespace solidmorph {

// The program's window: 640 x 480, full screen, 8 bits per colour and for
// alpha, a 32-bit depth and an 8-bit stencil buffer. Tools and tests that
// draw as the program does ask for the same.
void fill_window_request(WindowSettings& settings);

// The program's whole life: start-up, frame loop, shutdown. Returns the
// process exit code, which is 0 on every path.
int run_program();

}  // namespace solidmorph
