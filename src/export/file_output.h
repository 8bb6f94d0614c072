#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace solidmorph {

// Writes the file whole or not at all: the bytes go to a temporary file
// beside it, which replaces the target only once everything is on disk.
// On any failure (unwritable folder, a folder in the way, full disk, file
// size limit) the temporary file is removed, the target is left as it was,
// and error says why.
bool write_file_atomically(const std::string& path, const uint8_t* data, size_t size,
                           std::string& error);

}  // namespace solidmorph
