#pragma once

// Runs a child process on a pseudo-terminal so tests can type keys at it and
// read what it prints, the way a user at a console would.

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solidmorph {

// What the child finds on its standard input.
enum class PtyStdin {
    terminal,    // the pseudo-terminal, like stdout and stderr
    dev_null,    // /dev/null: end of file at once
    closed,      // descriptor 0 not open at all
    pipe,        // a pipe whose write end the test holds in stdin_fd
    write_only,  // open, but for writing only: no key can ever be read
};

// One change to the child's environment: a value sets it, none unsets it.
struct EnvChange {
    std::string name;
    std::optional<std::string> value;
};

// The terminal never turns "\n" into "\r\n": the master sees exactly the
// bytes the child wrote.
struct PtyOptions {
    PtyStdin stdin_mode = PtyStdin::terminal;
    std::string cwd;  // empty: the test's own working directory
    std::vector<EnvChange> env;
    bool stdout_unread = false;  // stdout a pipe whose reader has gone
};

// How the child ended. Neither flag set means it was still running.
struct ExitStatus {
    bool exited = false;    // returned from main or called exit
    int code = -1;          // exit code when exited
    bool signaled = false;  // killed by a signal
    int signal = 0;
};

struct PtyChild {
    pid_t pid = -1;
    int master_fd = -1;  // the terminal: read output, write keys
    int stdin_fd = -1;   // write end of the stdin pipe, for PtyStdin::pipe
    std::string output;  // every byte read from the terminal so far
    ExitStatus status;   // filled once the child has been reaped
};

// Starts argv[0], searched on PATH unless it holds a slash, with the given
// arguments. An exec failure shows as exit code 127.
PtyChild pty_spawn(const std::vector<std::string>& argv, const PtyOptions& options = {});

// Runs body in a forked child; its result becomes the exit code.
PtyChild pty_run(const std::function<int()>& body, const PtyOptions& options = {});

// Writes bytes to the terminal (as typed keys) or, with PtyStdin::pipe, to
// the stdin pipe. False when not everything could be written.
bool pty_send(PtyChild& child, std::string_view bytes);
bool pty_send_stdin(PtyChild& child, std::string_view bytes);
void pty_close_stdin(PtyChild& child);

// Reads output until it contains wanted or timeout_ms runs out; true when
// found. Everything read is appended to child.output.
bool pty_read_until(PtyChild& child, std::string_view wanted, int timeout_ms);

// Reads whatever arrives during timeout_ms (or until the terminal closes).
void pty_read_for(PtyChild& child, int timeout_ms);

// Waits up to timeout_ms for the child to end, collecting its output
// meanwhile so a chatty child cannot block on a full terminal.
ExitStatus pty_wait_exit(PtyChild& child, int timeout_ms);

// Kills the child if it still runs, reaps it and closes every descriptor.
// Safe to call more than once.
void pty_close(PtyChild& child);

// The settings a fresh test terminal has before any program touches it.
termios pty_fresh_terminal_settings();

// Every flag and control character the same: the terminal was given back.
bool pty_same_settings(const termios& a, const termios& b);

// Milliseconds from a monotonic clock, for timing a child from outside.
double pty_now_ms();
void pty_sleep_ms(int ms);
// Asks condition every step_ms until it holds or timeout_ms have passed;
// whether it held.
bool eventually(const std::function<bool()>& condition, int timeout_ms, int step_ms = 50);

// Closes the child when the scope ends, also when an assertion returns early.
struct PtyCloser {
    PtyChild& child;
    ~PtyCloser() { pty_close(child); }
};

}  // namespace solidmorph
