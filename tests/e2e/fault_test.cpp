// The real program meeting the faults of a long unattended run: a key held
// down at start, the window system or the session stopping it, the X server
// going away beneath it, and a console that can never deliver a key.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/frame_probe.h"
#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

extern char** environ;

namespace solidmorph {
namespace {

using test::probe_value;

constexpr int window_timeout_ms = 15000;
constexpr int exit_timeout_ms = 10000;

// One run of the program with the frame probe preloaded; the program ends
// with the test even when an assertion returns early.
struct ProbedRun {
    test::WorkFolder folder{true};
    test::ProbeFile probe;
    PtyChild child;

    explicit ProbedRun(bool hold_escape = false, std::vector<EnvChange> extra = {},
                       int slow_ms = 0) {
        probe = test::open_probe_file(folder.path.string());
        PtyOptions options;
        options.cwd = folder.path.string();
        options.env = test::probe_environment(probe, hold_escape, slow_ms);
        options.env.insert(options.env.end(), extra.begin(), extra.end());
        child = pty_spawn({SOLIDMORPH_BINARY}, options);
    }
    ~ProbedRun() {
        pty_close(child);
        test::close_probe_file(probe);
    }

    uint64_t swaps() const { return probe_value(probe.counts->swaps); }

    // True once the program has shown at least `frames` frames.
    bool wait_for_frames(uint64_t frames) {
        const double end = pty_now_ms() + window_timeout_ms;
        while (swaps() < frames && pty_now_ms() < end && !pty_wait_exit(child, 0).exited) {
            pty_read_for(child, 20);
        }
        return swaps() >= frames;
    }

    // Exit code 0, after deleting the texture and then letting go of the
    // window library exactly once: the normal shutdown.
    void expect_normal_shutdown() {
        const ExitStatus status = pty_wait_exit(child, exit_timeout_ms);
        EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(probe_value(probe.counts->terminates), 1u);
        EXPECT_EQ(probe_value(probe.counts->deleted_at_terminate), 1u) << "texture deleted first";
        EXPECT_EQ(child.output, "");
    }
};

TEST(Faults, EscapeHeldFromTheStartShowsExactlyOneFrame) {
    ProbedRun run(true);
    ASSERT_NE(run.probe.counts, nullptr);
    run.expect_normal_shutdown();
    EXPECT_EQ(run.swaps(), 1u);
}

// On a slow machine a quick tap, pressed and released within one frame,
// must still end the program: the key is read once per frame.
TEST(Faults, QuickTapOfEscapeBetweenFramesIsNotLost) {
    ProbedRun run(false, {}, 400);
    ASSERT_NE(run.probe.counts, nullptr);
    ASSERT_NE(test::wait_for_window_of(run.child.pid, window_timeout_ms), 0UL);
    ASSERT_TRUE(run.wait_for_frames(2));
    ASSERT_TRUE(test::press_escape());
    run.expect_normal_shutdown();
}

// Every way of being asked to stop ends through the same shutdown as
// Escape: texture deleted, then the window library let go, then status 0.
TEST(Faults, EveryStopRequestRunsTheNormalShutdown) {
    for (const int stop : {0, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(stop == 0 ? std::string("window system close") : std::to_string(stop));
        ProbedRun run;
        ASSERT_NE(run.probe.counts, nullptr);
        const unsigned long window = test::wait_for_window_of(run.child.pid, window_timeout_ms);
        ASSERT_NE(window, 0UL);
        ASSERT_TRUE(run.wait_for_frames(3));
        if (stop == 0) {
            ASSERT_TRUE(test::send_close_request(window));
        } else {
            ASSERT_EQ(kill(run.child.pid, stop), 0);
        }
        run.expect_normal_shutdown();
    }
}

// A private X server that this test alone may kill.
struct OwnServer {
    pid_t pid = -1;
    std::string display;

    OwnServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",       "-displayfd", fd.c_str(), "-screen",  "0",
                              "640x480x24", "-nolisten",  "tcp",      "-noreset", nullptr};
        if (posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // The server writes its display number once it accepts clients.
        char number[16] = {};
        size_t got = 0;
        while (pid > 0 && got < sizeof number - 1) {
            ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
            if (number[got - 1] == '\n') break;
        }
        close(fds[0]);
        if (got > 1 && number[got - 1] == '\n') {
            number[got - 1] = '\0';
            display = std::string(1, ':') + number;
        }
    }
    ~OwnServer() { stop(); }

    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

// Xlib's own answer to a lost connection is exit status 1; the program ends
// with 0 at once, and says nothing.
TEST(Faults, DisplayGoingAwayEndsTheProgramAtOnce) {
    OwnServer server;
    ASSERT_FALSE(server.display.empty()) << "Xvfb did not start";
    ProbedRun run(false, {{"DISPLAY", server.display}});
    ASSERT_NE(run.probe.counts, nullptr);
    ASSERT_TRUE(run.wait_for_frames(10)) << run.child.output;
    const double killed_at = pty_now_ms();
    server.stop();
    const ExitStatus status = pty_wait_exit(run.child, 5000);
    EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
    EXPECT_EQ(status.code, 0);
    EXPECT_LT(pty_now_ms() - killed_at, 3000.0);
    EXPECT_EQ(run.child.output, "");
}

// With no display the message stays up to a second for a key; an input that
// can never deliver one ends that wait rather than holding the exit.
TEST(Faults, NoDisplayWithDeadConsoleInputEndsPromptly) {
    for (const PtyStdin mode : {PtyStdin::dev_null, PtyStdin::closed}) {
        test::WorkFolder folder(true);
        PtyOptions options;
        options.stdin_mode = mode;
        options.cwd = folder.path.string();
        options.env = {{"DISPLAY", std::nullopt}};
        PtyChild child = pty_spawn({SOLIDMORPH_BINARY}, options);
        const double start = pty_now_ms();
        const ExitStatus status = pty_wait_exit(child, 5000);
        EXPECT_TRUE(status.exited);
        EXPECT_EQ(status.code, 0);
        EXPECT_LT(pty_now_ms() - start, 1500.0);
        EXPECT_EQ(child.output, "Failed to initialize GLFW!\r\n");
        pty_close(child);
    }
}

// The wait for a key after a failed texture load has no time limit, but a
// stop signal or the console hanging up still ends it, with status 0.
TEST(Faults, TextureFailureWaitEndsOnStopOrHangup) {
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(stop == 0 ? std::string("console closed") : std::to_string(stop));
        test::WorkFolder folder(false);
        PtyOptions options;
        options.cwd = folder.path.string();
        PtyChild child = pty_spawn({SOLIDMORPH_BINARY}, options);
        ASSERT_TRUE(pty_read_until(child, "\n", window_timeout_ms));
        pty_read_for(child, 200);
        if (stop == 0) {
            close(child.master_fd);
            child.master_fd = -1;
        } else {
            ASSERT_EQ(kill(child.pid, stop), 0);
        }
        const ExitStatus status = pty_wait_exit(child, 3000);
        EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
        EXPECT_EQ(status.code, 0);
        pty_close(child);
    }
}

}  // namespace
}  // namespace solidmorph
