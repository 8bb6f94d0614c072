// Escape, the one key the program knows: the solid on screen until it is
// pressed, exactly one frame when it is held from the start, and a quick tap
// between two slow frames is not lost.
#include <gtest/gtest.h>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

TEST(Escape, ShowsTheSolidAndEndsOnEscape) {
    RunningProgram run(true);
    run.start();
    run.expect_picture_then_escape();
}

TEST(Escape, HeldFromTheStartShowsExactlyOneFrame) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(true));
    run.expect_normal_shutdown();
    EXPECT_EQ(run.swaps(), 1u);
}

// On a slow machine a quick tap, pressed and released within one frame,
// must still end the program: the key is read once per frame.
TEST(Escape, QuickTapBetweenFramesIsNotLost) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 400));
    ASSERT_NE(test::wait_for_window_of(run.child.pid, test::window_timeout_ms), 0UL);
    ASSERT_TRUE(run.wait_for_frames(2));
    ASSERT_TRUE(test::press_escape());
    run.expect_normal_shutdown();
}

}  // namespace
}  // namespace solidmorph
