// The real program on a real X server with a window manager, as on a
// desktop (the test runner starts Xorg with the dummy video driver and
// openbox): it switches the screen to its 640 x 480 mode while it runs, and
// the desktop gets its own mode back on every way the program ends.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;
using test::ScreenMode;

constexpr ScreenMode program_mode{640, 480};
constexpr int escape = -1;  // a stop row: Escape typed to the focused window

std::string describe(ScreenMode mode) {
    return std::to_string(mode.width) + " x " + std::to_string(mode.height);
}

bool wait_for_mode(ScreenMode wanted, int timeout_ms) {
    return eventually([wanted] { return test::current_mode() == wanted; }, timeout_ms);
}

// The desktop's mode is back; if not, the case fails, and the mode is put
// back by hand so that the next case starts from the desktop again.
void expect_desktop_mode(ScreenMode desktop) {
    const ScreenMode now = test::current_mode();
    if (now == desktop) return;
    ADD_FAILURE() << "the screen is left at " << describe(now) << ", not the desktop's "
                  << describe(desktop);
    EXPECT_TRUE(test::set_mode(desktop)) << "could not put the desktop's mode back";
}

// Checks the mode once more when the case ends early. Declared before the
// program's run, so it runs after the run has killed a program that was
// still going and may have left its mode behind.
struct DesktopModeCheck {
    ScreenMode desktop = test::current_mode();
    ~DesktopModeCheck() { expect_desktop_mode(desktop); }
};

// The desktop's own mode, which must differ from the program's for the
// switch back to be seen at all.
ScreenMode desktop_mode() {
    const ScreenMode desktop = test::current_mode();
    EXPECT_GT(desktop.width, program_mode.width) << "desktop at " << describe(desktop);
    return desktop;
}

std::string stop_name(int stop) {
    return stop == escape ? "Escape" : stop == 0 ? "window manager's close" : test::stop_name(stop);
}

TEST(RealServer, EveryWayOfEndingGivesTheDesktopModeBack) {
    const ScreenMode desktop = desktop_mode();
    for (const int stop : {escape, 0, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(stop_name(stop));
        const DesktopModeCheck check{desktop};
        RunningProgram run(true);
        ASSERT_TRUE(run.start_probed());
        const unsigned long window =
            test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
        ASSERT_NE(window, 0UL) << run.child.output;
        EXPECT_TRUE(wait_for_mode(program_mode, 5000))
            << "running at " << describe(test::current_mode());
        // Drawing: the solid is lit inside the program's mode, once frames
        // have been shown since the mode came in.
        ASSERT_TRUE(run.wait_for_frames(run.swaps() + 3)) << run.child.output;
        eventually(
            [] {
                return test::lit_pixels({0, 0, 640, 480}) >= 1000;
            },
            test::window_timeout_ms, 100);
        const test::ScreenBox box = test::window_box(window);
        EXPECT_GE(test::lit_pixels({0, 0, 640, 480}), 1000)
            << "window at " << box.x << ", " << box.y << ", " << box.width << " x " << box.height
            << " in mode " << describe(test::current_mode());
        if (stop == escape) {
            // A real key press to the window the manager focused, the way a
            // user's keyboard reaches it.
            ASSERT_TRUE(test::wait_for_focus(window, 5000)) << "the window never got the focus";
            ASSERT_TRUE(test::press_escape());
        } else if (stop == 0) {
            ASSERT_TRUE(test::send_wm_close_request(window));
        } else {
            ASSERT_EQ(kill(run.child.pid, stop), 0);
        }
        run.expect_clean_exit();
        EXPECT_EQ(run.child.output, "");
        expect_desktop_mode(desktop);
    }
}

// The window was open, in its mode, before the texture was tried; the user
// reading the message sees the desktop again, not a blank 640 x 480 screen.
TEST(RealServer, TextureFailureGivesTheModeBackWhileWaitingForAKey) {
    const DesktopModeCheck check{desktop_mode()};
    RunningProgram run(false);
    run.start();
    ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
    EXPECT_EQ(run.child.output, "Failed to load image!!!\r\n");
    const ExitStatus waiting = pty_wait_exit(run.child, 300);
    ASSERT_FALSE(waiting.exited || waiting.signaled) << "ended without a key";
    EXPECT_EQ(test::current_mode(), check.desktop)
        << "waiting at " << describe(test::current_mode());
    ASSERT_TRUE(pty_send(run.child, "x"));
    run.expect_clean_exit(2000);
}

// A stop that arrives while a large texture is still loading on a slow
// machine, longer than a stop's watchdog allows: the load is let finish, so
// that the normal shutdown still gives the desktop its mode back.
TEST(RealServer, StopDuringASlowTextureLoadGivesTheModeBack) {
    const DesktopModeCheck check{desktop_mode()};
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 0, {{"FRAME_PROBE_SLOW_TEXTURE_MS", "3000"}}));
    ASSERT_TRUE(wait_for_mode(program_mode, test::window_timeout_ms)) << run.child.output;
    ASSERT_EQ(run.swaps(), 0u) << "still loading";
    ASSERT_EQ(kill(run.child.pid, SIGTERM), 0);
    run.expect_clean_exit();
    EXPECT_EQ(run.child.output, "");
    EXPECT_EQ(test::current_mode(), check.desktop) << "left at " << describe(test::current_mode());
}

}  // namespace
}  // namespace solidmorph
