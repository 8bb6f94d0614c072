// The display the program meets: none at all (its message and short
// pause), one that goes away beneath it or takes its window away, a larger
// screen (the picture keeps to its lower-left 640 x 480), one without GLX
// (a silent, quick end), and one a crashed window manager left its mark on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

// Without a display the message stays up about a second, or until a key.
TEST(Display, NoDisplayReportsAndPausesAboutOneSecondOrUntilAKey) {
    for (const bool key : {false, true}) {
        SCOPED_TRACE(key ? "key typed" : "no key");
        RunningProgram run(true);
        run.start(PtyStdin::terminal, {{"DISPLAY", std::nullopt}});
        double start = pty_now_ms();
        if (key) {
            ASSERT_TRUE(pty_read_until(run.child, "\n", 5000));
            start = pty_now_ms();
            ASSERT_TRUE(pty_send(run.child, " "));
        }
        run.expect_clean_exit(5000);
        const double elapsed = pty_now_ms() - start;
        if (key) {
            EXPECT_LT(elapsed, 600.0);
        } else {
            EXPECT_EQ(run.child.output, "Failed to initialize GLFW!\r\n");
            EXPECT_GE(elapsed, 950.0);
            EXPECT_LT(elapsed, 3000.0);
        }
    }
}

// Xlib's own answer to a lost connection, or to an error about a window
// another client destroyed, is exit status 1; the program ends with 0 at
// once, and says nothing. Without its window, but with the server still
// there, it ends through the normal shutdown.
TEST(Display, GoingAwayEndsTheProgramAtOnce) {
    for (const bool server_ends : {true, false}) {
        SCOPED_TRACE(server_ends ? "the server ends" : "another client destroys its window");
        // A private X server that this test alone may kill.
        test::PrivateXvfb server({"-screen", "0", "640x480x24"});
        ASSERT_FALSE(server.display.empty()) << "Xvfb did not start: " << server.server.output;
        RunningProgram run(true);
        ASSERT_TRUE(run.start_probed(false, 0, {{"DISPLAY", server.display}}));
        ASSERT_TRUE(run.wait_for_frames(10)) << run.child.output;
        const double asked = pty_now_ms();
        if (server_ends) {
            pty_close(server.server);
            run.expect_clean_exit(5000);
            EXPECT_EQ(run.child.output, "");
        } else {
            const test::UsingDisplay using_display(server.display);
            ASSERT_TRUE(test::destroy_window(test::wait_for_window_of(run.child.pid, 1000)));
            run.expect_normal_shutdown();
        }
        EXPECT_LT(pty_now_ms() - asked, 3000.0);
    }
}

// On a larger screen the window covers it all, but the picture keeps to the
// lower-left 640 x 480 it was made for. On a server without GLX no window
// can be had: the program ends at once, silently, with 0.
TEST(Display, OtherScreens) {
    for (const bool glx : {true, false}) {
        SCOPED_TRACE(glx ? "1024 x 768" : "no GLX");
        std::vector<std::string> options{"-screen", "0", "1024x768x24"};
        if (!glx) options.insert(options.end(), {"-extension", "GLX"});
        const test::PrivateXvfb server(options);
        ASSERT_FALSE(server.display.empty()) << "Xvfb did not start: " << server.server.output;
        const test::UsingDisplay using_display(server.display);
        RunningProgram run(true);
        const double start = pty_now_ms();
        ASSERT_TRUE(run.start_probed());
        if (!glx) {
            run.expect_clean_exit(5000);
            // Well short of the one-second pause after a failed start.
            EXPECT_LT(pty_now_ms() - start, 900.0);
            EXPECT_EQ(run.child.output, "");
            continue;
        }
        const unsigned long window =
            test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
        ASSERT_NE(window, 0UL) << run.child.output;
        // The window is mapped at its requested size and only then made to
        // cover the screen: its size is read once frames have been shown.
        ASSERT_TRUE(run.wait_for_frames(3)) << run.child.output;
        EXPECT_EQ(test::window_box(window), (test::ScreenBox{0, 0, 1024, 768}));
        const test::ScreenBox picture{0, 768 - 480, 640, 480};
        eventually([&] { return test::lit_pixels(picture) >= 1000; }, test::window_timeout_ms, 100);
        EXPECT_GE(test::lit_pixels(picture), 1000);
        EXPECT_EQ(test::lit_pixels({0, 0, 1024, 768 - 480}), 0) << "above the picture";
        EXPECT_EQ(test::lit_pixels({640, 768 - 480, 1024 - 640, 480}), 0) << "right of it";
        ASSERT_TRUE(test::press_escape());
        run.expect_clean_exit();
    }
}

// A window manager that crashed leaves the root's check naming its window,
// which the window library on this system cannot cope with (it aborted at
// every start). A check naming a window that is gone is cleared and the
// program runs; one naming a window that exists but does not name itself
// back is left alone, and the program ends as when the window library
// cannot start, with 0.
TEST(Display, ACrashedWindowManagersCheckNeverAbortsIt) {
    for (const bool window_gone : {true, false}) {
        SCOPED_TRACE(window_gone ? "names a window that is gone" : "names another window");
        const test::StaleWmCheck stale(window_gone);
        ASSERT_NE(stale.named, 0UL);
        RunningProgram run(true);
        run.start();
        if (window_gone) {
            run.expect_picture_then_escape();
            EXPECT_EQ(test::root_wm_check(), 0UL) << "the stale check is cleared";
        } else {
            run.expect_clean_exit(5000);
            EXPECT_EQ(run.child.output, "Failed to initialize GLFW!\r\n");
            EXPECT_EQ(test::root_wm_check(), stale.named) << "the check is left as it was";
        }
    }
}

}  // namespace
}  // namespace solidmorph
