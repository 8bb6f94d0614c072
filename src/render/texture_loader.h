#pragma once

#include "render/tga_decode.h"

namespace solidmorph {

// Uploads the image into the bound 2D texture with its full mipmap chain,
// sides rescaled to powers of two; sets no texture parameters.
void upload_mipmapped_texture(const DecodedImage& image);

// Reads a TGA file into the bound 2D texture with its full mipmap chain.
// False when the file is missing, unreadable or not an image we accept.
bool load_texture_2d(const char* path);

}  // namespace solidmorph
