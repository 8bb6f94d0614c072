#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace solidmorph {

struct OutputFile {
    std::string path;
    std::vector<uint8_t> bytes;
};

// Writes the files whole, all of them or none. Each is written to an
// unnamed temporary in its folder (where the file system has none, to a
// hidden name of fixed, short length), and the targets are replaced only
// once every one is on disk. A replaced file keeps its permission bits,
// and its owner and group where the process may set them. A symbolic link
// in a target's place is itself replaced; the file it pointed to is left
// as it was. A stop signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT) that is not
// ignored removes the temporaries and ends the process with status
// 128 + the signal, unless every target is already in place. On any
// failure (unwritable folder, a folder in the way, full disk, file size
// limit) the temporaries are removed, the targets are left as they were,
// and error says why.
bool write_files_atomically(const std::vector<OutputFile>& files, std::string& error);

bool write_file_atomically(const std::string& path, const uint8_t* data, size_t size,
                           std::string& error);

// A file too large to hold whole (an encoder's output), written a piece at
// a time into a temporary in its folder and put in place only by finish,
// as write_files_atomically puts a file (the same temporaries, the same
// mode and owner). The temporary is unnamed where the file system allows,
// so that nothing of it is left whatever ends the process; elsewhere it
// has a hidden name, which drop, finish's failure and the destructor
// remove (a program whose stop signals only raise a flag must drop it when
// it stops). One writer at a time; not for another thread.
class GrowingFile {
public:
    GrowingFile() = default;
    ~GrowingFile() { drop(); }
    GrowingFile(const GrowingFile&) = delete;
    GrowingFile& operator=(const GrowingFile&) = delete;

    // False, with a reason, when no temporary can be made beside `path`.
    bool open(const std::string& path, std::string& error);
    bool is_open() const { return fd_ >= 0; }
    // The bytes at the current position; false (errno says why) on a full
    // disk or any other failure.
    bool write(const uint8_t* data, size_t size);
    // As lseek: the new position, or -1.
    int64_t seek(int64_t offset, int whence);
    // On disk, then in the target's place (a file there is replaced);
    // false, with a reason and the temporary removed, when it cannot be.
    bool finish(std::string& error);
    // The temporary removed; the target untouched.
    void drop();

private:
    int folder_ = -1;
    int fd_ = -1;
    bool named_ = false;  // the temporary has the hidden name below
    char name_[32] = "";
    std::string path_, leaf_;
};

// A settings-like file read safely: opened without blocking, so that a pipe
// or a device in its place is neither waited on nor read without end, and
// read only if it is a regular file, at most `limit` bytes of it (`text`
// then holds the first `limit`). `error` holds strerror's words when the
// result is `failed`.
enum class PlainFileRead { whole, missing, not_plain, too_large, failed };
PlainFileRead read_plain_file(const std::string& path, size_t limit, std::string& text,
                              std::string& error);

}  // namespace solidmorph
