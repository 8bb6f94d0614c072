// The decoder against files built here field by field, against the committed
// broken and foreign files, and against one picture stored in every kind of
// file we accept (the fuzzer's seeds).
#include "image/tga_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "support/tga_bytes.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::cat;
using test::TgaFile;

Bytes bytes_of(const TgaFile& f) { return test::tga_bytes(f); }

constexpr int32_t test_max_side = 1024;

bool decode(const Bytes& bytes, DecodedImage& image, int32_t max_side = test_max_side) {
    return decode_tga(bytes.data(), bytes.size(), max_side, image);
}

bool decodes(const TgaFile& f, int32_t max_side = test_max_side) {
    DecodedImage image;
    return decode(bytes_of(f), image, max_side);
}

// Refused at every limit, and the image left empty even if it held something.
void expect_refused(const Bytes& bytes, const std::string& what,
                    std::initializer_list<int32_t> limits = {test_max_side}) {
    for (const int32_t limit : limits) {
        DecodedImage image;
        image.width = 7;
        image.pixels.assign(5, 1);
        EXPECT_FALSE(decode(bytes, image, limit)) << what << " at limit " << limit;
        EXPECT_EQ(image.width, 0) << what;
        EXPECT_TRUE(image.pixels.empty()) << what;
    }
}

// An image without a colour map.
TgaFile plain(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, Bytes data,
              uint8_t descriptor = 0) {
    return {.image_type = type,
            .width = width,
            .height = height,
            .pixel_bits = bits,
            .descriptor = descriptor,
            .data = data};
}

// 2 x 2 with a colour map of entries `map_bits` wide.
TgaFile mapped(uint8_t map_bits, Bytes map, uint8_t type = 1, Bytes data = {2, 1, 0, 0},
               uint8_t index_bits = 8) {
    TgaFile f = plain(type, 2, 2, index_bits, data);
    f.map_type = 1;
    f.map_length = uint16_t(map.size() * 8 / map_bits);
    f.map_bits = map_bits;
    f.map = map;
    return f;
}

// 3 x 2 true colour, stored as BGR. Bottom row red, green, blue; top row
// white, black, grey.
const Bytes bottom_bgr = {0, 0, 255, 0, 255, 0, 255, 0, 0};
const Bytes top_bgr = {255, 255, 255, 0, 0, 0, 128, 128, 128};
const TgaFile true_colour_3x2 = plain(2, 3, 2, 24, cat(bottom_bgr, top_bgr));
const Bytes rgb_map = {0, 0, 255, 0, 255, 0, 255, 0, 0};  // red, green, blue as BGR
const TgaFile mapped_2x2 = mapped(24, rgb_map);
const TgaFile encoded_mapped_2x2 = mapped(24, rgb_map, 9, {0x81, 2, 0x01, 1, 0});
// One run of four crossing into the top row, then a raw packet of two.
const Bytes encoded_3x2_data = {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 0, 0};
const TgaFile encoded_3x2 = plain(10, 3, 2, 24, encoded_3x2_data);

void expect_image(const char* what, const TgaFile& f, int32_t components, const Bytes& pixels) {
    SCOPED_TRACE(what);
    DecodedImage image;
    ASSERT_TRUE(decode(bytes_of(f), image));
    EXPECT_EQ(image.width, f.width);
    EXPECT_EQ(image.height, f.height);
    EXPECT_EQ(image.components, components);
    EXPECT_EQ(image.pixels, pixels);
}

