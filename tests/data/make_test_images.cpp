// Writes the small TGA files that the decoder is tested and fuzzed with:
// one picture stored in every kind of file we accept, and a set of broken or
// foreign files that must all be refused.
//
//   make_test_images VALID_DIR MALFORMED_DIR
//
// (the fuzzer's seeds in fuzz/corpus, the broken files in tests/data/malformed)
//
// Every valid file holds the same 6 x 3 picture, so a test can decode each
// one and compare against a single reference. The suffix of each name (rgb,
// rgba, grey, greya) tells what the decoder must hand back.
#include <stb_image_write.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/tga_bytes.h"

namespace {

using solidmorph::test::Bytes;
using solidmorph::test::put16;
using solidmorph::test::run_length_encode;
using solidmorph::test::tga_bytes;
using solidmorph::test::TgaFile;

constexpr int width = 6;
constexpr int height = 3;

// Colour number of a texel, y counted from the bottom row. Runs of two along
// a row, and runs of four that cross into the next row, give the encoder
// packets of both kinds; no row is its own mirror image.
int colour_at(int x, int y) { return (x / 2 + 2 * y) % 8; }

uint8_t red(int c) { return (c & 1) ? 255 : 0; }
uint8_t green(int c) { return (c & 2) ? 255 : 0; }
uint8_t blue(int c) { return (c & 4) ? 255 : 0; }
uint8_t alpha(int c) { return uint8_t(255 - 20 * c); }
uint8_t grey(int c) { return uint8_t(15 + 30 * c); }

enum Origin { bottom_left = 0x00, bottom_right = 0x10, top_left = 0x20, top_right = 0x30 };

struct Kind {
    const char* name;
    uint8_t image_type;  // 1, 2, 3, and +8 when run-length encoded
    uint8_t pixel_bits;  // per pixel, or per colour-map index
    uint8_t map_bits;    // per colour-map entry; 0 without a map
    Origin origin;
};

bool is_mapped(const Kind& k) { return k.image_type % 8 == 1; }
bool is_grey(const Kind& k) { return k.image_type % 8 == 3; }

// Five bits per channel, red highest; full or none, so nothing is lost.
void put_packed(Bytes& out, int c) {
    put16(out, (red(c) >> 3) << 10 | (green(c) >> 3) << 5 | (blue(c) >> 3));
}

void put_colour(Bytes& out, int c, int bits) {
    if (bits == 15 || bits == 16) return put_packed(out, c);
    out.insert(out.end(), {blue(c), green(c), red(c)});
    if (bits == 32) out.push_back(alpha(c));
}

// One stored pixel, as its bytes in the file.
Bytes stored_pixel(const Kind& k, int c) {
    Bytes out;
    if (is_mapped(k)) {
        if (k.pixel_bits == 16) {
            put16(out, c);
        } else {
            out.push_back(uint8_t(c));
        }
    } else if (is_grey(k)) {
        out.push_back(grey(c));
        if (k.pixel_bits == 16) out.push_back(alpha(c));
    } else {
        put_colour(out, c, k.pixel_bits);
    }
    return out;
}

// The texels in the order the file stores them.
std::vector<Bytes> pixels_in_file_order(const Kind& k) {
    std::vector<Bytes> out;
    const bool top_first = k.origin & top_left;
    const bool right_first = k.origin & bottom_right;
    for (int row = 0; row < height; ++row) {
        const int y = top_first ? height - 1 - row : row;
        for (int col = 0; col < width; ++col) {
            const int x = right_first ? width - 1 - col : col;
            out.push_back(stored_pixel(k, colour_at(x, y)));
        }
    }
    return out;
}

// The file's fields for kind k, without its id, map or pixels.
TgaFile fields(const Kind& k, int map_length, int w, int h) {
    TgaFile f;
    f.map_type = is_mapped(k) ? 1 : 0;
    f.image_type = k.image_type;
    f.map_length = uint16_t(is_mapped(k) ? map_length : 0);
    f.map_bits = is_mapped(k) ? k.map_bits : 0;
    f.width = uint16_t(w);
    f.height = uint16_t(h);
    f.pixel_bits = k.pixel_bits;
    // The low bits count the alpha bits of each pixel.
    const int alpha_bits = (k.pixel_bits == 32 || k.map_bits == 32) ? 8 : 0;
    f.descriptor = uint8_t(k.origin | alpha_bits);
    return f;
}

Bytes tga_file(const Kind& k, const std::string& id = {}) {
    TgaFile f = fields(k, 8, width, height);
    f.id.assign(id.begin(), id.end());
    if (is_mapped(k)) {
        for (int c = 0; c < 8; ++c) put_colour(f.map, c, k.map_bits);
    }
    const std::vector<Bytes> pixels = pixels_in_file_order(k);
    if (k.image_type >= 8) {
        f.data = run_length_encode(pixels);
    } else {
        for (const Bytes& p : pixels) f.data.insert(f.data.end(), p.begin(), p.end());
    }
    return tga_bytes(f);
}

// The closing 26 bytes of a newer-style file: no extension area, no
// developer area, then the signature.
void append_footer(Bytes& out) {
    for (int i = 0; i < 8; ++i) out.push_back(0);
    const char signature[] = "TRUEVISION-XFILE.";
    out.insert(out.end(), signature, signature + sizeof signature);
}

const Kind valid_kinds[] = {
    {"mapped_i8_m24_bottom_left_rgb", 1, 8, 24, bottom_left},
    {"mapped_i8_m32_top_right_rgba", 1, 8, 32, top_right},
    {"mapped_i16_m16_top_left_rgb", 1, 16, 16, top_left},
    {"mapped_i8_m15_bottom_right_rgb", 1, 8, 15, bottom_right},
    {"true_24_bottom_left_rgb", 2, 24, 0, bottom_left},
    {"true_24_top_left_rgb", 2, 24, 0, top_left},
    {"true_24_bottom_right_rgb", 2, 24, 0, bottom_right},
    {"true_32_top_left_rgba", 2, 32, 0, top_left},
    {"true_16_bottom_left_rgb", 2, 16, 0, bottom_left},
    {"true_15_top_right_rgb", 2, 15, 0, top_right},
    {"grey_8_bottom_left_grey", 3, 8, 0, bottom_left},
    {"grey_16_top_left_greya", 3, 16, 0, top_left},
    {"rle_mapped_i8_m24_top_left_rgb", 9, 8, 24, top_left},
    {"rle_mapped_i16_m32_bottom_left_rgba", 9, 16, 32, bottom_left},
    {"rle_true_24_bottom_left_rgb", 10, 24, 0, bottom_left},
    {"rle_true_32_top_right_rgba", 10, 32, 0, top_right},
    {"rle_true_16_top_left_rgb", 10, 16, 0, top_left},
    {"rle_grey_8_top_left_grey", 11, 8, 0, top_left},
    {"rle_grey_16_bottom_right_greya", 11, 16, 0, bottom_right},
};

const Kind true_24 = {"", 2, 24, 0, bottom_left};
const Kind rle_24 = {"", 10, 24, 0, bottom_left};
const Kind mapped_24 = {"", 1, 8, 24, bottom_left};

Bytes cut(Bytes b, size_t keep) {
    b.resize(keep);
    return b;
}

// Overwrites a 16-bit field of the header.
Bytes with16(Bytes b, size_t at, int v) {
    b[at] = uint8_t(v & 0xFF);
    b[at + 1] = uint8_t(v >> 8);
    return b;
}

Bytes with8(Bytes b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
}

Bytes tiny_png() {
    uint8_t rgb[width * height * 3];
    for (int i = 0; i < width * height; ++i) {
        const int c = colour_at(i % width, i / width);
        rgb[3 * i] = red(c);
        rgb[3 * i + 1] = green(c);
        rgb[3 * i + 2] = blue(c);
    }
    Bytes out;
    const auto append = [](void* context, void* data, int size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes,
                                             bytes + size);
    };
    stbi_write_png_to_func(append, &out, width, height, 3, rgb, width * 3);
    return out;
}

