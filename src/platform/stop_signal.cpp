#include "platform/stop_signal.h"

#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

namespace solidmorph {

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Long enough for the normal shutdown (texture, window, video mode) to run
// from the loop, short enough that a stuck program still goes promptly.
constexpr suseconds_t watchdog_us = 1'500'000;

// While finite work of our own runs (see hold_stop_watchdog), the watchdog
// looks again this often, up to a limit that no such work comes near.
constexpr suseconds_t recheck_us = 100'000;
constexpr int max_rechecks = 200;

volatile sig_atomic_t stop_flag = 0;
volatile sig_atomic_t watchdog_held = 0;
volatile sig_atomic_t rechecks = 0;

void arm_watchdog(suseconds_t us) {
    itimerval watchdog{};
    watchdog.it_value.tv_sec = us / 1'000'000;
    watchdog.it_value.tv_usec = us % 1'000'000;
    setitimer(ITIMER_REAL, &watchdog, nullptr);
}

// Nothing but async-signal-safe calls here: the program may be stopped in
// the middle of anything, the window library's own locks included.
void on_watchdog(int) {
    if (watchdog_held != 0 && rechecks < max_rechecks) {
        rechecks = rechecks + 1;
        arm_watchdog(recheck_us);
        return;
    }
    _exit(0);
}

void on_stop_signal(int) {
    if (stop_flag != 0) return;
    stop_flag = 1;
    arm_watchdog(watchdog_us);
}

}  // namespace

void install_stop_handlers() {
    struct sigaction watchdog {};
    watchdog.sa_handler = on_watchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);

    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int sig : stop_signals) sigaddset(&action.sa_mask, sig);
    // Restarted calls keep the window library's reads whole; anything that
    // must notice a stop while it waits polls the flag instead.
    action.sa_flags = SA_RESTART;
    for (const int sig : stop_signals) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler != SIG_IGN) sigaction(sig, &action, nullptr);
    }
}

void request_stop() { on_stop_signal(0); }

bool stop_requested() { return stop_flag != 0; }

void hold_stop_watchdog() { watchdog_held = 1; }

// The shutdown that follows gets the watchdog's full time again.
void release_stop_watchdog() {
    watchdog_held = 0;
    if (stop_flag != 0) arm_watchdog(watchdog_us);
}

void ignore_closed_output() { signal(SIGPIPE, SIG_IGN); }

}  // namespace solidmorph
