#include "platform/console.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "platform/stop_signal.h"

namespace solidmorph {

namespace {

constexpr int64_t check_interval_ns = 50'000'000;

// Signals that can arrive from the keyboard or the session while the
// terminal is raw. Each one ends the wait first, so the terminal gets its
// settings back before the signal takes its usual course.
constexpr int pause_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int pause_signal_count = sizeof pause_signals / sizeof pause_signals[0];

volatile sig_atomic_t pause_signal = 0;
volatile sig_atomic_t pause_continued = 0;

void on_pause_signal(int sig) { pause_signal = sig; }

// Ctrl-Z and fg: the shell puts its own terminal settings back while we are
// stopped, so raw mode has to be set again once we run on.
void on_continue(int) { pause_continued = 1; }

struct PauseState {
    bool terminal;    // stdin is a terminal in raw mode that must be restored
    bool unreadable;  // stdin is not open for reading: no key can ever come
    termios saved;
    termios raw;
    struct sigaction old_actions[pause_signal_count];
    bool replaced[pause_signal_count];
    struct sigaction old_continue;
};

enum class KeyCheck { none, key, dead };

int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A signal cuts the sleep short; the caller looks at pause_signal next.
void sleep_until(int64_t ns) {
    timespec at{};
    at.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    at.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

void set_terminal(const termios& settings) {
    while (tcsetattr(STDIN_FILENO, TCSANOW, &settings) != 0 && errno == EINTR) {
    }
}

bool stdin_unreadable() {
    const int flags = fcntl(STDIN_FILENO, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) == O_WRONLY;
}

// Raw mode from the background would stop us with SIGTTOU; it is set again
// at the next continue that finds us in the foreground.
void set_raw_if_foreground(const PauseState& state) {
    if (tcgetpgrp(STDIN_FILENO) == getpgrp()) set_terminal(state.raw);
}

void begin_pause(PauseState& state) {
    pause_signal = 0;
    pause_continued = 0;
    state.unreadable = stdin_unreadable();
    struct sigaction action {};
    action.sa_handler = on_pause_signal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < pause_signal_count; ++i) {
        sigaction(pause_signals[i], nullptr, &state.old_actions[i]);
        // An ignored signal stays ignored: it must not end the wait.
        state.replaced[i] = state.old_actions[i].sa_handler != SIG_IGN;
        if (state.replaced[i]) sigaction(pause_signals[i], &action, nullptr);
    }
    struct sigaction continued {};
    continued.sa_handler = on_continue;
    sigemptyset(&continued.sa_mask);
    continued.sa_flags = SA_RESTART;
    sigaction(SIGCONT, &continued, &state.old_continue);

    state.terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &state.saved) == 0;
    if (!state.terminal) return;
    // Keys arrive one by one without echo; ISIG stays so Ctrl-C still
    // interrupts. TCSANOW keeps a key typed ahead of the wait.
    state.raw = state.saved;
    state.raw.c_lflag &= ~(ICANON | ECHO | ECHONL | IEXTEN);
    state.raw.c_iflag &= ~IXON;
    state.raw.c_cc[VMIN] = 0;
    state.raw.c_cc[VTIME] = 0;
    set_terminal(state.raw);
}

void end_pause(PauseState& state) {
    if (state.terminal) set_terminal(state.saved);
    sigaction(SIGCONT, &state.old_continue, nullptr);
    for (int i = 0; i < pause_signal_count; ++i) {
        if (state.replaced[i]) sigaction(pause_signals[i], &state.old_actions[i], nullptr);
    }
    // Hand a caught signal on to whatever handled it before the wait.
    if (pause_signal != 0) raise(pause_signal);
}

// One key on a terminal may be several bytes (an arrow key), so everything
// waiting is taken; from a pipe or file one byte is one key.
KeyCheck check_key(bool terminal) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return KeyCheck::none;
    if ((p.revents & POLLNVAL) != 0) return KeyCheck::dead;
    if ((p.revents & POLLIN) != 0) {
        char bytes[32];
        ssize_t got = read(STDIN_FILENO, bytes, terminal ? sizeof bytes : 1);
        if (got > 0) return KeyCheck::key;
        if (got == 0) return KeyCheck::dead;
        return errno == EINTR || errno == EAGAIN ? KeyCheck::none : KeyCheck::dead;
    }
    return (p.revents & (POLLHUP | POLLERR)) != 0 ? KeyCheck::dead : KeyCheck::none;
}

}  // namespace

void console_write_line(const char* text) {
    if (text != nullptr) fputs(text, stdout);
    fputs("\r\n", stdout);
    fflush(stdout);
}

// Checks fall on a fixed 50 ms grid from the start, so a slow check does not
// stretch the wait. The tick whose successor would reach the deadline is
// not checked: a one-second wait checks at 0, 50, ..., 900 ms and then runs
// out its last 50 ms. Input that can never bring a key (end of file, closed,
// hung up, open for writing only) ends the wait at once rather than never,
// and so does a stop request, also one that came before the wait.
void console_pause(int32_t milliseconds) {
    bool forever = milliseconds == console_wait_forever;
    if (!forever && milliseconds <= 0) return;

    PauseState state{};
    begin_pause(state);
    int64_t start = monotonic_ns();
    int64_t deadline = start + static_cast<int64_t>(milliseconds) * 1'000'000;
    bool ended = false;
    for (int64_t tick = start;;) {
        if (pause_continued != 0) {
            pause_continued = 0;
            if (state.terminal) set_raw_if_foreground(state);
        }
        // A stop asked for before the wait began counts as much as one
        // during it: the user wants out either way.
        if (pause_signal != 0 || stop_requested() || state.unreadable ||
            check_key(state.terminal) != KeyCheck::none) {
            ended = true;
            break;
        }
        tick += check_interval_ns;
        if (!forever && tick + check_interval_ns >= deadline) break;
        sleep_until(tick);
    }
    if (!ended) sleep_until(deadline);
    end_pause(state);
}

}  // namespace solidmorph
