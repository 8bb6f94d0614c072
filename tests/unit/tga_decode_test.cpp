#include "render/tga_decode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace solidmorph {
namespace {

using Bytes = std::vector<uint8_t>;

// The fields of a TGA file that the tests vary; bytes_of lays them out.
struct TgaFile {
    uint8_t map_type = 0;
    uint8_t image_type = 2;
    uint16_t map_first = 0;
    uint16_t map_length = 0;
    uint8_t map_bits = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t pixel_bits = 24;
    uint8_t descriptor = 0;
    Bytes id;
    Bytes map;
    Bytes data;
};

void put16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

Bytes bytes_of(const TgaFile& f) {
    Bytes out{uint8_t(f.id.size()), f.map_type, f.image_type};
    put16(out, f.map_first);
    put16(out, f.map_length);
    out.push_back(f.map_bits);
    put16(out, 0);  // x origin
    put16(out, 0);  // y origin
    put16(out, f.width);
    put16(out, f.height);
    out.push_back(f.pixel_bits);
    out.push_back(f.descriptor);
    out.insert(out.end(), f.id.begin(), f.id.end());
    out.insert(out.end(), f.map.begin(), f.map.end());
    out.insert(out.end(), f.data.begin(), f.data.end());
    return out;
}

constexpr int32_t test_max_side = 1024;

bool decode(const Bytes& bytes, DecodedImage& image, int32_t max_side = test_max_side) {
    return decode_tga(bytes.data(), bytes.size(), max_side, image);
}

bool decodes(const TgaFile& f, int32_t max_side = test_max_side) {
    DecodedImage image;
    return decode(bytes_of(f), image, max_side);
}

// Decodes and checks size and pixels; `pixels` are bottom row first.
void expect_image(const TgaFile& f, int32_t components, const Bytes& pixels) {
    DecodedImage image;
    ASSERT_TRUE(decode(bytes_of(f), image));
    EXPECT_EQ(image.width, f.width);
    EXPECT_EQ(image.height, f.height);
    EXPECT_EQ(image.components, components);
    EXPECT_EQ(image.pixels, pixels);
}

// 3 x 2 true colour, stored as BGR. Bottom row red, green, blue; top row
// white, black, grey.
const Bytes bottom_row_bgr = {0, 0, 255, 0, 255, 0, 255, 0, 0};
const Bytes top_row_bgr = {255, 255, 255, 0, 0, 0, 128, 128, 128};
const Bytes expected_rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes mirrored(const Bytes& row, size_t stride) {
    Bytes out;
    for (size_t i = row.size(); i >= stride; i -= stride) {
        out.insert(out.end(), row.begin() + long(i - stride), row.begin() + long(i));
    }
    return out;
}

TgaFile true_colour_3x2() {
    TgaFile f;
    f.width = 3;
    f.height = 2;
    f.data = concat(bottom_row_bgr, top_row_bgr);
    return f;
}

TgaFile mapped_2x2() {
    TgaFile f;
    f.map_type = 1;
    f.image_type = 1;
    f.map_length = 3;
    f.map_bits = 24;
    f.map = {0, 0, 255, 0, 255, 0, 255, 0, 0};  // red, green, blue as BGR
    f.width = 2;
    f.height = 2;
    f.pixel_bits = 8;
    f.data = {2, 1, 0, 0};
    return f;
}

// 3 x 2 run-length encoded: one run of four crossing into the top row, then
// a raw packet of two.
TgaFile encoded_3x2() {
    TgaFile f;
    f.image_type = 10;
    f.width = 3;
    f.height = 2;
    f.data = {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 0, 0};
    return f;
}

TEST(TgaDecode, TrueColourComesOutRgbBottomRowFirstWhateverTheFileOrder) {
    TgaFile bottom_first = true_colour_3x2();
    expect_image(bottom_first, 3, expected_rgb);

    TgaFile top_first = bottom_first;
    top_first.descriptor = 0x20;
    top_first.data = concat(top_row_bgr, bottom_row_bgr);
    expect_image(top_first, 3, expected_rgb);

    TgaFile right_to_left = bottom_first;
    right_to_left.descriptor = 0x10;
    right_to_left.data = concat(mirrored(bottom_row_bgr, 3), mirrored(top_row_bgr, 3));
    expect_image(right_to_left, 3, expected_rgb);

    TgaFile both = top_first;
    both.descriptor = 0x30;
    both.data = concat(mirrored(top_row_bgr, 3), mirrored(bottom_row_bgr, 3));
    expect_image(both, 3, expected_rgb);

    TgaFile with_id = bottom_first;
    with_id.id = {'s', 't', 'o', 'n', 'e'};
    expect_image(with_id, 3, expected_rgb);

    // A footer or extension area after the pixels changes nothing.
    TgaFile with_footer = bottom_first;
    with_footer.data = concat(with_footer.data, Bytes(26, 0x55));
    expect_image(with_footer, 3, expected_rgb);
}

TEST(TgaDecode, OtherDepthsKeepTheirChannels) {
    TgaFile rgba;
    rgba.width = 2;
    rgba.pixel_bits = 32;
    rgba.descriptor = 8;
    rgba.data = {10, 20, 30, 40, 50, 60, 70, 80};
    expect_image(rgba, 4, {30, 20, 10, 40, 70, 60, 50, 80});

    // 5-5-5 colour, red in the high bits; the top bit is not alpha.
    TgaFile packed;
    packed.width = 4;
    packed.pixel_bits = 16;
    packed.data = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x00, 0x80};
    const Bytes primaries = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
    expect_image(packed, 3, primaries);
    packed.pixel_bits = 15;
    expect_image(packed, 3, primaries);

