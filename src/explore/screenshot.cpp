#include "explore/screenshot.h"

#include <GL/gl.h>

#include <ctime>
#include <vector>

#include "export/png_file.h"
#include "image/tga_decode.h"
#include "platform/file_output.h"

namespace solidmorph {

bool save_screenshot(int32_t width, int32_t height, char* name, size_t capacity,
                     std::string& error) {
    if (width < 1 || height < 1) {
        error = "the window has no picture to save";
        return false;
    }
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.components = 3;
    image.pixels.resize(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, image.pixels.data());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(name, capacity, "solidmorph-explore-%Y%m%d-%H%M%S.png", &local);
    std::vector<uint8_t> png;
    if (!png_bytes(image, png, true)) {
        error = "cannot encode the picture";
        return false;
    }
    return write_file_atomically(name, png.data(), png.size(), error);
}

}  // namespace solidmorph
