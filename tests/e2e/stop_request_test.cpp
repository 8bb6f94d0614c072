// Stop requests from outside (the window manager's close, SIGINT, SIGTERM,
// SIGHUP, SIGQUIT): each ends the program through the same shutdown as
// Escape, whenever it arrives, also during start-up and also while the
// program is stuck inside the X library.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/running_program.h"

namespace solidmorph {
namespace {

using test::RunningProgram;

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

// Stopped as soon as its window is up, before it may have drawn at all.
TEST(StopRequest, EveryStopRequestEndsIt) {
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

// Under nohup SIGHUP arrives ignored, and must stay so: the session going
// away must not end a program that was asked to outlive it.
TEST(StopRequest, SignalsIgnoredAtStartStayIgnored) {
    RunningProgram run(true);
    PtyOptions options;
    options.cwd = run.folder.path.string();
    run.child = pty_run(
        [] {
            signal(SIGHUP, SIG_IGN);
            execl(SOLIDMORPH_BINARY, SOLIDMORPH_BINARY, static_cast<char*>(nullptr));
            return 127;
        },
        options);
    ASSERT_TRUE(test::wait_for_picture(run.child.pid, test::window_timeout_ms));
    ASSERT_EQ(kill(run.child.pid, SIGHUP), 0);
    const ExitStatus early = pty_wait_exit(run.child, 2500);
    EXPECT_FALSE(early.exited || early.signaled) << "an ignored SIGHUP ended it";
    ASSERT_TRUE(test::press_escape());
    run.expect_clean_exit();
}

// Every way of being asked to stop ends through the same shutdown as
// Escape: texture deleted, then the window library let go, then status 0.
TEST(StopRequest, EveryStopRequestRunsTheNormalShutdown) {
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

// A stop from a service manager or an early Ctrl-C is never lost: whenever
// it comes during start-up, the program ends promptly with 0, here on the
// way to the texture failure, whose wait would otherwise last for ever.
TEST(StopRequest, DuringStartUpIsNeverLost) {
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
TEST(StopRequest, EndsItEvenWhenStuckInTheWindowLibrary) {
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

}  // namespace
}  // namespace solidmorph
