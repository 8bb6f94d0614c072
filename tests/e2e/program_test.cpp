// The real program, run as a user would: on the private display the test
// runner provides, from a folder with or without its texture, with keys typed
// on its console and requests from the window system.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

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

}  // namespace
}  // namespace solidmorph
