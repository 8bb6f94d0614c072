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

// A settings-like file read safely: opened without blocking, so that a pipe
// or a device in its place is neither waited on nor read without end, and
// read only if it is a regular file, at most `limit` bytes of it (`text`
// then holds the first `limit`). `error` holds strerror's words when the
// result is `failed`.
enum class PlainFileRead { whole, missing, not_plain, too_large, failed };
PlainFileRead read_plain_file(const std::string& path, size_t limit, std::string& text,
                              std::string& error);

}  // namespace solidmorph
