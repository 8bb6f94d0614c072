// The decoder against the committed test files: broken and foreign files
// that must be refused, and one picture stored in every kind of file we
// accept (the fuzzer's seeds), which must all come out the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "render/tga_decode.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path malformed_dir = fs::path(SOLIDMORPH_TEST_DATA) / "malformed";
const fs::path seed_dir = fs::path(SOLIDMORPH_TEST_DATA) / ".." / ".." / "fuzz" / "corpus";

// Limits from a tiny GL to one that would allow any 16-bit side.
constexpr int32_t limits[] = {64, 16384, 65535};

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> out;
    if (!fs::is_directory(dir)) return out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

void expect_refused(const Bytes& bytes, const std::string& what) {
    for (const int32_t limit : limits) {
        DecodedImage image;
        image.width = 3;
        image.pixels.assign(4, 1);
        EXPECT_FALSE(decode_tga(bytes.data(), bytes.size(), limit, image))
            << what << " at limit " << limit;
        EXPECT_EQ(image.width, 0) << what;
        EXPECT_TRUE(image.pixels.empty()) << what;
    }
}

TEST(MalformedTga, BrokenAndForeignFilesAreRefused) {
    const std::set<std::string> expected = {
        "empty.tga",
        "text.tga",
        "png.tga",
        "truncated_header.tga",
        "truncated_pixels.tga",
        "truncated_map.tga",
        "truncated_rle.tga",
        "rle_past_end.tga",
        "zero_width.tga",
        "zero_height.tga",
        "huge_dimensions.tga",
        "large_claim_few_packets.tga",
        "map_index_out_of_range.tga",
        "unsupported_depth.tga",
        "unsupported_type.tga",
        "interleaved_rows.tga",
    };
    std::set<std::string> found;
    for (const fs::path& path : files_in(malformed_dir)) {
        found.insert(path.filename().string());
        expect_refused(read_file(path), path.filename().string());
    }
    EXPECT_EQ(found, expected) << "every committed case has its expectation here";
}

// The picture every seed file holds, y counted from the bottom row.
int colour_at(int x, int y) { return (x / 2 + 2 * y) % 8; }

Bytes reference_texel(int c, int components) {
    const uint8_t r = (c & 1) ? 255 : 0;
    const uint8_t g = (c & 2) ? 255 : 0;
    const uint8_t b = (c & 4) ? 255 : 0;
    const uint8_t alpha = uint8_t(255 - 20 * c);
    const uint8_t grey = uint8_t(15 + 30 * c);
    switch (components) {
        case 1:
            return {grey};
        case 2:
            return {grey, alpha};
        case 3:
            return {r, g, b};
        default:
            return {r, g, b, alpha};
    }
}

// The file name ends in what the decoder must hand back.
int components_named(const std::string& stem) {
    const std::string suffix = stem.substr(stem.rfind('_') + 1);
    if (suffix == "grey") return 1;
    if (suffix == "greya") return 2;
    if (suffix == "rgb") return 3;
    if (suffix == "rgba") return 4;
    return 0;
}

Bytes reference_picture(int components) {
    Bytes out;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            const Bytes texel = reference_texel(colour_at(x, y), components);
            out.insert(out.end(), texel.begin(), texel.end());
        }
    }
    return out;
}

TEST(MalformedTga, EveryAcceptedKindGivesTheSamePicture) {
    const std::vector<fs::path> seeds = files_in(seed_dir);
    ASSERT_GE(seeds.size(), 20u) << seed_dir;
    for (const fs::path& path : seeds) {
        const std::string name = path.stem().string();
        const int components = components_named(name);
        ASSERT_NE(components, 0) << name;
        const Bytes bytes = read_file(path);
        DecodedImage image;
        ASSERT_TRUE(decode_tga(bytes.data(), bytes.size(), 64, image)) << name;
        EXPECT_EQ(image.width, 6) << name;
        EXPECT_EQ(image.height, 3) << name;
        EXPECT_EQ(image.components, components) << name;
        EXPECT_EQ(image.pixels, reference_picture(components)) << name;

        // Cut anywhere before the last pixel byte, the file is refused; a
        // footer after the pixels is never needed.
        const size_t footer = name.find("footer") != std::string::npos ? 26 : 0;
        for (size_t keep = 0; keep < bytes.size(); ++keep) {
            const Bytes part(bytes.begin(), bytes.begin() + long(keep));
            DecodedImage cut;
            EXPECT_EQ(decode_tga(part.data(), part.size(), 64, cut), keep >= bytes.size() - footer)
                << name << " cut to " << keep;
        }
    }
}

}  // namespace
}  // namespace solidmorph
