#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace solidmorph {

// Pixels of 8-bit components, tightly packed, bottom row first (the GL's
// lower-left origin) whatever the file's own row order.
struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;  // 1 grey, 2 grey-alpha, 3 RGB, 4 RGBA
    std::vector<uint8_t> pixels;
};

// Decodes a TGA file held in memory. Refuses (returns false, leaves `image`
// empty) anything that is not a TGA of an accepted type, is truncated or
// corrupt, or has a side longer than max_side, before any large allocation.
bool decode_tga(const uint8_t* bytes, size_t size, int32_t max_side, DecodedImage& image);

}  // namespace solidmorph