    TgaFile grey;
    grey.image_type = 3;
    grey.width = 2;
    grey.height = 2;
    grey.pixel_bits = 8;
    grey.data = {1, 2, 3, 4};
    expect_image(grey, 1, {1, 2, 3, 4});
    grey.descriptor = 0x20;
    expect_image(grey, 1, {3, 4, 1, 2});

    TgaFile grey_alpha = grey;
    grey_alpha.descriptor = 0;
    grey_alpha.pixel_bits = 16;
    grey_alpha.data = {1, 11, 2, 12, 3, 13, 4, 14};
    expect_image(grey_alpha, 2, {1, 11, 2, 12, 3, 13, 4, 14});
}

TEST(TgaDecode, ColourMappedPixelsTakeTheirMapEntries) {
    TgaFile f = mapped_2x2();
    expect_image(f, 3, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0});

    TgaFile with_alpha = f;
    with_alpha.map_bits = 32;
    with_alpha.map = {0, 0, 255, 9, 0, 255, 0, 8, 255, 0, 0, 7};
    expect_image(with_alpha, 4, {0, 0, 255, 7, 0, 255, 0, 8, 255, 0, 0, 9, 255, 0, 0, 9});

    TgaFile packed_entries = f;
    packed_entries.map_bits = 16;
    packed_entries.map = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00};
    expect_image(packed_entries, 3, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0});

    // Wide indexes reach past the first 256 entries.
    TgaFile wide = f;
    wide.map_length = 300;
    wide.map.assign(300 * 3, 0);
    wide.map[299 * 3 + 1] = 200;  // green
    wide.pixel_bits = 16;
    wide.data = {0x2B, 0x01, 0, 0, 0, 0, 0x2B, 0x01};
    expect_image(wide, 3, {0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0});
}

TEST(TgaDecode, RunLengthPacketsExpandAcrossRows) {
    expect_image(encoded_3x2(), 3,
                 {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});

    TgaFile top_first = encoded_3x2();
    top_first.descriptor = 0x20;
    expect_image(top_first, 3, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 0, 0});

    TgaFile grey;
    grey.image_type = 11;
    grey.width = 5;
    grey.pixel_bits = 8;
    grey.data = {0x01, 7, 8, 0x82, 9};
    expect_image(grey, 1, {7, 8, 9, 9, 9});

    TgaFile mapped = mapped_2x2();
    mapped.image_type = 9;
    mapped.data = {0x81, 2, 0x01, 1, 0};
    expect_image(mapped, 3, {0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0});
}

