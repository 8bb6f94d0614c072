#include "platform/file_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace solidmorph {

namespace {

constexpr std::array<int, 4> stop_signals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The names a stop signal must remove: a temporary holds one only while it
// is linked under a name of its own. Written with the stop signals blocked,
// read by the handler.
constexpr size_t max_named = 8;
struct NamedTemporary {
    int folder;
    char name[32];
};
NamedTemporary named[max_named];
volatile sig_atomic_t named_count = 0;

extern "C" void remove_temporaries_and_stop(int signal_number) {
    for (sig_atomic_t i = 0; i < named_count; ++i) unlinkat(named[i].folder, named[i].name, 0);
    _exit(128 + signal_number);
}

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : stop_signals) sigaddset(&set, s);
    return set;
}

// Blocks the stop signals for as long as it lives.
struct SignalsHeld {
    sigset_t before{};
    SignalsHeld() {
        const sigset_t set = stop_set();
        sigprocmask(SIG_BLOCK, &set, &before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// Catches the stop signals for as long as it lives, except those the
// process was started to ignore (as under nohup).
struct StopSignalsCaught {
    std::array<struct sigaction, stop_signals.size()> before{};
    StopSignalsCaught() {
        struct sigaction action {};
        action.sa_handler = remove_temporaries_and_stop;
        action.sa_mask = stop_set();
        for (size_t i = 0; i < stop_signals.size(); ++i) {
            sigaction(stop_signals[i], nullptr, &before[i]);
            if (before[i].sa_handler != SIG_IGN) sigaction(stop_signals[i], &action, nullptr);
        }
    }
    ~StopSignalsCaught() {
        for (size_t i = 0; i < stop_signals.size(); ++i) {
            sigaction(stop_signals[i], &before[i], nullptr);
        }
    }
    StopSignalsCaught(const StopSignalsCaught&) = delete;
    StopSignalsCaught& operator=(const StopSignalsCaught&) = delete;
};

// ".solidmorph-" and six letters or digits: short enough beside a target
// of any legal name, random enough not to meet another writer's.
void random_name(char (&name)[32]) {
    static uint64_t counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t x = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 30) ^ (uint64_t(getpid()) << 40) ^
                 (++counter * 0x9E3779B97F4A7C15u);
    x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::memcpy(name, ".solidmorph-", 12);
    for (int i = 0; i < 6; ++i, x /= 62) name[12 + i] = letters[x % 62];
    name[18] = '\0';
}

// Gives a random name in `slot` to what `make` creates: make(name)
// returns -1 with errno EEXIST to ask for another name. With `registered`,
// the name joins those a stop signal removes, in the same moment.
template <typename Make>
int make_named(int folder, Make make, NamedTemporary* slot = nullptr) {
    const bool registered = slot == nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const SignalsHeld held;
        NamedTemporary& into = registered ? named[named_count] : *slot;
        into.folder = folder;
        random_name(into.name);
        const int result = make(into.name);
        if (result >= 0) {
            if (registered) named_count = named_count + 1;
            return result;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

void forget_names() {
    const SignalsHeld held;
    for (sig_atomic_t i = 0; i < named_count; ++i) unlinkat(named[i].folder, named[i].name, 0);
    named_count = 0;
}

bool write_all(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

struct Pending {
    std::string path, leaf;
    int folder = -1;
    int fd = -1;
    int slot = -1;  // in `named`, once it has a name
};

// Without /proc an unnamed temporary could not be linked in place.
bool can_link_unnamed() { return access("/proc/self/fd", X_OK) == 0; }

// Opens the target's folder and a temporary in it with the mode (and
// owner) the target should have; a name of its own only where the file
// system has no unnamed temporaries, in `slot` (null: among those a stop
// signal removes).
bool open_temporary(const std::string& target_path, Pending& out, std::string& error,
                    NamedTemporary* slot = nullptr) {
    namespace fs = std::filesystem;
    out.path = target_path;
    const fs::path path(target_path);
    out.leaf = path.filename().string();
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    auto fail = [&](int code) {
        error = "cannot write " + target_path + ": " + std::strerror(code);
        return false;
    };

    struct stat target {};
    const bool replacing = lstat(target_path.c_str(), &target) == 0;
    if (replacing && S_ISDIR(target.st_mode)) {
        error = "cannot write " + target_path + ": it is a folder";
        return false;
    }
    out.folder = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (out.folder < 0) return fail(errno);

    int code = EOPNOTSUPP;
    if (can_link_unnamed()) {
        out.fd = openat(out.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        code = errno;
    }
    // File systems without unnamed temporaries answer in one of these ways.
    if (out.fd < 0 && (code == EOPNOTSUPP || code == EISDIR || code == EINVAL)) {
        out.fd = make_named(
            out.folder,
            [&](const char* name) {
                return openat(out.folder, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            },
            slot);
        code = errno;
        if (out.fd >= 0) out.slot = slot != nullptr ? 0 : int(named_count) - 1;
    }
    if (out.fd < 0) return fail(code);

    // Owner first: changing it may clear the set-id bits.
    mode_t mode = 0;
    if (replacing && S_ISREG(target.st_mode)) {
        mode = target.st_mode & 07777;
        // Where that is not permitted the file becomes ours, as a new one
        // would, and set-id bits meant for the old owner do not follow.
        if (fchown(out.fd, target.st_uid, target.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
    } else {
        mode = umask(0);
        umask(mode);
        mode = 0666 & ~mode;
    }
    if (fchmod(out.fd, mode) != 0) return fail(errno);
    return true;
}

// A temporary as open_temporary makes it, with the bytes on disk.
bool prepare(const OutputFile& file, Pending& out, std::string& error) {
    if (!open_temporary(file.path, out, error)) return false;
    if (!write_all(out.fd, file.bytes.data(), file.bytes.size()) || fsync(out.fd) != 0) {
        error = "cannot write " + file.path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Links an unnamed temporary under a name of its own beside the target.
bool name_it(Pending& p) {
    if (p.slot >= 0) return true;
    const std::string self = "/proc/self/fd/" + std::to_string(p.fd);
    const int made = make_named(p.folder, [&](const char* name) {
        return linkat(AT_FDCWD, self.c_str(), p.folder, name, AT_SYMLINK_FOLLOW);
    });
    if (made < 0) return false;
    p.slot = int(named_count) - 1;
    return true;
}

}  // namespace

bool write_files_atomically(const std::vector<OutputFile>& files, std::string& error) {
    if (files.size() > max_named) {
        error = "too many files to write at once";
        return false;
    }
    const StopSignalsCaught caught;
    std::vector<Pending> pending(files.size());
    bool ok = true;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        ok = prepare(files[i], pending[i], error);
    }
    // The targets are replaced with the stop signals held: once the first
    // is replaced, the others follow.
    {
        const SignalsHeld held;
        for (size_t i = 0; ok && i < pending.size(); ++i) {
            if (!name_it(pending[i])) {
                error = "cannot write " + pending[i].path + ": " + std::strerror(errno);
                ok = false;
            }
        }
        for (size_t i = 0; ok && i < pending.size(); ++i) {
            const Pending& p = pending[i];
            if (renameat(p.folder, named[p.slot].name, p.folder, p.leaf.c_str()) != 0) {
                error = "cannot write " + p.path + ": " + std::strerror(errno);
                if (i > 0) error += " (the files before it were written)";
                ok = false;
            } else {
                named[p.slot].name[0] = '\0';
            }
        }
        forget_names();
    }
    for (const Pending& p : pending) {
        if (p.fd >= 0) close(p.fd);
        if (p.folder >= 0) close(p.folder);
    }
    return ok;
}

bool write_file_atomically(const std::string& path, const uint8_t* data, size_t size,
                           std::string& error) {
    return write_files_atomically({OutputFile{path, std::vector<uint8_t>(data, data + size)}},
                                  error);
}

bool GrowingFile::open(const std::string& path, std::string& error) {
    drop();
    NamedTemporary slot{};
    Pending p;
    const bool opened = open_temporary(path, p, error, &slot);
    folder_ = p.folder;
    fd_ = p.fd;
    named_ = p.slot >= 0;
    std::memcpy(name_, slot.name, sizeof name_);
    path_ = path;
    leaf_ = p.leaf;
    if (!opened) drop();
    return opened;
}

bool GrowingFile::write(const uint8_t* data, size_t size) {
    return fd_ >= 0 && write_all(fd_, data, size);
}

int64_t GrowingFile::seek(int64_t offset, int whence) {
    return fd_ >= 0 ? int64_t(lseek(fd_, off_t(offset), whence)) : -1;
}

bool GrowingFile::finish(std::string& error) {
    if (fd_ < 0) {
        error = "cannot write " + path_ + ": nothing is open";
        return false;
    }
    bool ok = fsync(fd_) == 0;
    {
        // Named and renamed with the stop signals held: once begun, the
        // file is put in place whole.
        const SignalsHeld held;
        if (ok && !named_) {
            NamedTemporary slot{};
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            ok = make_named(
                     folder_,
                     [&](const char* name) {
                         return linkat(AT_FDCWD, self.c_str(), folder_, name, AT_SYMLINK_FOLLOW);
                     },
                     &slot) >= 0;
            named_ = ok;
            std::memcpy(name_, slot.name, sizeof name_);
        }
        ok = ok && renameat(folder_, name_, folder_, leaf_.c_str()) == 0;
        if (ok) named_ = false;
    }
    if (!ok) error = "cannot write " + path_ + ": " + std::strerror(errno);
    drop();
    return ok;
}

void GrowingFile::drop() {
    if (named_ && folder_ >= 0) unlinkat(folder_, name_, 0);
    named_ = false;
    if (fd_ >= 0) close(fd_);
    if (folder_ >= 0) close(folder_);
    fd_ = folder_ = -1;
}

PlainFileRead read_plain_file(const std::string& path, size_t limit, std::string& text,
                              std::string& error) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return PlainFileRead::missing;
        error = std::strerror(errno);
        return PlainFileRead::failed;
    }
    PlainFileRead result = PlainFileRead::whole;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result = PlainFileRead::not_plain;
    } else {
        std::vector<char> chunk(size_t(1) << 16);  // any thread may read
        while (text.size() <= limit) {
            const size_t want = std::min(chunk.size(), limit + 1 - text.size());
            const ssize_t got = ::read(fd, chunk.data(), want);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = std::strerror(errno);
                result = PlainFileRead::failed;
            }
            if (got <= 0) break;
            text.append(chunk.data(), size_t(got));
        }
        if (text.size() > limit) {
            text.resize(limit);
            result = PlainFileRead::too_large;
        }
    }
    ::close(fd);
    return result;
}

}  // namespace solidmorph
