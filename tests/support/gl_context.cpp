#include "support/gl_context.h"

#include <gtest/gtest.h>

#include "app/display.h"
#include "app/program_flow.h"

namespace solidmorph::test {

bool ensure_gl_context() {
    static const bool opened = [] {
        static WindowSettings settings{};
        fill_window_request(settings);
        return open_display_window(settings) == DisplayOpen::opened;
    }();
    EXPECT_TRUE(opened) << "no GL context: is DISPLAY set to a running X server?";
    return opened;
}

}  // namespace solidmorph::test