// Every file cut short, in its header, colour map, pixels or packets, is
// refused; the whole file is not.
TEST(TgaDecode, FilesCutShortAreRefused) {
    TgaFile encoded_mapped = mapped_2x2();
    encoded_mapped.image_type = 9;
    encoded_mapped.data = {0x81, 2, 0x01, 1, 0};
    for (const TgaFile& f : {true_colour_3x2(), mapped_2x2(), encoded_3x2(), encoded_mapped}) {
        const Bytes whole = bytes_of(f);
        DecodedImage image;
        EXPECT_TRUE(decode(whole, image));
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            const Bytes part(whole.begin(), whole.begin() + long(cut));
            EXPECT_FALSE(decode(part, image)) << "cut at " << cut << " of " << whole.size();
            EXPECT_TRUE(image.pixels.empty());
        }
    }
}

TEST(TgaDecode, KindsWeDoNotReadAreRefused) {
    struct Case {
        const char* what;
        TgaFile file;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, TgaFile f, auto change) {
        ASSERT_TRUE(decodes(f)) << what << ": the unchanged file must decode";
        change(f);
        cases.push_back({what, f});
    };
    add("no image data", true_colour_3x2(), [](TgaFile& f) { f.image_type = 0; });
    add("image type 4", true_colour_3x2(), [](TgaFile& f) { f.image_type = 4; });
    add("compressed mapped type 32", mapped_2x2(), [](TgaFile& f) { f.image_type = 32; });
    add("map type 2", true_colour_3x2(), [](TgaFile& f) { f.map_type = 2; });
    add("map without mapped type", mapped_2x2(), [](TgaFile& f) { f.image_type = 2; });
    add("mapped type without map", mapped_2x2(), [](TgaFile& f) { f.map_type = 0; });
    add("8-bit true colour", true_colour_3x2(), [](TgaFile& f) { f.pixel_bits = 8; });
    add("31-bit true colour", true_colour_3x2(), [](TgaFile& f) { f.pixel_bits = 31; });
    add("24-bit grey", true_colour_3x2(), [](TgaFile& f) { f.image_type = 3; });
    add("24-bit indexes", mapped_2x2(), [](TgaFile& f) { f.pixel_bits = 24; });
    add("8-bit map entries", mapped_2x2(), [](TgaFile& f) { f.map_bits = 8; });
    add("empty map", mapped_2x2(), [](TgaFile& f) {
        f.map_length = 0;
        f.map.clear();
    });
    add("map starting past 0", mapped_2x2(), [](TgaFile& f) { f.map_first = 1; });
    add("interleaved rows", true_colour_3x2(), [](TgaFile& f) { f.descriptor = 0x40; });
    add("zero width", true_colour_3x2(), [](TgaFile& f) { f.width = 0; });
    add("zero height", true_colour_3x2(), [](TgaFile& f) { f.height = 0; });
    add("index past the map", mapped_2x2(), [](TgaFile& f) { f.data[3] = 3; });
    add("encoded index past the map", mapped_2x2(), [](TgaFile& f) {
        f.image_type = 9;
        f.data = {0x83, 3};
    });
    add("raw packet index past the map", mapped_2x2(), [](TgaFile& f) {
        f.image_type = 9;
        f.data = {0x03, 0, 1, 2, 200};
    });
    add("packet past the last pixel", encoded_3x2(), [](TgaFile& f) { f.data[0] = 0x84; });

    for (const Case& c : cases) {
        DecodedImage image;
        image.width = 7;
        image.pixels.assign(5, 1);
        EXPECT_FALSE(decode(bytes_of(c.file), image)) << c.what;
        EXPECT_EQ(image.width, 0) << c.what;
        EXPECT_TRUE(image.pixels.empty()) << c.what;
    }
}

