#pragma once

#include "render/tga_decode.h"

namespace solidmorph {

// Uploads the image into the bound 2D texture with its full mipmap chain,
// sides rescaled to powers of two; sets no texture parameters. False when the
// image is not one the GL takes or there is no memory for the chain.
bool upload_mipmapped_texture(const DecodedImage& image);

// Reads a TGA file into the bound 2D texture with its full mipmap chain.
// False when the file is missing, unreadable, not an image we accept, too
// big for the memory at hand, or when a stop was requested while another
// process's lease held the file back.
bool load_texture_2d(const char* path);

}  // namespace solidmorph
