// The real program meeting the faults of a long unattended run: a key held
// down at start, the window system or the session stopping it, the X server
// going away beneath it, and a console that can never deliver a key.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

TEST(Faults, EscapeHeldFromTheStartShowsExactlyOneFrame) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(true));
    run.expect_normal_shutdown();
    EXPECT_EQ(run.swaps(), 1u);
}

// On a slow machine a quick tap, pressed and released within one frame,
// must still end the program: the key is read once per frame.
TEST(Faults, QuickTapOfEscapeBetweenFramesIsNotLost) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 400));
    ASSERT_NE(test::wait_for_window_of(run.child.pid, test::window_timeout_ms), 0UL);
    ASSERT_TRUE(run.wait_for_frames(2));
    ASSERT_TRUE(test::press_escape());
    run.expect_normal_shutdown();
}

// Every way of being asked to stop ends through the same shutdown as
// Escape: texture deleted, then the window library let go, then status 0.
TEST(Faults, EveryStopRequestRunsTheNormalShutdown) {
    for (const int stop : {0, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(test::stop_name(stop));
        RunningProgram run(true);
        ASSERT_TRUE(run.start_probed());
        const unsigned long window =
            test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
        ASSERT_NE(window, 0UL);
        ASSERT_TRUE(run.wait_for_frames(3));
        ASSERT_TRUE(test::request_stop(run, stop, window));
        run.expect_normal_shutdown();
    }
}

// Xlib's own answer to a lost connection is exit status 1; the program ends
// with 0 at once, and says nothing.
TEST(Faults, DisplayGoingAwayEndsTheProgramAtOnce) {
    // A private X server that this test alone may kill.
    test::PrivateXvfb server({"-screen", "0", "640x480x24"});
    ASSERT_FALSE(server.display.empty()) << "Xvfb did not start: " << server.server.output;
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 0, {{"DISPLAY", server.display}}));
    ASSERT_TRUE(run.wait_for_frames(10)) << run.child.output;
    const double killed_at = pty_now_ms();
    pty_close(server.server);
    run.expect_clean_exit(5000);
    EXPECT_LT(pty_now_ms() - killed_at, 3000.0);
    EXPECT_EQ(run.child.output, "");
}

// A console input that can never deliver a key ends the wait after either
// message rather than holding the exit.
TEST(Faults, DeadConsoleInputNeverHoldsTheExit) {
    for (const PtyStdin input : {PtyStdin::dev_null, PtyStdin::closed}) {
        for (const bool headless : {true, false}) {
            SCOPED_TRACE(std::string(headless ? "no display" : "no texture") +
                         (input == PtyStdin::closed ? ", stdin closed" : ", stdin /dev/null"));
            RunningProgram run(headless);
            run.start(input, headless ? std::vector<EnvChange>{{"DISPLAY", std::nullopt}}
                                      : std::vector<EnvChange>{});
            const double start = pty_now_ms();
            run.expect_clean_exit(headless ? 5000 : test::window_timeout_ms);
            // Without a display the pause would otherwise last a second.
            if (headless) {
                EXPECT_LT(pty_now_ms() - start, 1500.0);
            }
            EXPECT_EQ(run.child.output,
                      headless ? "Failed to initialize GLFW!\r\n" : "Failed to load image!!!\r\n");
        }
    }
}

// The wait for a key after a failed texture load has no time limit, but a
// stop signal or the console hanging up still ends it, with status 0.
TEST(Faults, TextureFailureWaitEndsOnStopOrHangup) {
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(stop == 0 ? "console closed" : test::stop_name(stop));
        RunningProgram run(false);
        run.start();
        ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
        pty_read_for(run.child, 200);
        if (stop == 0) {
            close(run.child.master_fd);
            run.child.master_fd = -1;
        } else {
            ASSERT_EQ(kill(run.child.pid, stop), 0);
        }
        run.expect_clean_exit(3000);
    }
}

}  // namespace
}  // namespace solidmorph
