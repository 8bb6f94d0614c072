#pragma once

#include "image/tga_decode.h"

namespace solidmorph {

// Uploads the image into the bound 2D texture with its full mipmap chain,
// sides rescaled to powers of two; sets no texture parameters. False when the
// image is not one the GL takes or there is no memory for the chain.
bool upload_mipmapped_texture(const DecodedImage& image);

// Reads a TGA file into the bound 2D texture with its full mipmap chain.
// False when read_tga_file refuses it (see image/tga_file.h) or the upload
// fails.
bool load_texture_2d(const char* path);

}  // namespace solidmorph
