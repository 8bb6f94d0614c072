#include "render/texture_loader.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "platform/stop_signal.h"
#include "render/tga_header.h"

namespace solidmorph {

namespace {

GLenum pixel_format(int32_t components) {
    switch (components) {
        case 1:
            return GL_LUMINANCE;
        case 2:
            return GL_LUMINANCE_ALPHA;
        case 3:
            return GL_RGB;
        case 4:
            return GL_RGBA;
        default:
            return 0;
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

// Non-blocking, so that a named pipe in the file's place cannot hang the
// open; it is refused right after as not a regular file. The one wait an
// ordinary open would make, for another process to give up its lease on the
// file, is made here too, in short steps that a stop request can end.
int open_texture_file(const char* path) {
    for (;;) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || (errno != EWOULDBLOCK && errno != EINTR) || stop_requested()) return fd;
        const timespec step{0, 20'000'000};
        nanosleep(&step, nullptr);
    }
}

// Mesa reports a texture it had no room for only through the error state;
// drawing with it would show an untextured solid. Other errors are not ours
// to judge here.
bool gl_ran_out_of_memory() {
    bool out_of_memory = false;
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        out_of_memory = out_of_memory || error == GL_OUT_OF_MEMORY;
    }
    return out_of_memory;
}

bool read_and_upload(int fd, int32_t max_side) {
    std::vector<uint8_t> bytes;
    if (!read_tga_bytes(fd, max_side, bytes)) return false;
    DecodedImage image;
    if (!decode_tga(bytes.data(), bytes.size(), max_side, image)) return false;
    bytes = std::vector<uint8_t>{};  // the file's bytes are no longer needed
    return upload_mipmapped_texture(image);
}

}  // namespace

bool upload_mipmapped_texture(const DecodedImage& image) {
    const GLenum format = pixel_format(image.components);
    if (format == 0 || image.width < 1 || image.height < 1) return false;
    const size_t expected = size_t(image.width) * size_t(image.height) * size_t(image.components);
    if (image.pixels.size() != expected) return false;

    // Rows are tightly packed; whatever alignment was set stays for others.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLint built = gluBuild2DMipmaps(GL_TEXTURE_2D, GLint(format), image.width, image.height,
                                          format, GL_UNSIGNED_BYTE, image.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return built == 0 && !gl_ran_out_of_memory();
}

bool load_texture_2d(const char* path) {
    if (path == nullptr) return false;
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);

    const int fd = open_texture_file(path);
    if (fd < 0) return false;
    bool loaded = false;
    // Running out of memory anywhere on the way is a texture we cannot
    // load, reported like any other, never an abort.
    try {
        loaded = read_and_upload(fd, max_side);
    } catch (const std::bad_alloc&) {
        loaded = false;
    }
    close(fd);
    return loaded;
}

}  // namespace solidmorph
