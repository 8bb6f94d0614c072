#include "export/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace solidmorph {

namespace {

bool fail(std::string& error, const std::string& what, int code) {
    error = what + ": " + std::strerror(code);
    return false;
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

}  // namespace

bool write_file_atomically(const std::string& path, const uint8_t* data, size_t size,
                           std::string& error) {
    namespace fs = std::filesystem;
    struct stat target {};
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        error = "cannot write " + path + ": it is a folder";
        return false;
    }
    const fs::path file(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::string hidden(".");
    hidden += file.filename().string();
    hidden += ".XXXXXX";
    std::string temporary = (folder / hidden).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return fail(error, "cannot write " + path, errno);

    // mkstemp makes the file private; give it the mode a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && write_all(fd, data, size) && fsync(fd) == 0;
    int code = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return fail(error, "cannot write " + path, code);
    }
    return true;
}

}  // namespace solidmorph
