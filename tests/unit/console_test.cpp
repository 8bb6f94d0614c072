#include "platform/console.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

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

// The durations a child reported, in order.
std::vector<int> reported_ms(const std::string& output) {
    std::vector<int> found;
    for (size_t at = output.find("took "); at != std::string::npos;
         at = output.find("took ", at + 1)) {
        found.push_back(atoi(output.c_str() + at + 5));
    }
    return found;
}

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

bool still_running(PtyChild& child) {
    ExitStatus status = pty_wait_exit(child, 0);
    return !status.exited && !status.signaled;
}

void expect_clean_exit(PtyChild& child, int timeout_ms) {
    ExitStatus status = pty_wait_exit(child, timeout_ms);
    EXPECT_TRUE(status.exited) << "child did not end; output: " << child.output;
    EXPECT_EQ(status.code, 0) << child.output;
}

TEST(ConsolePauseKeys, KeyEndsBoundedWaitEarly) {
    PtyChild child = pty_run([] { return report_pause(1000); });
    ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
    pty_sleep_ms(200);
    ASSERT_TRUE(pty_send(child, "k"));
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 1u) << child.output;
    EXPECT_GE(took[0], 150);
    EXPECT_LT(took[0], 800) << "the key did not end the wait";
    pty_close(child);
}

TEST(ConsolePauseKeys, UnboundedWaitLastsUntilKey) {
    PtyChild child = pty_run([] { return report_pause(console_wait_forever); });
    ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
    pty_sleep_ms(400);
    EXPECT_TRUE(still_running(child)) << "an idle terminal ended the wait";
    ASSERT_TRUE(pty_send(child, "k"));
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 1u) << child.output;
    EXPECT_GE(took[0], 380);
    pty_close(child);
}

TEST(ConsolePauseKeys, KeyTypedAheadCountsAtFirstCheck) {
    for (int32_t wait : {console_wait_forever, 1000}) {
        PtyChild child = pty_run([wait] {
            console_write_line("ready");
            pty_sleep_ms(300);  // the key arrives while the terminal is still cooked
            return report_pause(wait);
        });
        ASSERT_TRUE(pty_read_until(child, "ready", 5000));
        ASSERT_TRUE(pty_send(child, "k"));
        expect_clean_exit(child, 5000);
        std::vector<int> took = reported_ms(child.output);
        ASSERT_EQ(took.size(), 1u) << child.output;
        EXPECT_LT(took[0], 50) << "wait " << wait << ": the key was not seen at once";
        pty_close(child);
    }
}

// An arrow key sends three bytes; all of them go with the one key press, so
// the next wait does not end on the leftovers.
TEST(ConsolePauseKeys, KeyBytesAreConsumed) {
    PtyChild child = pty_run([] {
        console_write_line("first");
        console_pause(console_wait_forever);
        return report_pause(300);
    });
    ASSERT_TRUE(pty_read_until(child, "first", 5000));
    pty_sleep_ms(100);
    ASSERT_TRUE(pty_send(child, "\x1b[A"));
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 1u) << child.output;
    EXPECT_GE(took[0], 280) << "left-over key bytes ended the second wait";
    pty_close(child);
}

TEST(ConsolePauseTiming, BoundedWaitWithoutKeyRunsItsFullTime) {
    PtyChild child = pty_run([] { return report_pause(1000); });
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 1u) << child.output;
    // The wait runs to its deadline even though the last 50 ms go unchecked.
    EXPECT_GE(took[0], 990);
    EXPECT_LE(took[0], 1300);
    pty_close(child);
}

TEST(ConsolePauseTiming, ZeroWaitReturnsAtOnce) {
    PtyChild child = pty_run([] { return report_pause(0); });
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 1u) << child.output;
    EXPECT_LT(took[0], 30);
    pty_close(child);
}

// Input that can never bring a key must not leave the program waiting for
// ever; both waits end at their first check.
TEST(ConsolePauseDeadInput, EndOfFileOrClosedStdinEndsWaitAtOnce) {
    for (PtyStdin mode : {PtyStdin::dev_null, PtyStdin::closed, PtyStdin::pipe}) {
        PtyOptions options;
        options.stdin_mode = mode;
        PtyChild child = pty_run(
            [] {
                pty_sleep_ms(200);  // lets the test close the pipe first
                report_pause(console_wait_forever);
                return report_pause(1000);
            },
            options);
        pty_close_stdin(child);  // a pipe at end of file
        expect_clean_exit(child, 5000);
        std::vector<int> took = reported_ms(child.output);
        ASSERT_EQ(took.size(), 2u)
            << "stdin mode " << static_cast<int>(mode) << ": " << child.output;
        EXPECT_LT(took[0], 50) << "stdin mode " << static_cast<int>(mode);
        EXPECT_LT(took[1], 50) << "stdin mode " << static_cast<int>(mode);
        pty_close(child);
    }
}

