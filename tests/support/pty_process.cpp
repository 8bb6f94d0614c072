#include "support/pty_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace solidmorph {

namespace {

void child_fail(const char* what) {
    dprintf(STDERR_FILENO, "pty child: %s failed (errno %d)\r\n", what, errno);
    _exit(126);
}

// Runs in the child after forkpty: the terminal is already on 0, 1 and 2.
void prepare_child(const PtyOptions& options, int pipe_read) {
    termios settings{};
    if (tcgetattr(STDOUT_FILENO, &settings) == 0) {
        settings.c_oflag &= ~OPOST;
        tcsetattr(STDOUT_FILENO, TCSANOW, &settings);
    }
    const PtyStdin mode = options.stdin_mode;
    const int in = mode == PtyStdin::pipe         ? pipe_read
                   : mode == PtyStdin::dev_null   ? open("/dev/null", O_RDONLY)
                   : mode == PtyStdin::write_only ? open("/dev/null", O_WRONLY)
                                                  : STDIN_FILENO;
    if (in < 0 || dup2(in, STDIN_FILENO) < 0) child_fail("stdin");
    if (mode == PtyStdin::closed) close(STDIN_FILENO);
    // A launcher that drops the program's output: the pipe's read end is
    // closed before the program writes a byte.
    int out[2];
    if (options.stdout_unread && (pipe(out) != 0 || dup2(out[1], STDOUT_FILENO) < 0)) {
        child_fail("stdout");
    }
    // Descriptors of the test itself (other children's terminals, the write
    // end of our own pipe) would otherwise keep ends open that must close.
    close_range(3, ~0u, 0);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) child_fail("chdir");
    for (const EnvChange& change : options.env) {
        change.value ? setenv(change.name.c_str(), change.value->c_str(), 1)
                     : unsetenv(change.name.c_str());
    }
}

// Forks; in the child prepares everything, runs body and never returns.
PtyChild start_child(const PtyOptions& options, const std::function<void()>& body) {
    PtyChild child;
    int pipe_fds[2] = {-1, -1};
    if (options.stdin_mode == PtyStdin::pipe && pipe2(pipe_fds, O_CLOEXEC) != 0) return child;
    // Unwritten stdio output would otherwise be written twice.
    fflush(stdout);
    fflush(stderr);
    winsize size{24, 80, 0, 0};
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        prepare_child(options, pipe_fds[0]);
        body();
        _exit(127);
    }
    if (pipe_fds[0] >= 0) close(pipe_fds[0]);
    if (pid < 0 && pipe_fds[1] >= 0) close(pipe_fds[1]);
    if (pid < 0) return child;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    child.pid = pid;
    child.master_fd = master;
    child.stdin_fd = pipe_fds[1];
    return child;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(done));
    }
    return true;
}

// Reads what arrives within timeout_ms; false once the terminal has closed
// (the child and everything it started have let go of it).
bool read_some(PtyChild& child, int timeout_ms) {
    if (child.master_fd < 0) return false;
    pollfd p{child.master_fd, POLLIN, 0};
    const int ready = poll(&p, 1, timeout_ms);
    if (ready <= 0) return ready == 0 || errno == EINTR;
    char buffer[4096];
    const ssize_t got = read(child.master_fd, buffer, sizeof buffer);
    if (got > 0) child.output.append(buffer, static_cast<size_t>(got));
    // Linux reports EIO on the master once the last slave is closed.
    return got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN));
}

bool reap(PtyChild& child, int options) {
    if (child.pid < 0) return false;
    if (child.status.exited || child.status.signaled) return true;
    int raw = 0;
    if (waitpid(child.pid, &raw, options) != child.pid) return false;
    child.status.exited = WIFEXITED(raw);
    child.status.code = child.status.exited ? WEXITSTATUS(raw) : -1;
    child.status.signaled = WIFSIGNALED(raw);
    child.status.signal = child.status.signaled ? WTERMSIG(raw) : 0;
    return true;
}

int left_ms(double end) { return static_cast<int>(end - pty_now_ms()); }

}  // namespace

double pty_now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void pty_sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool eventually(const std::function<bool()>& condition, int timeout_ms, int step_ms) {
    const double end = pty_now_ms() + timeout_ms;
    while (!condition()) {
        if (pty_now_ms() > end) return false;
        pty_sleep_ms(step_ms);
    }
    return true;
}

PtyChild pty_spawn(const std::vector<std::string>& argv, const PtyOptions& options) {
    return start_child(options, [&argv] {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (!argv.empty()) execvp(args[0], args.data());
        dprintf(STDERR_FILENO, "pty child: exec failed (errno %d)\r\n", errno);
        _exit(127);
    });
}

PtyChild pty_run(const std::function<int()>& body, const PtyOptions& options) {
    return start_child(options, [&body] {
        const int code = body();
        fflush(stdout);
        _exit(code);
    });
}

bool pty_send(PtyChild& child, std::string_view bytes) {
    return child.master_fd >= 0 && write_all(child.master_fd, bytes);
}

bool pty_send_stdin(PtyChild& child, std::string_view bytes) {
    return child.stdin_fd >= 0 && write_all(child.stdin_fd, bytes);
}

void pty_close_stdin(PtyChild& child) {
    if (child.stdin_fd >= 0) close(child.stdin_fd);
    child.stdin_fd = -1;
}

bool pty_read_until(PtyChild& child, std::string_view wanted, int timeout_ms) {
    const double end = pty_now_ms() + timeout_ms;
    while (child.output.find(wanted) == std::string::npos) {
        const int left = left_ms(end);
        if (left <= 0 || !read_some(child, left)) return false;
    }
    return true;
}

void pty_read_for(PtyChild& child, int timeout_ms) {
    const double end = pty_now_ms() + timeout_ms;
    for (int left = timeout_ms; left > 0 && read_some(child, left);) left = left_ms(end);
}

ExitStatus pty_wait_exit(PtyChild& child, int timeout_ms) {
    const double end = pty_now_ms() + timeout_ms;
    bool open = true;
    while (!reap(child, WNOHANG)) {
        const int left = left_ms(end);
        if (left <= 0 || child.pid < 0) return child.status;
        if (open) {
            open = read_some(child, std::min(left, 10));
        } else {
            pty_sleep_ms(std::min(left, 10));
        }
    }
    // Output written just before the end is still in the terminal.
    for (size_t before = std::string::npos; open && child.output.size() != before;) {
        before = child.output.size();
        open = read_some(child, 0);
    }
    return child.status;
}

void pty_close(PtyChild& child) {
    if (child.pid > 0 && !reap(child, WNOHANG)) {
        kill(child.pid, SIGKILL);
        reap(child, 0);
    }
    if (child.master_fd >= 0) close(child.master_fd);
    pty_close_stdin(child);
    child.master_fd = -1;
}

termios pty_fresh_terminal_settings() {
    PtyChild reference = pty_run([] { return 0; });
    const PtyCloser closer{reference};
    pty_wait_exit(reference, 5000);
    termios settings{};
    tcgetattr(reference.master_fd, &settings);
    return settings;
}

bool pty_same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace solidmorph
