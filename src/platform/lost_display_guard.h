#pragma once

// Mesa's GLX talks to the X server partly through xcb and, in places, reads
// a reply without checking that one came: when the server goes away in the
// middle of such a request (a Wayland desktop ending under its Xwayland), the
// library dereferences a null pointer and the process would die by SIGSEGV.
// That is not a fault of ours and the display is gone anyway, so a fault
// that happens while the display connection is hung up runs the same action
// as the X library's own lost-connection handler. A fault while the
// connection is alive is left alone: the process still dies by the signal
// and dumps core as it always did.
namespace solidmorph {

// From now on, a SIGSEGV or SIGBUS runs on_lost when the server has hung up
// connection_fd (the X connection's socket) by the time of the fault. Call
// again for a new connection. on_lost runs inside the signal handler: it may
// only make async-signal-safe calls, and it should not return.
void guard_faults_on_display(int connection_fd, void (*on_lost)());

// Before the connection's socket is closed: faults are plain faults again.
void stop_guarding_faults();

// Whether the server hangs up connection_fd within `within_ms` (0: has
// already). A server going away may refuse a client's requests in its last
// moments, before it closes the socket; waiting a moment tells those
// errors from a refusal by a server that stays. Async-signal-safe.
bool connection_hangs_up(int connection_fd, int within_ms);

}  // namespace solidmorph