// A run of 128 that starts on the last pixel: the data is all there, but the
// packet claims pixels that the image does not have.
Bytes run_past_end() {
    TgaFile f = fields(rle_24, 0, width, height);
    f.data = {uint8_t(0x80 | (width * height - 2)), 9, 9, 9};  // all but one
    f.data.insert(f.data.end(), {0x80 | 127, 1, 2, 3});
    return tga_bytes(f);
}

// Claims a large image that the file's few packets do not fill; it must be
// refused before anything the size of the image is allocated.
Bytes large_claim_few_packets() {
    const Kind rle_grey = {"", 11, 8, 0, bottom_left};
    TgaFile f = fields(rle_grey, 0, 8192, 8192);
    for (int i = 0; i < 16; ++i) f.data.insert(f.data.end(), {0xFF, uint8_t(i)});
    return tga_bytes(f);
}

struct Malformed {
    const char* name;
    Bytes bytes;
};

std::vector<Malformed> malformed_files() {
    const Bytes whole = tga_file(true_24);
    const Bytes encoded = tga_file(rle_24);
    const Bytes mapped = tga_file(mapped_24);
    const std::string text = "This is a plain text file, not a picture.\n";
    Bytes mapped_bad_index = mapped;
    mapped_bad_index.back() = 200;  // the map has 8 entries
    return {
        {"empty.tga", {}},
        {"text.tga", Bytes(text.begin(), text.end())},
        {"png.tga", tiny_png()},
        {"truncated_header.tga", cut(whole, 11)},
        {"truncated_pixels.tga", cut(whole, whole.size() - 2)},
        {"truncated_map.tga", cut(mapped, 18 + 10)},
        {"truncated_rle.tga", cut(encoded, encoded.size() - 1)},
        {"rle_past_end.tga", run_past_end()},
        {"zero_width.tga", with16(whole, 12, 0)},
        {"zero_height.tga", with16(whole, 14, 0)},
        {"huge_dimensions.tga", with16(with16(cut(whole, 18 + 64), 12, 65535), 14, 65535)},
        {"large_claim_few_packets.tga", large_claim_few_packets()},
        {"map_index_out_of_range.tga", mapped_bad_index},
        {"unsupported_depth.tga", with8(whole, 16, 12)},
        {"unsupported_type.tga", with8(whole, 2, 32)},
        {"interleaved_rows.tga", with8(whole, 17, 0x40)},
    };
}

bool write_file(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s VALID_DIR MALFORMED_DIR\n", argv[0]);
        return 2;
    }
    const std::string valid_dir = argv[1];
    const std::string malformed_dir = argv[2];
    bool ok = true;
    for (const Kind& k : valid_kinds) {
        ok &= write_file(valid_dir + "/" + k.name + ".tga", tga_file(k));
    }
    // An id field before the pixels and a footer after them change nothing.
    Bytes framed = tga_file(true_24, "solidmorph");
    append_footer(framed);
    ok &= write_file(valid_dir + "/true_24_id_footer_bottom_left_rgb.tga", framed);

    for (const Malformed& m : malformed_files()) {
        ok &= write_file(malformed_dir + "/" + m.name, m.bytes);
    }
    if (!ok) std::fprintf(stderr, "%s: could not write every file\n", argv[0]);
    return ok ? 0 : 1;
}
