// The program and the saver on a Wayland desktop, through Xwayland: each
// case starts its own Weston (support/with_weston). The program shows its
// picture, ends on Escape and on a stop signal, and ends as documented
// whenever the compositor goes away under it (logging out, a compositor
// restart, a crash), whatever it was doing at that moment; a real fault
// still ends it by the signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

// A private Weston with Xwayland, ended with the case.
struct PrivateWeston {
    PtyChild session;
    std::string display;
    pid_t compositor = -1;

    PrivateWeston() {
        // The session prints what a client needs, then waits for a line.
        session = pty_spawn(
            {SOLIDMORPH_WITH_WESTON, "sh", "-c", "echo \"ready $WESTON_PID $DISPLAY\"; read -r _"});
        if (!pty_read_until(session, "\n", 15000)) return;
        std::istringstream line(session.output.substr(session.output.find("ready ")));
        std::string word;
        line >> word >> compositor >> display;
    }
    ~PrivateWeston() {
        if (compositor > 0) kill(compositor, SIGTERM);
        pty_send(session, "\n");
        pty_wait_exit(session, 5000);
        pty_close(session);
    }
    PrivateWeston(const PrivateWeston&) = delete;
    PrivateWeston& operator=(const PrivateWeston&) = delete;
};

// Under Xwayland the 640 x 480 mode is emulated for this one client: the
// window keeps the output's size and the picture its lower-left corner.
void expect_picture(const RunningProgram& run) {
    const unsigned long window = test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
    ASSERT_NE(window, 0UL) << run.child.output;
    const test::ScreenBox screen = test::screen_box();
    const auto lit = [&](int x, int y, int width, int height) {
        return test::lit_pixels({x, y, width, height}, window);
    };
    // The window opens at the mode's size and takes the output's a moment
    // later; frames drawn meanwhile may sit anywhere.
    const int top = screen.height - 480;
    const auto settled = [&] {
        return test::window_box(window) == screen && lit(0, top, 640, 480) >= 1000 &&
               lit(0, 0, screen.width, top) == 0 && lit(640, top, screen.width - 640, 480) == 0;
    };
    eventually(settled, test::window_timeout_ms, 100);
    EXPECT_EQ(test::window_box(window), screen);
    EXPECT_GE(lit(0, top, 640, 480), 1000);
    EXPECT_EQ(lit(0, 0, screen.width, top), 0) << "above the picture";
    EXPECT_EQ(lit(640, top, screen.width - 640, 480), 0) << "right of it";
}

TEST(Wayland, ShowsThePictureAndEndsOnEscapeOrAStopSignal) {
    for (const int stop : {0, SIGTERM}) {
        SCOPED_TRACE(stop == 0 ? "Escape" : test::stop_name(stop));
        const PrivateWeston weston;
        ASSERT_FALSE(weston.display.empty()) << weston.session.output;
        const test::UsingDisplay using_display(weston.display);
        RunningProgram run(true);
        run.start();
        expect_picture(run);
        ASSERT_TRUE(stop == 0 ? test::press_escape() : kill(run.child.pid, stop) == 0);
        run.expect_clean_exit();
        EXPECT_EQ(run.child.output, "");
    }
}

// Where a round ends the compositor. With a moment, the frame probe sends
// the signal from inside the client and lets it go on only once the server
// has hung up: "context" is Mesa's GLX asking the server about MIT-SHM as
// the first context is made, where it reads a reply that never comes.
// Without one, the test sends it after `frames` frames, or `after_ms` after
// the start when frames is 0, racing the client's own start-up.
struct Ending {
    std::string moment;
    int how;
    uint64_t frames;
    int after_ms;
};

std::vector<Ending> endings() {
    std::vector<Ending> rows;
    for (const int how : {SIGTERM, SIGKILL}) {
        for (const char* moment : {"context", "frame 1", "frame 4", "shutdown"}) {
            rows.push_back({moment, how, 0, 0});
        }
    }
    // The races: start-up (display, window library, context) in 40 ms
    // steps, then some rounds after frames.
    for (int round = 0; round < 8; ++round)
        rows.push_back({"", round % 2 ? SIGKILL : SIGTERM, 0, 40 * round});
    for (int round = 0; round < 4; ++round)
        rows.push_back({"", round % 2 ? SIGKILL : SIGTERM, 3 + uint64_t(round), 0});
    return rows;
}

