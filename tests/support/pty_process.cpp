#include "support/pty_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace solidmorph {

namespace {

void child_fail(const char* what) {
    dprintf(STDERR_FILENO, "pty child: %s failed (errno %d)\r\n", what, errno);
    _exit(126);
}

// Runs in the child after forkpty: the terminal is already on 0, 1 and 2.
void prepare_child(const PtyOptions& options, const int pipe_fds[2]) {
    if (!options.output_processing) {
        termios settings{};
        if (tcgetattr(STDOUT_FILENO, &settings) == 0) {
            settings.c_oflag &= ~OPOST;
            tcsetattr(STDOUT_FILENO, TCSANOW, &settings);
        }
    }
    switch (options.stdin_mode) {
        case PtyStdin::terminal:
            break;
        case PtyStdin::dev_null: {
            int fd = open("/dev/null", O_RDONLY);
            if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) child_fail("stdin /dev/null");
            close(fd);
            break;
        }
        case PtyStdin::closed:
            close(STDIN_FILENO);
            break;
        case PtyStdin::pipe:
            if (dup2(pipe_fds[0], STDIN_FILENO) < 0) child_fail("stdin pipe");
            break;
    }
    // Descriptors of the test itself (other children's terminals, the write
    // end of our own pipe) would otherwise keep ends open that must close.
    close_range(3, ~0u, 0);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) child_fail("chdir");
    for (const EnvChange& change : options.env) {
        if (change.value) {
            setenv(change.name.c_str(), change.value->c_str(), 1);
        } else {
            unsetenv(change.name.c_str());
        }
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
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        prepare_child(options, pipe_fds);
        body();
        _exit(127);
    }
    if (pipe_fds[0] >= 0) close(pipe_fds[0]);
    if (pid < 0) {
        if (pipe_fds[1] >= 0) close(pipe_fds[1]);
        return child;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    child.pid = pid;
    child.master_fd = master;
    child.stdin_fd = pipe_fds[1];
    return child;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t done = write(fd, bytes.data(), bytes.size());
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
    int ready = poll(&p, 1, timeout_ms);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return true;
    char buffer[4096];
    ssize_t got = read(child.master_fd, buffer, sizeof buffer);
    if (got > 0) {
        child.output.append(buffer, static_cast<size_t>(got));
        return true;
    }
    // Linux reports EIO on the master once the last slave is closed.
    return got < 0 && (errno == EINTR || errno == EAGAIN);
}

bool reap(PtyChild& child, int options) {
    if (child.pid < 0) return false;
    if (child.status.exited || child.status.signaled) return true;
    int raw = 0;
    pid_t done = waitpid(child.pid, &raw, options);
    if (done != child.pid) return false;
    if (WIFEXITED(raw)) {
        child.status.exited = true;
        child.status.code = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        child.status.signaled = true;
        child.status.signal = WTERMSIG(raw);
    }
    return true;
}

}  // namespace

double pty_now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) * 1e-6;
}

void pty_sleep_ms(int ms) {
    timespec span{};
    span.tv_sec = ms / 1000;
    span.tv_nsec = static_cast<long>(ms % 1000) * 1'000'000;
    while (nanosleep(&span, &span) != 0 && errno == EINTR) {
    }
}

PtyChild pty_spawn(const std::vector<std::string>& argv, const PtyOptions& options) {
    return start_child(options, [&argv] {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (!args.empty() && args[0] != nullptr) execv(args[0], args.data());
        dprintf(STDERR_FILENO, "pty child: exec failed (errno %d)\r\n", errno);
        _exit(127);
    });
}

PtyChild pty_run(const std::function<int()>& body, const PtyOptions& options) {
    return start_child(options, [&body] {
        int code = body();
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
    double end = pty_now_ms() + timeout_ms;
    for (;;) {
        if (child.output.find(wanted) != std::string::npos) return true;
        int left = static_cast<int>(end - pty_now_ms());
        if (left <= 0 || !read_some(child, left)) {
            return child.output.find(wanted) != std::string::npos;
        }
    }
}

void pty_read_for(PtyChild& child, int timeout_ms) {
    double end = pty_now_ms() + timeout_ms;
    for (;;) {
        int left = static_cast<int>(end - pty_now_ms());
        if (left <= 0 || !read_some(child, left)) return;
    }
}

ExitStatus pty_wait_exit(PtyChild& child, int timeout_ms) {
    double end = pty_now_ms() + timeout_ms;
    bool open = true;
    while (!reap(child, WNOHANG)) {
        int left = static_cast<int>(end - pty_now_ms());
        if (left <= 0 || child.pid < 0) return child.status;
        int slice = left < 10 ? left : 10;
        if (open) {
            open = read_some(child, slice);
        } else {
            pty_sleep_ms(slice);
        }
    }
    // Output written just before the end is still in the terminal.
    while (open) {
        pollfd p{child.master_fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) break;
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

}  // namespace solidmorph
