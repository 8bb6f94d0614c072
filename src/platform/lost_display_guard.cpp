// Async-signal-safe throughout: the fault may come from anywhere, the GL
// library's own locks held.
#include "platform/lost_display_guard.h"

#include <poll.h>
#include <signal.h>

#include <cstddef>
#include <iterator>

namespace solidmorph {

namespace {

constexpr int fault_signals[] = {SIGSEGV, SIGBUS};

volatile sig_atomic_t guarded_fd = -1;
void (*lost_action)() = nullptr;
bool installed = false;
// Whatever handled the faults before (the default, or a sanitizer's report).
struct sigaction previous[std::size(fault_signals)];

// A server that has gone (ended, or dropped this client) has closed its end
// of the socket, and that shows as a hang-up whatever is still unread. A
// null reply from xcb means it saw exactly that, so the hang-up is already
// there when the library faults on it.
bool hung_up(int fd) { return connection_hangs_up(fd, 0); }

void on_fault(int sig, siginfo_t* info, void*) {
    const int fd = guarded_fd;
    if (fd >= 0 && hung_up(fd)) lost_action();
    // A fault of ours, or the library's on a live display: hand it back to
    // what handled it before. Returning retries the faulting instruction,
    // which now ends the process as it would have without us; a fault
    // signal sent by another process is raised again instead.
    for (size_t slot = 0; slot < std::size(fault_signals); ++slot) {
        if (fault_signals[slot] == sig) sigaction(sig, &previous[slot], nullptr);
    }
    if (info->si_code <= 0) raise(sig);
}

}  // namespace

void guard_faults_on_display(int connection_fd, void (*on_lost)()) {
    lost_action = on_lost;
    guarded_fd = connection_fd;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_sigaction = on_fault;
    // Nothing may interrupt the check: a stop's watchdog ending the process
    // with 0 here would hide a real fault.
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    for (size_t slot = 0; slot < std::size(fault_signals); ++slot) {
        sigaction(fault_signals[slot], &action, &previous[slot]);
    }
}

void stop_guarding_faults() { guarded_fd = -1; }

bool connection_hangs_up(int connection_fd, int within_ms) {
    pollfd connection{connection_fd, POLLRDHUP, 0};
    return poll(&connection, 1, within_ms) == 1 &&
           (connection.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace solidmorph
