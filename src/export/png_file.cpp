#include "export/png_file.h"

#include <stb_image_write.h>

#include <cstddef>

namespace solidmorph {

bool png_bytes(const DecodedImage& image, Bytes& png, bool top_row_first) {
    png.clear();
    if (image.width < 1 || image.height < 1 || image.components < 1 || image.components > 4 ||
        image.pixels.size() !=
            size_t(image.width) * size_t(image.height) * size_t(image.components)) {
        return false;
    }
    auto sink = [](void* context, void* data, int size) {
        auto* bytes = static_cast<Bytes*>(context);
        const auto* begin = static_cast<const uint8_t*>(data);
        bytes->insert(bytes->end(), begin, begin + size);
    };
    // OBJ readers put v = 0 at the image's last row, as the GL does its
    // first: the file's rows must run top down for them.
    const size_t row = size_t(image.width) * size_t(image.components);
    std::vector<uint8_t> upright;
    if (top_row_first) {
        upright.reserve(image.pixels.size());
        for (size_t y = size_t(image.height); y-- > 0;) {
            upright.insert(upright.end(), image.pixels.begin() + std::ptrdiff_t(y * row),
                           image.pixels.begin() + std::ptrdiff_t((y + 1) * row));
        }
    }
    const uint8_t* pixels = top_row_first ? upright.data() : image.pixels.data();
    return stbi_write_png_to_func(sink, &png, image.width, image.height, image.components, pixels,
                                  int(row)) != 0 &&
           !png.empty();
}

}  // namespace solidmorph
