#pragma once

// TGA files built field by field: the one builder behind every test that
// needs texture bytes and behind tests/data/make_test_images. Header only,
// so the data tool can use it without the test libraries.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace solidmorph::test {

using Bytes = std::vector<uint8_t>;

// Every field of a TGA file that a test may vary; tga_bytes lays them out
// in the file's order (header, id, colour map, pixel data).
struct TgaFile {
    uint8_t map_type = 0;
    uint8_t image_type = 2;  // 1 mapped, 2 true colour, 3 grey; +8 run-length encoded
    uint16_t map_first = 0;
    uint16_t map_length = 0;
    uint8_t map_bits = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t pixel_bits = 24;
    uint8_t descriptor = 0;  // 0x20 rows top first, 0x10 right to left, low bits alpha
    Bytes id = {};
    Bytes map = {};
    Bytes data = {};
};

template <class... More>
Bytes cat(Bytes out, const More&... more) {
    (out.insert(out.end(), more.begin(), more.end()), ...);
    return out;
}

inline void put16(Bytes& out, int value) {
    out.push_back(uint8_t(value & 0xFF));
    out.push_back(uint8_t((value >> 8) & 0xFF));
}

inline Bytes tga_bytes(const TgaFile& f) {
    Bytes out{uint8_t(f.id.size()), f.map_type, f.image_type};
    put16(out, f.map_first);
    put16(out, f.map_length);
    out.push_back(f.map_bits);
    for (const uint16_t v : {uint16_t(0), uint16_t(0), f.width, f.height}) put16(out, v);
    out.insert(out.end(), {f.pixel_bits, f.descriptor});
    return cat(out, f.id, f.map, f.data);
}

// An uncompressed 24-bit image from its BGR bytes in file order.
inline TgaFile true_colour(uint16_t width, uint16_t height, Bytes bgr, uint8_t descriptor = 0) {
    TgaFile f;
    f.width = width;
    f.height = height;
    f.descriptor = descriptor;
    f.data = std::move(bgr);
    return f;
}

// Run packets for two or more equal pixels, raw packets for the rest; each
// pixel is given as its stored bytes.
inline Bytes run_length_encode(const std::vector<Bytes>& pixels) {
    Bytes out;
    const auto run_at = [&](size_t at) {
        size_t n = 1;
        while (at + n < pixels.size() && n < 128 && pixels[at + n] == pixels[at]) ++n;
        return n;
    };
    size_t i = 0;
    while (i < pixels.size()) {
        const size_t run = run_at(i);
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), pixels[i].begin(), pixels[i].end());
            i += run;
            continue;
        }
        size_t n = 1;
        while (i + n < pixels.size() && n < 128 && run_at(i + n) < 2) ++n;
        out.push_back(uint8_t(n - 1));
        for (size_t j = i; j < i + n; ++j)
            out.insert(out.end(), pixels[j].begin(), pixels[j].end());
        i += n;
    }
    return out;
}

}  // namespace solidmorph::test