TEST(ConsolePauseDeadInput, PipeGivesOneKeyPerByteAndWaitsWhenEmpty) {
    PtyOptions options;
    options.stdin_mode = PtyStdin::pipe;
    PtyChild child = pty_run(
        [] {
            console_write_line("ready");
            pty_sleep_ms(200);
            report_pause(console_wait_forever);
            report_pause(console_wait_forever);
            return report_pause(300);  // the pipe is empty but still open
        },
        options);
    ASSERT_TRUE(pty_read_until(child, "ready", 5000));
    ASSERT_TRUE(pty_send_stdin(child, "ab"));
    expect_clean_exit(child, 5000);
    std::vector<int> took = reported_ms(child.output);
    ASSERT_EQ(took.size(), 3u) << child.output;
    EXPECT_LT(took[0], 50);
    EXPECT_LT(took[1], 50) << "the first wait took more than one byte";
    EXPECT_GE(took[2], 280) << "an empty open pipe ended the wait";
    pty_close(child);
}

// Closing the master hangs the terminal up. With SIGHUP ignored only the
// hang-up seen on the input can end the wait; otherwise the signal does.
TEST(ConsolePauseDeadInput, HungUpTerminalEndsWait) {
    for (bool ignore_hangup_signal : {true, false}) {
        PtyChild child = pty_run([ignore_hangup_signal] {
            if (ignore_hangup_signal) signal(SIGHUP, SIG_IGN);
            console_write_line("waiting");
            console_pause(console_wait_forever);
            return 0;
        });
        ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
        pty_sleep_ms(100);
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
    return same_settings(before, after) ? 0 : 12;
}

TEST(ConsolePauseTerminal, RawWhileWaitingAndRestoredAfter) {
    PtyChild child = pty_run([] { return pause_keeps_settings(console_wait_forever); });
    ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
    pty_sleep_ms(150);
    termios during{};
    ASSERT_EQ(tcgetattr(child.master_fd, &during), 0);
    EXPECT_EQ(during.c_lflag & ICANON, 0u) << "the wait would need Enter";
    EXPECT_EQ(during.c_lflag & ECHO, 0u) << "the key would be echoed";
    EXPECT_NE(during.c_lflag & ISIG, 0u) << "Ctrl-C would no longer interrupt";
    ASSERT_TRUE(pty_send(child, "z"));
    expect_clean_exit(child, 5000);
    EXPECT_EQ(child.output.find('z'), std::string::npos) << "the key was echoed";
    pty_close(child);

    PtyChild timed_out = pty_run([] { return pause_keeps_settings(200); });
    expect_clean_exit(timed_out, 5000);
    pty_close(timed_out);
}

// With the program's stop handlers in place, Ctrl-C or SIGTERM during an
// endless wait ends it, leaves the terminal as it was and raises the stop.
TEST(ConsolePauseTerminal, StopSignalEndsWaitAndRestores) {
    for (bool by_keyboard : {true, false}) {
        PtyChild child = pty_run([] {
            install_stop_handlers();
            if (stop_requested()) return 20;
            int result = pause_keeps_settings(console_wait_forever);
            if (result != 0) return result;
            return stop_requested() ? 0 : 21;
        });
        ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
        pty_sleep_ms(150);
        if (by_keyboard) {
            ASSERT_TRUE(pty_send(child, "\x03"));
        } else {
            ASSERT_EQ(kill(child.pid, SIGTERM), 0);
        }
        ExitStatus status = pty_wait_exit(child, 5000);
        EXPECT_TRUE(status.exited) << "by keyboard " << by_keyboard;
        EXPECT_EQ(status.code, 0) << "by keyboard " << by_keyboard;
        pty_close(child);
    }
}

// Without handlers Ctrl-C still kills the waiting process, but only after
// the terminal is back to normal. The child watches a grandchild that waits
// on the same terminal and ignores the Ctrl-C itself.
TEST(ConsolePauseTerminal, CtrlCKillsWaitingProcessAfterRestoring) {
    PtyChild child = pty_run([] {
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
        return same_settings(before, after) ? 0 : 12;
    });
    ASSERT_TRUE(pty_read_until(child, "waiting", 5000));
    pty_sleep_ms(150);
    ASSERT_TRUE(pty_send(child, "\x03"));
    expect_clean_exit(child, 5000);
    pty_close(child);
}

TEST(ConsoleWriteLine, WritesTextThenCrLfExactly) {
    PtyChild child = pty_run([] {
        console_write_line("Failed to load image!!!");
        console_write_line("");
        return 0;
    });
    expect_clean_exit(child, 5000);
    EXPECT_EQ(child.output, "Failed to load image!!!\r\n\r\n");
    pty_close(child);
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
        close(out[0]);
        close(out[1]);
        close(in[0]);
        close(in[1]);
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