// Every kind and depth keeps its channels and comes out bottom row first,
// whatever the file's row and column order.
TEST(TgaDecode, AcceptedKindsDecodeToTheirPixels) {
    const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    const Bytes bottom_mirrored = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    const Bytes top_mirrored = {128, 128, 128, 0, 0, 0, 255, 255, 255};
    expect_image("bottom first", true_colour_3x2, 3, rgb);
    expect_image("top first", plain(2, 3, 2, 24, cat(top_bgr, bottom_bgr), 0x20), 3, rgb);
    expect_image("right to left", plain(2, 3, 2, 24, cat(bottom_mirrored, top_mirrored), 0x10), 3,
                 rgb);
    expect_image("both", plain(2, 3, 2, 24, cat(top_mirrored, bottom_mirrored), 0x30), 3, rgb);
    TgaFile with_id = true_colour_3x2;
    with_id.id = {'s', 't', 'o', 'n', 'e'};
    expect_image("with id", with_id, 3, rgb);
    expect_image("with footer", plain(2, 3, 2, 24, cat(bottom_bgr, top_bgr, Bytes(26, 0x55))), 3,
                 rgb);

    expect_image("32-bit", plain(2, 2, 1, 32, {10, 20, 30, 40, 50, 60, 70, 80}, 8), 4,
                 {30, 20, 10, 40, 70, 60, 50, 80});
    // 5-5-5 colour, red in the high bits; the top bit is not alpha.
    const Bytes packed = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x00, 0x80};
    const Bytes primaries = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
    expect_image("16-bit", plain(2, 4, 1, 16, packed), 3, primaries);
    expect_image("15-bit", plain(2, 4, 1, 15, packed), 3, primaries);
    expect_image("grey", plain(3, 2, 2, 8, {1, 2, 3, 4}), 1, {1, 2, 3, 4});
    expect_image("grey top first", plain(3, 2, 2, 8, {1, 2, 3, 4}, 0x20), 1, {3, 4, 1, 2});
    const Bytes grey_alpha = {1, 11, 2, 12, 3, 13, 4, 14};
    expect_image("grey-alpha", plain(3, 2, 2, 16, grey_alpha), 2, grey_alpha);

    expect_image("mapped", mapped_2x2, 3, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0});
    expect_image("mapped with alpha", mapped(32, {0, 0, 255, 9, 0, 255, 0, 8, 255, 0, 0, 7}), 4,
                 {0, 0, 255, 7, 0, 255, 0, 8, 255, 0, 0, 9, 255, 0, 0, 9});
    expect_image("mapped 16-bit entries", mapped(16, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}), 3,
                 {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0});
    Bytes wide_map(300 * 3, 0);  // wide indexes reach past the first 256 entries
    wide_map[299 * 3 + 1] = 200;
    expect_image("mapped 16-bit indexes",
                 mapped(24, wide_map, 1, {0x2B, 0x01, 0, 0, 0, 0, 0x2B, 0x01}, 16), 3,
                 {0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0});

    // Run-length packets expand across rows.
    expect_image("encoded", encoded_3x2, 3,
                 {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    expect_image("encoded top first", plain(10, 3, 2, 24, encoded_3x2_data, 0x20), 3,
                 {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 0, 0});
    expect_image("encoded grey", plain(11, 5, 1, 8, {0x01, 7, 8, 0x82, 9}), 1, {7, 8, 9, 9, 9});
    expect_image("encoded mapped", encoded_mapped_2x2, 3,
                 {0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0});
}

// Every file cut short, in its header, colour map, pixels or packets, is
// refused; the whole file is not.
TEST(TgaDecode, FilesCutShortAreRefused) {
    for (const TgaFile& f : {true_colour_3x2, mapped_2x2, encoded_3x2, encoded_mapped_2x2}) {
        const Bytes whole = bytes_of(f);
        DecodedImage image;
        EXPECT_TRUE(decode(whole, image));
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            EXPECT_FALSE(decode(Bytes(whole.begin(), whole.begin() + long(cut)), image))
                << "cut at " << cut << " of " << whole.size();
            EXPECT_TRUE(image.pixels.empty());
        }
    }
}

