#pragma once

#include <cstdint>

#include "image/tga_decode.h"

namespace solidmorph {

// Reads and decodes a TGA file. False when the file is missing, not a
// regular file, unreadable, not an image decode_tga accepts, or too big for
// the memory at hand; also when a stop was requested while another process's
// lease held the file back. Never reads more of the file than the header's
// image can need.
bool read_tga_file(const char* path, int32_t max_side, DecodedImage& image);

}  // namespace solidmorph
