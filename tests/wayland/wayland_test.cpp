// The program on a Wayland desktop, through Xwayland: each case starts its
// own Weston (support/with_weston). The program shows its picture, ends on
// Escape and on a stop signal, and ends with 0, silently, whenever the
// compositor goes away under it (logging out, a compositor restart, a
// crash), however its X server's teardown races with the program's frame.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <string>

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

// The X server's teardown and the program's frame race: the program may be
// told its window is gone before its connection closes. Enough rounds to
// see both orders many times.
TEST(Wayland, CompositorEndingUnderItEndsItWithZero) {
    for (int round = 0; round < 30; ++round) {
        const int how = round % 2 == 0 ? SIGTERM : SIGKILL;
        SCOPED_TRACE("round " + std::to_string(round) + ", compositor sent signal " +
                     std::to_string(how));
        PrivateWeston weston;
        ASSERT_FALSE(weston.display.empty()) << weston.session.output;
        RunningProgram run(true);
        ASSERT_TRUE(run.start_probed(false, 0, {{"DISPLAY", weston.display}}));
        ASSERT_TRUE(run.wait_for_frames(5 + uint64_t(round) % 7)) << run.child.output;
        ASSERT_EQ(kill(weston.compositor, how), 0);
        weston.compositor = -1;
        run.expect_clean_exit();
        EXPECT_EQ(run.child.output, "");
    }
}

}  // namespace
}  // namespace solidmorph