TEST(TgaDecode, KindsWeDoNotReadAreRefused) {
    struct Case {
        const char* what;
        const TgaFile& base;  // decodes before the change
        void (*change)(TgaFile&);
    };
    const Case cases[] = {
        {"no image data", true_colour_3x2, [](TgaFile& f) { f.image_type = 0; }},
        {"image type 4", true_colour_3x2, [](TgaFile& f) { f.image_type = 4; }},
        {"compressed mapped type 32", mapped_2x2, [](TgaFile& f) { f.image_type = 32; }},
        {"map type 2", true_colour_3x2, [](TgaFile& f) { f.map_type = 2; }},
        {"map without mapped type", mapped_2x2, [](TgaFile& f) { f.image_type = 2; }},
        {"mapped type without map", mapped_2x2, [](TgaFile& f) { f.map_type = 0; }},
        {"8-bit true colour", true_colour_3x2, [](TgaFile& f) { f.pixel_bits = 8; }},
        {"31-bit true colour", true_colour_3x2, [](TgaFile& f) { f.pixel_bits = 31; }},
        {"24-bit grey", true_colour_3x2, [](TgaFile& f) { f.image_type = 3; }},
        {"24-bit indexes", mapped_2x2, [](TgaFile& f) { f.pixel_bits = 24; }},
        {"8-bit map entries", mapped_2x2, [](TgaFile& f) { f.map_bits = 8; }},
        {"empty map", mapped_2x2,
         [](TgaFile& f) {
             f.map_length = 0;
             f.map.clear();
         }},
        {"map starting past 0", mapped_2x2, [](TgaFile& f) { f.map_first = 1; }},
        {"interleaved rows", true_colour_3x2, [](TgaFile& f) { f.descriptor = 0x40; }},
        {"zero width", true_colour_3x2, [](TgaFile& f) { f.width = 0; }},
        {"zero height", true_colour_3x2, [](TgaFile& f) { f.height = 0; }},
        {"index past the map", mapped_2x2, [](TgaFile& f) { f.data[3] = 3; }},
        {"encoded index past the map", encoded_mapped_2x2,
         [](TgaFile& f) {
             f.data.assign({0x83, 3});
         }},
        {"raw packet index past the map", encoded_mapped_2x2,
         [](TgaFile& f) {
             f.data.assign({0x03, 0, 1, 2, 200});
         }},
        {"packet past the last pixel", encoded_3x2, [](TgaFile& f) { f.data[0] = 0x84; }},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(decodes(c.base)) << c.what << ": the unchanged file must decode";
        TgaFile f = c.base;
        c.change(f);
        expect_refused(bytes_of(f), c.what);
    }
}

TEST(TgaDecode, SidesAreCheckedAgainstTheLimit) {
    // One run covers the row.
    TgaFile f = plain(10, 64, 1, 24, {0xBF, 1, 2, 3});
    for (int turn = 0; turn < 2; ++turn, std::swap(f.width, f.height)) {
        EXPECT_TRUE(decodes(f, 64)) << f.width << " x " << f.height;
        EXPECT_FALSE(decodes(f, 63)) << f.width << " x " << f.height;
        EXPECT_FALSE(decodes(f, 0)) << f.width << " x " << f.height;
    }
}

// A few megabytes of packets could otherwise ask for a gigabyte of pixels.
TEST(TgaDecode, ImagesTooLargeToHoldAreRefused) {
    TgaFile f = plain(11, 16384, 16385, 8, {});
    const size_t packets = size_t(f.width) * f.height / 128;
    for (size_t i = 0; i < packets; ++i) f.data.insert(f.data.end(), {0xFF, uint8_t(i)});
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
    for (const Bytes& file : {png, Bytes(text.begin(), text.end()), jpeg, Bytes(64, 0)}) {
        EXPECT_FALSE(decode(file, image)) << file.size() << " bytes";
    }
    EXPECT_FALSE(decode_tga(nullptr, 0, test_max_side, image));
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Mean difference between two lines of texels: rows when `along_rows`.
double line_difference(const DecodedImage& image, int a, int b, bool along_rows) {
    double sum = 0.0;
    const int n = along_rows ? image.width : image.height;
    const auto at = [&](int line, int i, int c) {
        const int x = along_rows ? i : line, y = along_rows ? line : i;
        return image.pixels[(size_t(y) * image.width + x) * image.components + c];
    };
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < image.components; ++c) sum += std::abs(at(a, i, c) - at(b, i, c));
    return sum / (n * image.components);
}

