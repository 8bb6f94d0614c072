#include "platform/console.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/stop_signal.h"
#include "support/pty_process.h"

namespace solidmorph {
namespace {

// Every pause runs in a child on its own pseudo-terminal, so the terminal
// of the test run itself is never touched.

// Child body: announces the wait, pauses and reports how long it took.
int report_pause(int32_t milliseconds) {
    console_write_line("waiting");
    double start = pty_now_ms();
    console_pause(milliseconds);
    printf("took %d ms\r\n", static_cast<int>(pty_now_ms() - start));
    return 0;
}

// Starts body on its own terminal and, when `ready` is given, waits for it in
// the output and `settle_ms` more.
PtyChild start(const std::function<int()>& body, const char* ready = nullptr, int settle_ms = 0,
               PtyStdin mode = PtyStdin::terminal) {
    PtyOptions options;
    options.stdin_mode = mode;
    PtyChild child = pty_run(body, options);
    if (ready != nullptr) {
        EXPECT_TRUE(pty_read_until(child, ready, 5000)) << child.output;
    }
    pty_sleep_ms(settle_ms);
    return child;
}

// Expects the child to end cleanly, closes it (keeping its output) and
// returns the `count` durations it reported, in order (-1 for any missing).
std::vector<int> finish(PtyChild& child, size_t count = 0) {
    ExitStatus status = pty_wait_exit(child, 5000);
    EXPECT_TRUE(status.exited) << "child did not end; output: " << child.output;
    EXPECT_EQ(status.code, 0) << child.output;
    std::vector<int> took;
    for (size_t at = child.output.find("took "); at != std::string::npos;
         at = child.output.find("took ", at + 1)) {
        took.push_back(atoi(child.output.c_str() + at + 5));
    }
    EXPECT_EQ(took.size(), count) << child.output;
    took.resize(count, -1);
    pty_close(child);
    return took;
}

TEST(ConsolePauseKeys, KeyEndsBoundedWaitEarly) {
    PtyChild child = start([] { return report_pause(1000); }, "waiting", 200);
    ASSERT_TRUE(pty_send(child, "k"));
    const std::vector<int> took = finish(child, 1);
    EXPECT_GE(took[0], 150);
    EXPECT_LT(took[0], 800) << "the key did not end the wait";
}

TEST(ConsolePauseKeys, UnboundedWaitLastsUntilKey) {
    PtyChild child = start([] { return report_pause(console_wait_forever); }, "waiting", 400);
    ExitStatus status = pty_wait_exit(child, 0);
    EXPECT_FALSE(status.exited || status.signaled) << "an idle terminal ended the wait";
    ASSERT_TRUE(pty_send(child, "k"));
    EXPECT_GE(finish(child, 1)[0], 380);
}

TEST(ConsolePauseKeys, KeyTypedAheadCountsAtFirstCheck) {
    for (int32_t wait : {console_wait_forever, 1000}) {
        PtyChild child = start(
            [wait] {
                console_write_line("ready");
                pty_sleep_ms(300);  // the key arrives while the terminal is still cooked
                return report_pause(wait);
            },
            "ready");
        ASSERT_TRUE(pty_send(child, "k"));
        EXPECT_LT(finish(child, 1)[0], 50) << "wait " << wait << ": the key was not seen at once";
    }
}

// An arrow key sends three bytes; all of them go with the one key press, so
// the next wait does not end on the leftovers.
TEST(ConsolePauseKeys, KeyBytesAreConsumed) {
    PtyChild child = start(
        [] {
            console_write_line("first");
            console_pause(console_wait_forever);
            return report_pause(300);
        },
        "first", 100);
    ASSERT_TRUE(pty_send(child, "\x1b[A"));
    EXPECT_GE(finish(child, 1)[0], 280) << "left-over key bytes ended the second wait";
}

TEST(ConsolePauseTiming, WaitsWithoutKeyRunTheirFullTime) {
    PtyChild child = start([] { return report_pause(1000); });
    const int took = finish(child, 1)[0];
    // The wait runs to its deadline even though the last 50 ms go unchecked.
    EXPECT_GE(took, 990);
    EXPECT_LE(took, 1300);

    PtyChild zero = start([] { return report_pause(0); });
    EXPECT_LT(finish(zero, 1)[0], 30) << "a zero wait did not return at once";
}

// Input that can never bring a key must not leave the program waiting for
// ever; both waits end at their first check.
TEST(ConsolePauseDeadInput, EndOfFileOrClosedStdinEndsWaitAtOnce) {
    for (PtyStdin mode :
         {PtyStdin::dev_null, PtyStdin::closed, PtyStdin::pipe, PtyStdin::write_only}) {
        PtyChild child = start(
            [] {
                pty_sleep_ms(200);  // lets the test close the pipe first
                report_pause(console_wait_forever);
                return report_pause(1000);
            },
            nullptr, 0, mode);
        pty_close_stdin(child);  // a pipe at end of file
        for (int took : finish(child, 2)) EXPECT_LT(took, 50) << "stdin mode " << int(mode);
    }
}

TEST(ConsolePauseDeadInput, PipeGivesOneKeyPerByteAndWaitsWhenEmpty) {
    PtyChild child = start(
        [] {
            console_write_line("ready");
            pty_sleep_ms(200);
            report_pause(console_wait_forever);
            report_pause(console_wait_forever);
            return report_pause(300);  // the pipe is empty but still open
        },
        "ready", 0, PtyStdin::pipe);
    ASSERT_TRUE(pty_send_stdin(child, "ab"));
    const std::vector<int> took = finish(child, 3);
    EXPECT_LT(took[0], 50);
    EXPECT_LT(took[1], 50) << "the first wait took more than one byte";
    EXPECT_GE(took[2], 280) << "an empty open pipe ended the wait";
}

// Closing the master hangs the terminal up. With SIGHUP ignored only the
// hang-up seen on the input can end the wait; otherwise the signal does.
TEST(ConsolePauseDeadInput, HungUpTerminalEndsWait) {
    for (bool ignore_hangup_signal : {true, false}) {
        PtyChild child = start(
            [ignore_hangup_signal] {
                if (ignore_hangup_signal) signal(SIGHUP, SIG_IGN);
                console_write_line("waiting");
                console_pause(console_wait_forever);
                return 0;
            },
            "waiting", 100);
        close(child.master_fd);
        child.master_fd = -1;
        ExitStatus status = pty_wait_exit(child, 3000);
        EXPECT_TRUE(status.exited || status.signaled)
            << "ignore SIGHUP " << ignore_hangup_signal << ": still waiting";
        if (ignore_hangup_signal) {
            EXPECT_EQ(status.code, 0);
        }
        pty_close(child);
    }
}

// Child body: checks the terminal comes back exactly as it was.
int pause_keeps_settings(int32_t milliseconds) {
    termios before{};
    termios after{};
    if (tcgetattr(STDIN_FILENO, &before) != 0) return 10;
    console_write_line("waiting");
    console_pause(milliseconds);
    if (tcgetattr(STDIN_FILENO, &after) != 0) return 11;
    return pty_same_settings(before, after) ? 0 : 12;
}

TEST(ConsolePauseTerminal, RawWhileWaitingAndRestoredAfter) {
    PtyChild child =
        start([] { return pause_keeps_settings(console_wait_forever); }, "waiting", 150);
    termios during{};
    ASSERT_EQ(tcgetattr(child.master_fd, &during), 0);
    EXPECT_EQ(during.c_lflag & ICANON, 0u) << "the wait would need Enter";
    EXPECT_EQ(during.c_lflag & ECHO, 0u) << "the key would be echoed";
    EXPECT_NE(during.c_lflag & ISIG, 0u) << "Ctrl-C would no longer interrupt";
    ASSERT_TRUE(pty_send(child, "z"));
    finish(child);
    EXPECT_EQ(child.output.find('z'), std::string::npos) << "the key was echoed";

    PtyChild timed_out = start([] { return pause_keeps_settings(200); });
    finish(timed_out);
}

// With the program's stop handlers in place, a stop from the keyboard or
// from outside ends an endless wait, leaves the terminal as it was and is
// kept as a stop request; one that came before the wait ends it at once.
TEST(ConsolePauseTerminal, StopSignalEndsWaitAndRestores) {
    struct Stop {
        const char* name;
        const char* keys;  // typed on the terminal, or
        int signal;        // sent from outside, or
        bool before_wait;  // raised by the process itself before waiting
    };
    for (const Stop& stop :
         {Stop{"Ctrl-C", "\x03", 0, false}, Stop{"Ctrl-\\", "\x1c", 0, false},
          Stop{"SIGTERM", nullptr, SIGTERM, false}, Stop{"SIGQUIT", nullptr, SIGQUIT, false},
          Stop{"SIGTERM before the wait", nullptr, 0, true}}) {
        SCOPED_TRACE(stop.name);
        PtyChild child = start(
            [before = stop.before_wait] {
                install_stop_handlers();
                if (stop_requested()) return 20;
                if (before) raise(SIGTERM);
                const double start_ms = pty_now_ms();
                int result = pause_keeps_settings(console_wait_forever);
                if (result != 0) return result;
                if (before && pty_now_ms() - start_ms > 100) return 22;
                return stop_requested() ? 0 : 21;
            },
            "waiting", 150);
        if (stop.keys != nullptr) {
            ASSERT_TRUE(pty_send(child, stop.keys));
        } else if (stop.signal != 0) {
            ASSERT_EQ(kill(child.pid, stop.signal), 0);
        }
        finish(child);
    }
}

// Ctrl-Z and fg: the shell gives the terminal its own (cooked) settings
// while the job is stopped; the wait must be raw again once it runs on, so a
// single key still ends it without echo.
TEST(ConsolePauseTerminal, RawAgainAfterStopAndContinue) {
    PtyChild child =
        start([] { return pause_keeps_settings(console_wait_forever); }, "waiting", 150);
    termios raw{};
    ASSERT_EQ(tcgetattr(child.master_fd, &raw), 0);
    ASSERT_EQ(kill(child.pid, SIGSTOP), 0);
    pty_sleep_ms(50);
    termios cooked = raw;
    cooked.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(child.master_fd, TCSANOW, &cooked), 0);
    ASSERT_EQ(kill(child.pid, SIGCONT), 0);
    pty_sleep_ms(150);
    termios after{};
    ASSERT_EQ(tcgetattr(child.master_fd, &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), 0u) << "the terminal stayed cooked";
    ASSERT_TRUE(pty_send(child, "z"));
    finish(child);
    EXPECT_EQ(child.output.find('z'), std::string::npos) << "the key was echoed";
}

// Without handlers Ctrl-C still kills the waiting process, but only after
// the terminal is back to normal. The child watches a grandchild that waits
// on the same terminal and ignores the Ctrl-C itself.
TEST(ConsolePauseTerminal, CtrlCKillsWaitingProcessAfterRestoring) {
    PtyChild child = start(
        [] {
            signal(SIGINT, SIG_IGN);
            termios before{};
            termios after{};
            if (tcgetattr(STDIN_FILENO, &before) != 0) return 10;
            pid_t waiter = fork();
            if (waiter == 0) {
                signal(SIGINT, SIG_DFL);
                console_write_line("waiting");
                console_pause(console_wait_forever);
                _exit(0);
            }
            int raw = 0;
            if (waitpid(waiter, &raw, 0) != waiter) return 13;
            if (!WIFSIGNALED(raw) || WTERMSIG(raw) != SIGINT) return 14;
            if (tcgetattr(STDIN_FILENO, &after) != 0) return 11;
            return pty_same_settings(before, after) ? 0 : 12;
        },
        "waiting", 150);
    ASSERT_TRUE(pty_send(child, "\x03"));
    finish(child);
}

TEST(ConsoleWriteLine, WritesTextThenCrLfExactly) {
    PtyChild child = start([] {
        console_write_line("Failed to load image!!!");
        console_write_line("");
        return 0;
    });
    finish(child);
    EXPECT_EQ(child.output, "Failed to load image!!!\r\n\r\n");
}

// Through a pipe stdout is fully buffered; the line must still arrive while
// the writer sits in a wait.
TEST(ConsoleWriteLine, LineReachesPipeBeforeWait) {
    int out[2];
    int in[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(in), 0);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(in[0], STDIN_FILENO);
        for (int fd : {out[0], out[1], in[0], in[1]}) close(fd);
        console_write_line("Failed to initialize GLFW!");
        console_pause(console_wait_forever);
        _exit(0);
    }
    close(out[1]);
    close(in[0]);

    std::string got;
    double end = pty_now_ms() + 5000;
    while (got.size() < 28 && pty_now_ms() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[64];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, "Failed to initialize GLFW!\r\n");
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the writer was no longer waiting";

    close(in[1]);  // end of file ends the wait
    pid_t done = 0;
    for (int tries = 0; tries < 300 && done == 0; ++tries) {
        pty_sleep_ms(10);
        done = waitpid(pid, nullptr, WNOHANG);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ADD_FAILURE() << "end of file on the pipe did not end the wait";
    }
    close(out[0]);
}

}  // namespace
}  // namespace solidmorph