// Runs one client under its own Weston and ends the compositor as the row
// says; "shutdown" asks the client to stop first (a stop signal, once
// frames are shown). The client has ended, or been given up on, on return.
ExitStatus end_compositor_under(RunningProgram& run, const Ending& ending) {
    PrivateWeston weston;
    if (weston.display.empty()) {
        ADD_FAILURE() << weston.session.output;
        return {};
    }
    std::vector<EnvChange> env{{"DISPLAY", weston.display}};
    if (!ending.moment.empty()) {
        env.push_back({"FRAME_PROBE_END_SERVER", std::to_string(weston.compositor) + " " +
                                                     std::to_string(ending.how) + " " +
                                                     ending.moment});
    }
    if (!run.start_probed(false, 0, env)) ADD_FAILURE() << "no probe file";
    if (ending.moment == "shutdown" || ending.frames > 0) {
        EXPECT_TRUE(run.wait_for_frames(ending.frames > 0 ? ending.frames : 2)) << run.child.output;
    }
    if (ending.moment == "shutdown") {
        kill(run.child.pid, SIGTERM);
    } else if (ending.moment.empty()) {
        pty_sleep_ms(ending.after_ms);
        kill(weston.compositor, ending.how);
    }
    weston.compositor = -1;  // ended by now, or by the probe
    return pty_wait_exit(run.child, test::exit_timeout_ms);
}

std::string describe(const Ending& ending) {
    const std::string how = " by signal " + std::to_string(ending.how);
    if (!ending.moment.empty()) return "compositor ended at " + ending.moment + how;
    if (ending.frames > 0)
        return "compositor ended after " + std::to_string(ending.frames) + " frames" + how;
    return "compositor ended " + std::to_string(ending.after_ms) + " ms after the start" + how;
}

// Logging out, a compositor restart or crash: however the X server's
// teardown races with start-up, a frame or the shutdown, the program ends
// with 0. Before the window library has started, that is its "Failed to
// initialize GLFW!" and a second's pause; otherwise silently.
TEST(Wayland, CompositorEndingUnderItEndsItWithZero) {
    for (const Ending& ending : endings()) {
        SCOPED_TRACE(describe(ending));
        RunningProgram run(true);
        const ExitStatus status = end_compositor_under(run, ending);
        EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
        EXPECT_EQ(status.code, 0);
        if (!ending.moment.empty() || ending.frames > 0 ||
            run.child.output != "Failed to initialize GLFW!\r\n") {
            EXPECT_EQ(run.child.output, "");
        }
    }
}

// The saver in its own window: its one line for a lost display and 1, as
// when the server ends under it anywhere else. Racing the start-up, the
// server may be gone before the saver connects ("cannot open the display"),
// or the compositor's window manager may take the window down first, which
// ends it quietly with 0 as any destroyed window does.
TEST(Wayland, CompositorEndingUnderTheSaverEndsItAsALostDisplay) {
    const std::string lost = "solidmorph-saver: lost the display connection\n";
    for (const Ending& ending : endings()) {
        SCOPED_TRACE(describe(ending));
        RunningProgram run(true);
        run.command = {SOLIDMORPH_SAVER, "--window", "--texture", run.texture().string()};
        const ExitStatus status = end_compositor_under(run, ending);
        EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
        if (!ending.moment.empty()) {
            EXPECT_EQ(status.code, 1);
            EXPECT_EQ(run.child.output, lost);
        } else if (status.code == 1) {
            EXPECT_TRUE(run.child.output == lost ||
                        run.child.output ==
                            "solidmorph-saver: cannot open the display (is DISPLAY set?)\n")
                << run.child.output;
        } else {
            EXPECT_EQ(status.code, 0);
            EXPECT_EQ(run.child.output, "");
        }
    }
}

// The other side: a fault while the display is alive is not taken for the
// desktop ending. It still ends the process by the signal (in sanitized
// builds, with the sanitizer's report).
TEST(Wayland, AFaultWithTheDisplayAliveStillDiesByTheSignal) {
    for (const bool saver : {false, true}) {
        SCOPED_TRACE(saver ? "saver" : "program");
        const PrivateWeston weston;
        ASSERT_FALSE(weston.display.empty()) << weston.session.output;
        RunningProgram run(true);
        if (saver)
            run.command = {SOLIDMORPH_SAVER, "--window", "--texture", run.texture().string()};
        ASSERT_TRUE(run.start_probed(
            false, 0, {{"DISPLAY", weston.display}, {"FRAME_PROBE_FAULT_FRAME", "3"}}));
        const ExitStatus status = pty_wait_exit(run.child, test::exit_timeout_ms);
        EXPECT_EQ(run.swaps(), 2u);
#if defined(__SANITIZE_ADDRESS__)
        EXPECT_NE(status.code, 0);
        EXPECT_NE(run.child.output.find("SEGV"), std::string::npos) << run.child.output;
#else
        EXPECT_TRUE(status.signaled) << "exit code " << status.code;
        EXPECT_EQ(status.signal, SIGSEGV);
#endif
    }
}

}  // namespace
}  // namespace solidmorph
