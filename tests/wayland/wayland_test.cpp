// The program on a Wayland desktop, through Xwayland: each case starts its
// own Weston (support/with_weston). The program shows its picture, ends on
// Escape and on a stop signal, and ends as documented whenever the
// compositor goes away under it or the saver (logging out, a compositor
// restart, a crash), whatever it was doing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <set>
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

// The X server's teardown races with whatever the client does: the compositor
// is ended after some frames, some milliseconds from the start, or by the
// frame probe as Mesa's GLX asks about MIT-SHM (where it read a reply that
// never came). A SIGSEGV sent to the client with the display alive is a real
// fault: it still ends the client by the signal (or the sanitizer's report).
TEST(Wayland, CompositorEndingUnderItEndsItWithZero) {
    // {frames, milliseconds (-1: ended by the probe), signal}
    std::vector<std::array<int, 3>> rounds{{0, -1, SIGTERM}, {0, -1, SIGKILL}, {3, 0, SIGSEGV}};
    for (int round = 0; round < 24; ++round) {
        const int how = round % 2 == 0 ? SIGTERM : SIGKILL;
        rounds.push_back({round < 12 ? 0 : 5 + round % 7, round < 12 ? 25 * round : 0, how});
    }
    const std::string lost = "solidmorph-saver: lost the display connection\n";
    const auto npos = std::string::npos;
    for (const bool saver : {false, true}) {
        for (const auto& [frames, after_ms, how] : rounds) {
            SCOPED_TRACE(std::string(saver ? "saver" : "program") + ", signal " +
                         std::to_string(how) + ", " + std::to_string(frames) + " frames, " +
                         std::to_string(after_ms) + " ms");
            PrivateWeston weston;
            ASSERT_FALSE(weston.display.empty()) << weston.session.output;
            RunningProgram run(true);
            if (saver) {
                run.command = {SOLIDMORPH_SAVER, "--window", "--texture", run.texture().string()};
            }
            const std::string end = std::to_string(weston.compositor) + " " + std::to_string(how);
            ASSERT_TRUE(run.start_probed(false, 0,
                                         {{"DISPLAY", weston.display},
                                          {"FRAME_PROBE_END_SERVER", after_ms < 0 ? end : ""}}));
            ASSERT_TRUE(run.wait_for_frames(uint64_t(frames))) << run.child.output;
            pty_sleep_ms(std::max(after_ms, 0));
            const pid_t target = how == SIGSEGV ? run.child.pid : weston.compositor;
            ASSERT_TRUE(after_ms < 0 || kill(target, how) == 0);
            if (how != SIGSEGV) weston.compositor = -1;
            const ExitStatus status = pty_wait_exit(run.child, test::exit_timeout_ms);
            if (how == SIGSEGV) {
                EXPECT_FALSE(status.exited && status.code == 0);
                EXPECT_TRUE(status.signal == SIGSEGV || run.child.output.find("SEGV") != npos);
                continue;
            }
            // Ended by the test, at any moment: also the GLFW message, a saver
            // that could not connect, or one whose window went first.
            std::set<std::pair<int, std::string>> endings{{saver, saver ? lost : ""}};
            if (after_ms >= 0) {
                endings.insert(
                    saver ? std::pair(
                                1, "solidmorph-saver: cannot open the display (is DISPLAY set?)\n")
                          : std::pair(0, "Failed to initialize GLFW!\r\n"));
                if (saver) endings.insert({0, ""});
            }
            EXPECT_TRUE(status.exited && endings.count({status.code, run.child.output}) == 1)
                << "signal " << status.signal << ", code " << status.code << ": "
                << run.child.output;
        }
    }
}

}  // namespace
}  // namespace solidmorph
