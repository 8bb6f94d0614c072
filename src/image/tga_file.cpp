#include "image/tga_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "image/tga_header.h"
#include "platform/stop_signal.h"

namespace solidmorph {

namespace {

// Non-blocking, so that a named pipe in the file's place cannot hang the
// open; it is refused right after as not a regular file. The one wait an
// ordinary open would make, for another process to give up its lease on the
// file, is made here too, in short steps that a stop request can end.
int open_image_file(const char* path) {
    for (;;) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || (errno != EWOULDBLOCK && errno != EINTR) || stop_requested()) return fd;
        const timespec step{0, 20'000'000};
        nanosleep(&step, nullptr);
    }
}

// Reads up to `count` bytes; fewer only at the end of the file.
bool read_fully(int fd, uint8_t* out, size_t count, size_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = read(fd, out + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += size_t(n);
    }
    return true;
}

// The header comes first so that a file claiming a huge image, or a huge file
// behind a small one, never makes us allocate more than the image can use.
bool read_tga_bytes(int fd, int32_t max_side, std::vector<uint8_t>& bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    uint8_t head[tga_header_size];
    size_t got = 0;
    if (!read_fully(fd, head, sizeof head, got) || got != sizeof head) return false;
    TgaHeader header{};
    if (!read_tga_header(head, sizeof head, max_side, header)) return false;

    const uint64_t wanted = std::min<uint64_t>(tga_data_end_bound(header), uint64_t(info.st_size));
    if (wanted < sizeof head) return false;
    bytes.resize(size_t(wanted));
    std::copy(head, head + sizeof head, bytes.begin());
    if (!read_fully(fd, bytes.data() + sizeof head, bytes.size() - sizeof head, got)) return false;
    bytes.resize(sizeof head + got);  // the file may have shrunk meanwhile
    return true;
}

}  // namespace

bool read_tga_file(const char* path, int32_t max_side, DecodedImage& image) {
    image = DecodedImage{};
    if (path == nullptr) return false;
    const int fd = open_image_file(path);
    if (fd < 0) return false;
    bool decoded = false;
    // Running out of memory for the file's bytes is a file we cannot load,
    // reported like any other, never an abort.
    try {
        std::vector<uint8_t> bytes;
        decoded = read_tga_bytes(fd, max_side, bytes) &&
                  decode_tga(bytes.data(), bytes.size(), max_side, image);
    } catch (const std::bad_alloc&) {
        image = DecodedImage{};
        decoded = false;
    }
    close(fd);
    return decoded;
}

}  // namespace solidmorph
