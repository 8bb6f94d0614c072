// Feeds arbitrary bytes through the whole TGA decode path (header checks,
// size limits, the image reader and the row order) and checks what any
// accepted file must satisfy. The sanitizers catch the rest.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/tga_decode.h"
#include "image/tga_header.h"

namespace {

using solidmorph::DecodedImage;

// A common largest texture side, and one small enough that ordinary inputs
// cross it.
constexpr int32_t large_limit = 16384;
constexpr int32_t small_limit = 4;

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check_shape(const DecodedImage& image, int32_t limit) {
    require(image.components >= 1 && image.components <= 4, "components in 1..4");
    require(image.width >= 1 && image.width <= limit, "width within the limit");
    require(image.height >= 1 && image.height <= limit, "height within the limit");
    const uint64_t expected =
        uint64_t(image.width) * uint64_t(image.height) * uint64_t(image.components);
    require(image.pixels.size() == expected, "pixels hold width * height * components");
    require(expected <= solidmorph::tga_max_pixel_bytes, "pixels within the allocation cap");
}

bool same(const DecodedImage& a, const DecodedImage& b) {
    return a.width == b.width && a.height == b.height && a.components == b.components &&
           a.pixels == b.pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedImage image;
    const bool ok = solidmorph::decode_tga(data, size, large_limit, image);
    if (!ok) {
        require(image.pixels.empty() && image.width == 0, "a refusal leaves the image empty");
    } else {
        check_shape(image, large_limit);
        solidmorph::TgaHeader header{};
        require(solidmorph::read_tga_header(data, size, large_limit, header),
                "an accepted file has an accepted header");
        require(header.width == image.width && header.height == image.height &&
                    header.components == image.components,
                "the image is the size its header claims");

        // The file loader reads no further than this bound; what lies past
        // it must not change the picture. A copy of exactly that length
        // lets the sanitizer see any read beyond it.
        const uint64_t bound = solidmorph::tga_data_end_bound(header);
        if (bound < size) {
            const std::vector<uint8_t> head(data, data + bound);
            DecodedImage cut;
            require(solidmorph::decode_tga(head.data(), head.size(), large_limit, cut),
                    "the bytes up to the bound decode alone");
            require(same(cut, image), "the bytes past the bound change nothing");
        }
    }

    // The side limit refuses exactly the images with a longer side.
    DecodedImage small;
    const bool small_ok = solidmorph::decode_tga(data, size, small_limit, small);
    const bool fits = ok && image.width <= small_limit && image.height <= small_limit;
    require(small_ok == fits, "a lower limit refuses just the larger images");
    if (small_ok) require(same(small, image), "the limit does not change the picture");
    return 0;
}
