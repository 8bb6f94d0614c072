// The real program, run as a user would: on the private display the test
// runner provides, from a folder with or without its texture, with keys typed
// on its console and requests from the window system.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;
using test::lit_pixels_in_centre;
using test::press_escape;
using test::send_close_request;
using test::wait_for_window_of;
using test::WorkFolder;

constexpr int window_timeout_ms = 15000;
constexpr int exit_timeout_ms = 10000;

PtyChild start_program(const WorkFolder& folder, PtyStdin stdin_mode = PtyStdin::terminal,
                       std::vector<EnvChange> env = {}) {
    PtyOptions options;
    options.stdin_mode = stdin_mode;
    options.cwd = folder.path.string();
    options.env = std::move(env);
    return pty_spawn({SOLIDMORPH_BINARY}, options);
}

// Ends the program when the test ends, also when an assertion returns early,
// so a failed test leaves no program running behind it.
struct CloseAtEnd {
    PtyChild& child;
    ~CloseAtEnd() { pty_close(child); }
};

void expect_clean_exit(PtyChild& child, int timeout_ms = exit_timeout_ms) {
    const ExitStatus status = pty_wait_exit(child, timeout_ms);
    EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
    EXPECT_EQ(status.code, 0);
}

// Waits for the window and for the solid to appear in its centre.
bool wait_for_picture(pid_t pid) {
    if (wait_for_window_of(pid, window_timeout_ms) == 0) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (lit_pixels_in_centre() > 1000) {
            return true;
        }
        pty_sleep_ms(100);
    }
    return false;
}

TEST(Program, ShowsTheSolidAndEndsOnEscape) {
    WorkFolder folder(true);
    PtyChild child = start_program(folder);
    const CloseAtEnd closer{child};
    ASSERT_TRUE(wait_for_picture(child.pid)) << child.output;
    ASSERT_TRUE(press_escape());
    expect_clean_exit(child);
    EXPECT_EQ(child.output, "") << "nothing is printed on a normal run";
}

TEST(Program, WindowSystemCloseEndsIt) {
    WorkFolder folder(true);
    PtyChild child = start_program(folder);
    const CloseAtEnd closer{child};
    const unsigned long window = wait_for_window_of(child.pid, window_timeout_ms);
    ASSERT_NE(window, 0UL);
    ASSERT_TRUE(send_close_request(window));
    expect_clean_exit(child);
}

TEST(Program, StopSignalsEndItThroughTheNormalShutdown) {
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        WorkFolder folder(true);
        PtyChild child = start_program(folder);
        const CloseAtEnd closer{child};
        ASSERT_NE(wait_for_window_of(child.pid, window_timeout_ms), 0UL);
        ASSERT_EQ(kill(child.pid, signal_number), 0);
        expect_clean_exit(child);
    }
}

TEST(Program, MissingTextureReportsAndWaitsForAKey) {
    WorkFolder folder(false);
    PtyChild child = start_program(folder);
    const CloseAtEnd closer{child};
    ASSERT_TRUE(pty_read_until(child, "\n", window_timeout_ms));
    EXPECT_EQ(child.output, "Failed to load image!!!\r\n");
    // The message stays until the user has read it: no time limit.
    pty_read_for(child, 1500);
    EXPECT_FALSE(pty_wait_exit(child, 0).exited);
    EXPECT_EQ(wait_for_window_of(child.pid, 0), 0UL) << "the window is closed while waiting";
    ASSERT_TRUE(pty_send(child, "x"));
    expect_clean_exit(child, 2000);
    EXPECT_EQ(child.output, "Failed to load image!!!\r\n");
}

TEST(Program, MissingTextureWithNoConsoleInputDoesNotHang) {
    for (const PtyStdin mode : {PtyStdin::dev_null, PtyStdin::closed}) {
        WorkFolder folder(false);
        PtyChild child = start_program(folder, mode);
        const CloseAtEnd closer{child};
        expect_clean_exit(child, window_timeout_ms);
        EXPECT_EQ(child.output, "Failed to load image!!!\r\n");
    }
}

TEST(Program, NoDisplayReportsAndPausesAboutOneSecond) {
    WorkFolder folder(true);
    const double start = pty_now_ms();
    PtyChild child = start_program(folder, PtyStdin::terminal, {{"DISPLAY", std::nullopt}});
    const CloseAtEnd closer{child};
    expect_clean_exit(child, 5000);
    const double elapsed = pty_now_ms() - start;
    EXPECT_EQ(child.output, "Failed to initialize GLFW!\r\n");
    EXPECT_GE(elapsed, 950.0);
    EXPECT_LT(elapsed, 3000.0);
}

TEST(Program, NoDisplayPauseEndsSoonerOnAKey) {
    WorkFolder folder(true);
    PtyChild child = start_program(folder, PtyStdin::terminal, {{"DISPLAY", std::nullopt}});
    const CloseAtEnd closer{child};
    ASSERT_TRUE(pty_read_until(child, "\n", 5000));
    const double start = pty_now_ms();
    ASSERT_TRUE(pty_send(child, " "));
    expect_clean_exit(child, 5000);
    EXPECT_LT(pty_now_ms() - start, 600.0);
}

}  // namespace
}  // namespace solidmorph