TEST(TgaDecode, VeinTextureIsMarbleThatTiles) {
    DecodedImage image;
    ASSERT_TRUE(decode(read_file(fs::path(SOLIDMORPH_ASSETS) / "vein.tga"), image));
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
    int dark = 0, light = 0;
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

std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> out;
    if (fs::is_directory(dir)) out.assign(fs::directory_iterator(dir), fs::directory_iterator());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(MalformedTga, BrokenAndForeignFilesAreRefused) {
    std::string found;
    for (const fs::path& path : files_in(fs::path(SOLIDMORPH_TEST_DATA) / "malformed")) {
        found += path.filename().string() + " ";
        // Limits from a tiny GL to one that would allow any 16-bit side.
        expect_refused(read_file(path), path.filename().string(), {64, 16384, 65535});
    }
    EXPECT_EQ(found,
              "empty.tga huge_dimensions.tga interleaved_rows.tga large_claim_few_packets.tga "
              "map_index_out_of_range.tga png.tga rle_past_end.tga text.tga truncated_header.tga "
              "truncated_map.tga truncated_pixels.tga truncated_rle.tga unsupported_depth.tga "
              "unsupported_type.tga zero_height.tga zero_width.tga ")
        << "every committed case has its expectation here";
}

// The picture every seed file holds, y counted from the bottom row: grey or
// RGB, then alpha for an even component count.
Bytes reference_picture(int components) {
    Bytes out;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            const int c = (x / 2 + 2 * y) % 8;
            if (components <= 2) {
                out.push_back(uint8_t(15 + 30 * c));
            } else {
                out.insert(out.end(), {uint8_t(c & 1 ? 255 : 0), uint8_t(c & 2 ? 255 : 0),
                                       uint8_t(c & 4 ? 255 : 0)});
            }
            if (components % 2 == 0) out.push_back(uint8_t(255 - 20 * c));
        }
    }
    return out;
}

TEST(MalformedTga, EveryAcceptedKindGivesTheSamePicture) {
    const fs::path seed_dir = fs::path(SOLIDMORPH_TEST_DATA) / ".." / ".." / "fuzz" / "corpus";
    const std::vector<fs::path> seeds = files_in(seed_dir);
    ASSERT_GE(seeds.size(), 20u) << seed_dir;
    for (const fs::path& path : seeds) {
        const std::string name = path.stem().string();
        // The file name ends in what the decoder must hand back.
        const std::string suffixes[] = {"grey", "greya", "rgb", "rgba"};
        const auto named =
            std::find(std::begin(suffixes), std::end(suffixes), name.substr(name.rfind('_') + 1));
        ASSERT_NE(named, std::end(suffixes)) << name;
        const int components = int(named - std::begin(suffixes)) + 1;
        const Bytes bytes = read_file(path);
        DecodedImage image;
        ASSERT_TRUE(decode(bytes, image, 64)) << name;
        EXPECT_EQ(image.width, 6) << name;
        EXPECT_EQ(image.height, 3) << name;
        EXPECT_EQ(image.components, components) << name;
        EXPECT_EQ(image.pixels, reference_picture(components)) << name;

        // Cut anywhere before the last pixel byte, the file is refused; a
        // footer after the pixels is never needed.
        const size_t footer = name.find("footer") != std::string::npos ? 26 : 0;
        for (size_t keep = 0; keep < bytes.size(); ++keep) {
            DecodedImage cut;
            EXPECT_EQ(decode(Bytes(bytes.begin(), bytes.begin() + long(keep)), cut, 64),
                      keep >= bytes.size() - footer)
                << name << " cut to " << keep;
        }
    }
}

}  // namespace
}  // namespace solidmorph