TEST(TgaDecode, SidesAreCheckedAgainstTheLimit) {
    TgaFile f;
    f.image_type = 10;
    f.width = 64;
    f.height = 1;
    f.data = {0xBF, 1, 2, 3};  // one run covers the row
    EXPECT_TRUE(decodes(f, 64));
    EXPECT_FALSE(decodes(f, 63));
    std::swap(f.width, f.height);
    EXPECT_TRUE(decodes(f, 64));
    EXPECT_FALSE(decodes(f, 63));
    EXPECT_FALSE(decodes(f, 0));
}

// A few megabytes of packets could otherwise ask for a gigabyte of pixels.
TEST(TgaDecode, ImagesTooLargeToHoldAreRefused) {
    TgaFile f;
    f.image_type = 11;
    f.pixel_bits = 8;
    f.width = 16384;
    f.height = 16385;
    const size_t packets = size_t(f.width) * f.height / 128;
    f.data.reserve(packets * 2);
    for (size_t i = 0; i < packets; ++i) {
        f.data.push_back(0xFF);
        f.data.push_back(uint8_t(i));
    }
    EXPECT_FALSE(decodes(f, 32768));
}

TEST(TgaDecode, OtherFilesAreRefused) {
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0,    0,
                       13,   'I', 'H', 'D', 'R',  0,    0,    0,    1,    0,    0,
                       0,    1,   8,   2,   0,    0,    0,    0x90, 0x77, 0x53, 0xDE};
    const std::string text = "P3 this is plainly some text and no picture at all\n";
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F',
                        0,    1,    1,    0,    0, 1,  0,   1,   0,   0};
    DecodedImage image;
    EXPECT_FALSE(decode(png, image));
    EXPECT_FALSE(decode(Bytes(text.begin(), text.end()), image));
    EXPECT_FALSE(decode(jpeg, image));
    EXPECT_FALSE(decode(Bytes(64, 0), image));
    EXPECT_FALSE(decode_tga(nullptr, 0, test_max_side, image));
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Mean difference between two lines of texels: rows when `along_rows`.
double line_difference(const DecodedImage& image, int a, int b, bool along_rows) {
    double sum = 0.0;
    const int n = along_rows ? image.width : image.height;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < image.components; ++c) {
            const auto at = [&](int line) {
                const int x = along_rows ? i : line;
                const int y = along_rows ? line : i;
                return image.pixels[(size_t(y) * image.width + x) * image.components + c];
            };
            sum += std::abs(at(a) - at(b));
        }
    }
    return sum / (n * image.components);
}

TEST(TgaDecode, VeinTextureIsMarbleThatTiles) {
    const Bytes file = read_file(std::string(SOLIDMORPH_ASSETS) + "/vein.tga");
    DecodedImage image;
    ASSERT_TRUE(decode(file, image));
    ASSERT_EQ(image.width, 256);
    ASSERT_EQ(image.height, 256);
    ASSERT_EQ(image.components, 3);

    // The texture repeats around the solid: the step across each wrapped edge
    // must be like the steps beside it, not the jump between unrelated lines.
    for (bool rows : {true, false}) {
        const double beside =
            line_difference(image, 254, 255, rows) + line_difference(image, 0, 1, rows);
        EXPECT_LT(line_difference(image, 255, 0, rows), beside) << (rows ? "rows" : "columns");
    }

    // Light stone with a few dark veins.
    int dark = 0;
    int light = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 3) {
        const int luma = (image.pixels[i] * 3 + image.pixels[i + 1] * 6 + image.pixels[i + 2]) / 10;
        dark += luma < 140;
        light += luma > 180;
    }
    const int texels = 256 * 256;
    EXPECT_GT(dark, texels / 100);
    EXPECT_LT(dark, texels / 5);
    EXPECT_GT(light, texels / 2);
}

}  // namespace
}  // namespace solidmorph
