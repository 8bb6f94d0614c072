#include "render/texture_loader.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "image/tga_file.h"

namespace solidmorph {

namespace {

GLenum pixel_format(int32_t components) {
    switch (components) {
        case 1:
            return GL_LUMINANCE;
        case 2:
            return GL_LUMINANCE_ALPHA;
        case 3:
            return GL_RGB;
        case 4:
            return GL_RGBA;
        default:
            return 0;
    }
}

// Mesa reports a texture it had no room for only through the error state;
// drawing with it would show an untextured solid. Other errors are not ours
// to judge here.
bool gl_ran_out_of_memory() {
    bool out_of_memory = false;
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        out_of_memory = out_of_memory || error == GL_OUT_OF_MEMORY;
    }
    return out_of_memory;
}

}  // namespace

bool upload_mipmapped_texture(const DecodedImage& image) {
    const GLenum format = pixel_format(image.components);
    if (format == 0 || image.width < 1 || image.height < 1) return false;
    const size_t expected = size_t(image.width) * size_t(image.height) * size_t(image.components);
    if (image.pixels.size() != expected) return false;

    // Rows are tightly packed; whatever alignment was set stays for others.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLint built = gluBuild2DMipmaps(GL_TEXTURE_2D, GLint(format), image.width, image.height,
                                          format, GL_UNSIGNED_BYTE, image.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return built == 0 && !gl_ran_out_of_memory();
}

bool load_texture_2d(const char* path) {
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    DecodedImage image;
    return read_tga_file(path, max_side, image) && upload_mipmapped_texture(image);
}

}  // namespace solidmorph
