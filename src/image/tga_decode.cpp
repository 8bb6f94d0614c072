// TGA decoding: our own checks of the header and the data, then stb_image
// (stb's single-file image reader) for the pixel work. stb is lenient where
// a loader must not be: it pads a short file with zeros, draws colour 0 for
// an index past the colour map's end, and reads maps that do not start at
// entry 0 wrongly. Every check below that names "stb" guards one of those.
#include "image/tga_decode.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "image/tga_header.h"

namespace solidmorph {

namespace {

constexpr int32_t descriptor_right_to_left = 0x10;
constexpr int32_t descriptor_interleave = 0xC0;

int32_t read_u16(const uint8_t* p) { return p[0] | (p[1] << 8); }

bool is_mapped(const TgaHeader& h) { return h.map_type == 1; }
bool is_encoded(const TgaHeader& h) { return h.image_type >= 8; }

uint64_t bytes_per_pixel(const TgaHeader& h) { return (h.pixel_bits + 7) / 8; }

uint64_t pixel_count(const TgaHeader& h) { return uint64_t(h.width) * uint64_t(h.height); }

// A colour map is only present (and only skipped by stb) in mapped files.
uint64_t data_start(const TgaHeader& h) {
    uint64_t map_bytes = 0;
    if (is_mapped(h)) map_bytes = uint64_t(h.map_length) * ((h.map_entry_bits + 7) / 8);
    return tga_header_size + h.id_length + map_bytes;
}

// Colour pixels and colour-map entries share their depths: 15 and 16 bits
// carry no usable alpha, so only 32 bits give four components.
int32_t colour_components(int bits) {
    switch (bits) {
        case 15:
        case 16:
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 0;
    }
}

// Components of the decoded pixels, 0 for a depth we do not read.
int32_t components_of(const TgaHeader& h) {
    if (is_mapped(h)) {
        if (h.pixel_bits != 8 && h.pixel_bits != 16) return 0;
        // stb ignores the first entry's index and 8-bit entries it cannot read.
        if (h.map_first != 0 || h.map_length < 1) return 0;
        return colour_components(h.map_entry_bits);
    }
    if (h.image_type % 8 == 3) {
        if (h.pixel_bits == 8) return 1;
        if (h.pixel_bits == 16) return 2;
        return 0;
    }
    return colour_components(h.pixel_bits);
}

bool type_accepted(const TgaHeader& h) {
    if (h.map_type == 1) return h.image_type == 1 || h.image_type == 9;
    if (h.map_type == 0) {
        return h.image_type == 2 || h.image_type == 3 || h.image_type == 10 || h.image_type == 11;
    }
    return false;
}

// stb would quietly draw colour 0 for an index past the map's end.
bool indexes_in_map(const uint8_t* p, uint64_t count, const TgaHeader& h) {
    const bool wide = h.pixel_bits == 16;
    for (uint64_t i = 0; i < count; ++i) {
        const int32_t index = wide ? read_u16(p + 2 * i) : p[i];
        if (index >= h.map_length) return false;
    }
    return true;
}

// Finds where the pixel data ends; false when the file ends before the image
// is full or the data is corrupt. stb itself would pad with zeros.
bool find_data_end(const uint8_t* bytes, size_t size, const TgaHeader& h, uint64_t& end) {
    const uint64_t total = pixel_count(h);
    const uint64_t stride = bytes_per_pixel(h);
    uint64_t pos = data_start(h);
    if (pos > size) return false;
    if (!is_encoded(h)) {
        if (total * stride > size - pos) return false;
        if (is_mapped(h) && !indexes_in_map(bytes + pos, total, h)) return false;
        end = pos + total * stride;
        return true;
    }
    uint64_t done = 0;
    while (done < total) {
        if (pos >= size) return false;
        const uint8_t packet = bytes[pos++];
        const uint64_t count = (packet & 0x7F) + 1;
        // A packet may run on into the next row but never past the last pixel.
        if (count > total - done) return false;
        const uint64_t stored = (packet & 0x80) != 0 ? 1 : count;
        if (stored * stride > size - pos) return false;
        if (is_mapped(h) && !indexes_in_map(bytes + pos, stored, h)) return false;
        pos += stored * stride;
        done += count;
    }
    end = pos;
    return true;
}

// stb hands rows top first and each row left to right as stored.
void copy_bottom_first(const uint8_t* top_first, const TgaHeader& h, DecodedImage& image) {
    const size_t row_bytes = size_t(h.width) * size_t(h.components);
    image.pixels.resize(row_bytes * size_t(h.height));
    for (int32_t row = 0; row < h.height; ++row) {
        const uint8_t* src = top_first + row_bytes * size_t(h.height - 1 - row);
        std::memcpy(image.pixels.data() + row_bytes * size_t(row), src, row_bytes);
    }
    if ((h.descriptor & descriptor_right_to_left) != 0) {
        const size_t c = size_t(h.components);
        for (int32_t row = 0; row < h.height; ++row) {
            uint8_t* p = image.pixels.data() + row_bytes * size_t(row);
            for (size_t l = 0, r = size_t(h.width) - 1; l < r; ++l, --r) {
                std::swap_ranges(p + l * c, p + l * c + c, p + r * c);
            }
        }
    }
}

}  // namespace

bool read_tga_header(const uint8_t* bytes, size_t size, int32_t max_side, TgaHeader& h) {
    if (bytes == nullptr || size < tga_header_size) return false;
    h.id_length = bytes[0];
    h.map_type = bytes[1];
    h.image_type = bytes[2];
    h.map_first = read_u16(bytes + 3);
    h.map_length = read_u16(bytes + 5);
    h.map_entry_bits = bytes[7];
    h.width = read_u16(bytes + 12);
    h.height = read_u16(bytes + 14);
    h.pixel_bits = bytes[16];
    h.descriptor = bytes[17];
    h.components = 0;
    if (!type_accepted(h)) return false;
    h.components = components_of(h);
    if (h.components == 0) return false;
    // stb does not undo interleaved rows; it would scramble the picture.
    if ((h.descriptor & descriptor_interleave) != 0) return false;
    if (h.width < 1 || h.height < 1 || h.width > max_side || h.height > max_side) return false;
    return pixel_count(h) * uint64_t(h.components) <= tga_max_pixel_bytes;
}

uint64_t tga_data_end_bound(const TgaHeader& h) {
    const uint64_t stride = bytes_per_pixel(h);
    const uint64_t per_pixel = is_encoded(h) ? stride + 1 : stride;
    return data_start(h) + pixel_count(h) * per_pixel;
}

bool decode_tga(const uint8_t* bytes, size_t size, int32_t max_side, DecodedImage& image) {
    image = DecodedImage{};
    TgaHeader h{};
    uint64_t end = 0;
    if (!read_tga_header(bytes, size, max_side, h)) return false;
    if (!find_data_end(bytes, size, h, end) || end > INT_MAX) return false;

    int width = 0;
    int height = 0;
    int components = 0;
    uint8_t* top_first = stbi_load_from_memory(bytes, int(end), &width, &height, &components, 0);
    if (top_first == nullptr) return false;
    bool decoded = width == h.width && height == h.height && components == h.components;
    if (decoded) {
        // Out of memory for the flipped copy is a file we cannot load, not
        // a reason to abort; stb's buffer is freed either way.
        try {
            image.width = h.width;
            image.height = h.height;
            image.components = h.components;
            copy_bottom_first(top_first, h, image);
        } catch (const std::bad_alloc&) {
            image = DecodedImage{};
            decoded = false;
        }
    }
    stbi_image_free(top_first);
    return decoded;
}

}  // namespace solidmorph
