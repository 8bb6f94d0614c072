// The real program, run as a user would: on the private display the test
// runner provides, from a folder with or without its texture, with keys typed
// on its console and requests from the window system.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

constexpr const char* no_texture_line = "Failed to load image!!!\r\n";

TEST(Program, ShowsTheSolidAndEndsOnEscape) {
    RunningProgram run(true);
    run.start();
    run.expect_picture_then_escape();
}

// Stopped as soon as its window is up, before it may have drawn at all.
TEST(Program, EveryStopRequestEndsIt) {
    for (const int stop : {0, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(test::stop_name(stop));
        RunningProgram run(true);
        run.start();
        const unsigned long window =
            test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
        ASSERT_NE(window, 0UL);
        ASSERT_TRUE(test::request_stop(run, stop, window));
        run.expect_clean_exit();
    }
}

TEST(Program, MissingTextureReportsAndWaitsForAKey) {
    RunningProgram run(false);
    run.start();
    ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
    EXPECT_EQ(run.child.output, no_texture_line);
    // The message stays until the user has read it: no time limit.
    const ExitStatus early = pty_wait_exit(run.child, 1500);
    EXPECT_FALSE(early.exited || early.signaled) << "ended without a key";
    EXPECT_EQ(test::wait_for_window_of(run.child.pid, 0), 0UL) << "the window is closed";
    ASSERT_TRUE(pty_send(run.child, "x"));
    run.expect_clean_exit(2000);
    EXPECT_EQ(run.child.output, no_texture_line);
}

// Without a display the message stays up about a second, or until a key.
TEST(Program, NoDisplayReportsAndPausesAboutOneSecondOrUntilAKey) {
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

// On a larger screen the window covers it all, but the picture keeps to the
// lower-left 640 x 480 it was made for. On a server without GLX no window
// can be had: the program ends at once, silently, with 0.
TEST(Program, OtherScreens) {
    for (const bool glx : {true, false}) {
        SCOPED_TRACE(glx ? "1024 x 768" : "no GLX");
        std::vector<std::string> options{"-screen", "0", "1024x768x24"};
        if (!glx) options.insert(options.end(), {"-extension", "GLX"});
        const test::PrivateXvfb server(options);
        ASSERT_FALSE(server.display.empty()) << "Xvfb did not start: " << server.server.output;
        const test::UsingDisplay using_display(server.display);
        RunningProgram run(true);
        const double start = pty_now_ms();
        run.start();
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
        EXPECT_EQ(test::window_box(window), (test::ScreenBox{0, 0, 1024, 768}));
        const test::ScreenBox picture{0, 768 - 480, 640, 480};
        const double end = pty_now_ms() + test::window_timeout_ms;
        while (test::lit_pixels(picture) < 1000 && pty_now_ms() < end) pty_sleep_ms(100);
        EXPECT_GE(test::lit_pixels(picture), 1000);
        EXPECT_EQ(test::lit_pixels({0, 0, 1024, 768 - 480}), 0) << "above the picture";
        EXPECT_EQ(test::lit_pixels({640, 768 - 480, 1024 - 640, 480}), 0) << "right of it";
        ASSERT_TRUE(test::press_escape());
        run.expect_clean_exit();
    }
}

}  // namespace
}  // namespace solidmorph
