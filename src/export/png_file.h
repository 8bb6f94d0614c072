#pragma once

#include "export/mesh_math.h"
#include "image/tga_decode.h"

namespace solidmorph {

// The image as PNG, rows in the order they are held (the GL's bottom row
// first), or turned upright with top_row_first. False if it cannot be
// encoded.
bool png_bytes(const DecodedImage& image, Bytes& png, bool top_row_first = false);

}  // namespace solidmorph
