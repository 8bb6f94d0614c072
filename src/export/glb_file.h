#pragma once

#include <string>

#include "export/export_surface.h"
#include "export/mesh_math.h"
#include "image/tga_decode.h"

namespace solidmorph {

// Binary glTF 2.0: one mesh of the grid and the triangle list, with
// positions, normals, texture coordinates and a double-sided material whose
// base colour is the texture, embedded as PNG and sampled like the
// program's (repeat, linear, nearest mipmap linear). False, with a reason,
// if it cannot be built.
bool glb_bytes(const ExportSurface& surface, const DecodedImage& texture,
               const std::string& generator, Bytes& glb, std::string& reason);

}  // namespace solidmorph
