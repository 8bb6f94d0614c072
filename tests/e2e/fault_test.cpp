// The real program meeting the faults of a long unattended run and of the
// places it is started from: a key held down at start, the window system or
// the session stopping it (also during start-up, also while stuck inside the
// X library), the X server going away beneath it, a console that can never
// deliver a key, an output nobody reads, and too little memory.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

// The settings a fresh test terminal has before any program touches it.
termios fresh_terminal_settings() {
    PtyChild reference = pty_run([] { return 0; });
    const PtyCloser closer{reference};
    pty_wait_exit(reference, 5000);
    termios settings{};
    tcgetattr(reference.master_fd, &settings);
    return settings;
}

bool same_terminal_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// True once pid catches SIGTERM, that is once its stop handlers are in.
bool wait_for_stop_handlers(pid_t pid, int timeout_ms) {
    const double end = pty_now_ms() + timeout_ms;
    const std::string status_path = "/proc/" + std::to_string(pid) + "/status";
    while (pty_now_ms() < end) {
        std::ifstream status(status_path);
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) != 0) {
                return true;
            }
        }
        pty_sleep_ms(1);
    }
    return false;
}

// Listens on loopback like an X server on some free display number, then
// accepts nobody's handshake: a client's connection sits waiting for the
// server's reply for ever. Returns the display number, -1 if none was free.
int listen_as_silent_x_server(int& listener) {
    for (int display = 40; display < 100; ++display) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(6000 + display));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener, 4) == 0) {
            return display;
        }
        close(listener);
        listener = -1;
    }
    return -1;
}

// An 8192 x 8192 RGBA image, 256 MiB once decoded, in a small RLE file.
void write_large_texture(const std::filesystem::path& path) {
    const uint16_t side = 8192;
    const uint8_t header[18] = {0,
                                0,
                                10,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                uint8_t(side & 0xff),
                                uint8_t(side >> 8),
                                uint8_t(side & 0xff),
                                uint8_t(side >> 8),
                                32,
                                8};
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(header), sizeof header);
    const char run[5] = {char(0x80 | 127), 10, char(200), 30, char(255)};
    for (uint32_t i = 0; i < uint32_t(side) * side / 128; ++i) file.write(run, sizeof run);
}

TEST(Faults, EscapeHeldFromTheStartShowsExactlyOneFrame) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(true));
    run.expect_normal_shutdown();
    EXPECT_EQ(run.swaps(), 1u);
}

// On a slow machine a quick tap, pressed and released within one frame,
// must still end the program: the key is read once per frame.
TEST(Faults, QuickTapOfEscapeBetweenFramesIsNotLost) {
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 400));
    ASSERT_NE(test::wait_for_window_of(run.child.pid, test::window_timeout_ms), 0UL);
    ASSERT_TRUE(run.wait_for_frames(2));
    ASSERT_TRUE(test::press_escape());
    run.expect_normal_shutdown();
}

// Every way of being asked to stop ends through the same shutdown as
// Escape: texture deleted, then the window library let go, then status 0.
TEST(Faults, EveryStopRequestRunsTheNormalShutdown) {
    for (const int stop : {0, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(test::stop_name(stop));
        RunningProgram run(true);
        ASSERT_TRUE(run.start_probed());
        const unsigned long window =
            test::wait_for_window_of(run.child.pid, test::window_timeout_ms);
        ASSERT_NE(window, 0UL);
        ASSERT_TRUE(run.wait_for_frames(3));
        ASSERT_TRUE(test::request_stop(run, stop, window));
        run.expect_normal_shutdown();
    }
}

// Xlib's own answer to a lost connection is exit status 1; the program ends
// with 0 at once, and says nothing.
TEST(Faults, DisplayGoingAwayEndsTheProgramAtOnce) {
    // A private X server that this test alone may kill.
    test::PrivateXvfb server({"-screen", "0", "640x480x24"});
    ASSERT_FALSE(server.display.empty()) << "Xvfb did not start: " << server.server.output;
    RunningProgram run(true);
    ASSERT_TRUE(run.start_probed(false, 0, {{"DISPLAY", server.display}}));
    ASSERT_TRUE(run.wait_for_frames(10)) << run.child.output;
    const double killed_at = pty_now_ms();
    pty_close(server.server);
    run.expect_clean_exit(5000);
    EXPECT_LT(pty_now_ms() - killed_at, 3000.0);
    EXPECT_EQ(run.child.output, "");
}

// A console input that can never deliver a key ends the wait after either
// message rather than holding the exit.
TEST(Faults, DeadConsoleInputNeverHoldsTheExit) {
    for (const PtyStdin input : {PtyStdin::dev_null, PtyStdin::closed, PtyStdin::write_only}) {
        for (const bool headless : {true, false}) {
            SCOPED_TRACE(std::string(headless ? "no display" : "no texture") + ", stdin mode " +
                         std::to_string(int(input)));
            RunningProgram run(headless);
            run.start(input, headless ? std::vector<EnvChange>{{"DISPLAY", std::nullopt}}
                                      : std::vector<EnvChange>{});
            const double start = pty_now_ms();
            run.expect_clean_exit(headless ? 5000 : test::window_timeout_ms);
            // Without a display the pause would otherwise last a second.
            if (headless) {
                EXPECT_LT(pty_now_ms() - start, 1500.0);
            }
            EXPECT_EQ(run.child.output,
                      headless ? "Failed to initialize GLFW!\r\n" : "Failed to load image!!!\r\n");
        }
    }
}

// The wait for a key after a failed texture load has no time limit, but a
// stop signal or the console hanging up still ends it, with status 0 and
// the terminal exactly as the program found it.
TEST(Faults, TextureFailureWaitEndsOnStopOrHangup) {
    const termios before = fresh_terminal_settings();
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, 0}) {
        SCOPED_TRACE(stop == 0 ? "console closed" : test::stop_name(stop));
        RunningProgram run(false);
        run.start();
        ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
        pty_read_for(run.child, 200);
        if (stop == 0) {
            close(run.child.master_fd);
            run.child.master_fd = -1;
        } else {
            ASSERT_EQ(kill(run.child.pid, stop), 0);
        }
        run.expect_clean_exit(3000);
        termios after{};
        if (stop != 0) {
            ASSERT_EQ(tcgetattr(run.child.master_fd, &after), 0);
            EXPECT_TRUE(same_terminal_settings(before, after)) << "the terminal was left changed";
        }
    }
}

