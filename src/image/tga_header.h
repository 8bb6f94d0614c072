#pragma once

#include <cstddef>
#include <cstdint>

// The fixed 18-byte head of a TGA file and what it alone tells. The decoder
// checks it before touching any pixel; the file loader uses it to know how
// much of a file can matter before it reads (and allocates for) the rest.
namespace solidmorph {

inline constexpr size_t tga_header_size = 18;

// The most bytes of decoded pixels we agree to allocate: 8192 x 8192 RGBA.
inline constexpr uint64_t tga_max_pixel_bytes = uint64_t{1} << 28;

struct TgaHeader {
    int32_t id_length;
    int32_t map_type;    // 1 when a colour map follows the id field
    int32_t image_type;  // 1 mapped, 2 true colour, 3 grey; +8 when run-length encoded
    int32_t map_first;
    int32_t map_length;
    int32_t map_entry_bits;
    int32_t width;
    int32_t height;
    int32_t pixel_bits;  // per stored pixel, or per colour-map index
    int32_t descriptor;
    int32_t components;  // of the decoded pixels: 1, 2, 3 or 4
};

// Reads and checks the header: an image type, depth and colour map that we
// decode, both sides in 1..max_side and a pixel buffer of sane size.
bool read_tga_header(const uint8_t* bytes, size_t size, int32_t max_side, TgaHeader& header);

// Bytes from the start of the file to the end of its pixel data, at most:
// exact for stored pixels, the one-pixel-packet worst case when encoded.
// Anything after that (the optional footer and extension area) is never read.
uint64_t tga_data_end_bound(const TgaHeader& header);

}  // namespace solidmorph
