#pragma once

// One run of the real program from a fresh working folder, for the tests
// that drive it from outside. Header only: the program's path is known to
// the test executables, not to the support library.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/frame_probe.h"
#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

namespace solidmorph::test {

constexpr int window_timeout_ms = 15000;
constexpr int exit_timeout_ms = 10000;

// The program ends with the test, also when an assertion returns early, so a
// failed test leaves nothing running behind it.
struct RunningProgram {
    WorkFolder folder;
    ProbeFile probe;  // counts stay null unless started probed
    PtyChild child;
    // What is run: the program, or another of the project's programs.
    std::vector<std::string> command{SOLIDMORPH_BINARY};

    explicit RunningProgram(bool with_texture) : folder(with_texture) {}
    ~RunningProgram() {
        pty_close(child);
        close_probe_file(probe);
    }

    std::filesystem::path texture() const { return folder.path / "vein.tga"; }

    void start(PtyStdin input = PtyStdin::terminal, std::vector<EnvChange> env = {}) {
        PtyOptions options;
        options.stdin_mode = input;
        options.cwd = folder.path.string();
        options.env = std::move(env);
        child = pty_spawn(command, options);
    }

    // Started with the frame probe preloaded, counting into the folder;
    // false when the counts file could not be made.
    bool start_probed(bool hold_escape = false, int slow_ms = 0,
                      const std::vector<EnvChange>& extra = {}) {
        probe = open_probe_file(folder.path.string());
        std::vector<EnvChange> env = probe_environment(probe, hold_escape, slow_ms);
        env.insert(env.end(), extra.begin(), extra.end());
        start(PtyStdin::terminal, std::move(env));
        return probe.counts != nullptr;
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

    void expect_clean_exit(int timeout_ms = exit_timeout_ms) {
        const ExitStatus status = pty_wait_exit(child, timeout_ms);
        EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
        EXPECT_EQ(status.code, 0);
    }

    // Exit code 0, after deleting the texture and then letting go of the
    // window library exactly once, and silent: the normal shutdown.
    void expect_normal_shutdown() {
        expect_clean_exit();
        EXPECT_EQ(probe_value(probe.counts->terminates), 1u);
        EXPECT_EQ(probe_value(probe.counts->deleted_at_terminate), 1u) << "texture deleted first";
        EXPECT_EQ(child.output, "");
    }

    // The solid on screen, then Escape ends the run cleanly and silently.
    void expect_picture_then_escape(int exit_ms = exit_timeout_ms) {
        ASSERT_TRUE(wait_for_picture(child.pid, window_timeout_ms)) << child.output;
        ASSERT_TRUE(press_escape());
        expect_clean_exit(exit_ms);
        EXPECT_EQ(child.output, "") << "nothing is printed on a normal run";
    }
};

// Asks the program to stop: 0 as the window system's close, else a signal.
inline bool request_stop(const RunningProgram& run, int stop, unsigned long window) {
    return stop == 0 ? send_close_request(window) : kill(run.child.pid, stop) == 0;
}

inline std::string stop_name(int stop) {
    return stop == 0 ? "window system close" : "signal " + std::to_string(stop);
}

}  // namespace solidmorph::test