// A launcher that drops the program's output must not change how it ends:
// the failure line goes nowhere, the waits are the same, the status is 0.
TEST(Faults, OutputNobodyReadsChangesNothing) {
    for (const bool headless : {true, false}) {
        SCOPED_TRACE(headless ? "no display" : "no texture");
        RunningProgram run(headless);
        PtyOptions options;
        options.cwd = run.folder.path.string();
        options.stdout_unread = true;
        if (headless) options.env = {{"DISPLAY", std::nullopt}};
        run.child = pty_spawn({SOLIDMORPH_BINARY}, options);
        const double start = pty_now_ms();
        if (headless) {
            run.expect_clean_exit(5000);
            EXPECT_GE(pty_now_ms() - start, 950.0) << "the pause was cut short";
            continue;
        }
        const ExitStatus early = pty_wait_exit(run.child, 2000);
        EXPECT_FALSE(early.exited || early.signaled) << "ended without a key";
        ASSERT_TRUE(pty_send(run.child, "x"));
        run.expect_clean_exit(2000);
    }
}

// A stop from a service manager or an early Ctrl-C is never lost: whenever
// it comes during start-up, the program ends promptly with 0, here on the
// way to the texture failure, whose wait would otherwise last for ever.
TEST(Faults, StopDuringStartUpIsNeverLost) {
    for (const int delay_ms : {0, 2, 5, 10, 20, 40, 80, 160}) {
        SCOPED_TRACE("SIGTERM " + std::to_string(delay_ms) + " ms after the handlers are in");
        RunningProgram run(false);
        run.start();
        ASSERT_TRUE(wait_for_stop_handlers(run.child.pid, 5000));
        pty_sleep_ms(delay_ms);
        ASSERT_EQ(kill(run.child.pid, SIGTERM), 0);
        run.expect_clean_exit(1000);
    }
}

// Blocked inside the X library, the program cannot look at its stop flag;
// a stop still ends it within about two seconds, with 0.
TEST(Faults, StopEndsItEvenWhenStuckInTheWindowLibrary) {
    for (const bool silent_server : {true, false}) {
        SCOPED_TRACE(silent_server ? "a server that never answers" : "XAUTHORITY naming a FIFO");
        RunningProgram run(true);
        std::vector<EnvChange> env;
        int listener = -1;
        if (silent_server) {
            const int display = listen_as_silent_x_server(listener);
            ASSERT_GE(display, 0) << "no free X display number on loopback";
            env.push_back({"DISPLAY", "127.0.0.1:" + std::to_string(display)});
        } else {
            const std::string fifo = (run.folder.path / "authority").string();
            ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            env.push_back({"XAUTHORITY", fifo});
        }
        run.start(PtyStdin::terminal, env);
        pty_read_for(run.child, 1000);  // well inside the stuck call by now
        EXPECT_FALSE(pty_wait_exit(run.child, 0).exited) << run.child.output;
        const double sent = pty_now_ms();
        ASSERT_EQ(kill(run.child.pid, SIGTERM), 0);
        run.expect_clean_exit(5000);
        EXPECT_LT(pty_now_ms() - sent, 2500.0);
        if (listener >= 0) close(listener);
    }
}

// Out of memory while loading the texture is a texture that cannot be
// loaded: its line, its wait, status 0, never an abort. A big image that
// loads without a limit fails under one that still lets the program start.
TEST(Faults, NoMemoryForTheTextureIsATextureFailure) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#else
    RunningProgram run(false);
    write_large_texture(run.texture());
    PtyOptions options;
    options.cwd = run.folder.path.string();
    run.child = pty_run(
        [] {
            const rlimit limit{700ul << 20, 700ul << 20};
            setrlimit(RLIMIT_AS, &limit);
            execl(SOLIDMORPH_BINARY, SOLIDMORPH_BINARY, static_cast<char*>(nullptr));
            return 127;
        },
        options);
    ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms)) << run.child.output;
    EXPECT_EQ(run.child.output, "Failed to load image!!!\r\n");
    EXPECT_FALSE(pty_wait_exit(run.child, 500).exited) << "ended without a key";
    ASSERT_TRUE(pty_send(run.child, "x"));
    run.expect_clean_exit(3000);
#endif
}

}  // namespace
}  // namespace solidmorph
