#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_surface.h"
#include "export/printable_solid.h"
#include "image/tga_decode.h"

namespace solidmorph {

using Bytes = std::vector<uint8_t>;

// Wavefront OBJ: every grid vertex with its normal and texture coordinate,
// one face per triangle of the list. Numbers are written in their shortest
// form that reads back to the same float. With a material library's file
// name, the faces use its one material.
std::string obj_text(const ExportSurface& surface, const std::string& material_library = "");

// The material library beside an OBJ: one material whose diffuse colour
// is the texture in the named image file.
std::string mtl_text(const std::string& texture_file);

// Binary STL of a closed solid, one facet per triangle with its unit normal.
Bytes stl_bytes(const PrintableSolid& solid);

// The image as PNG, rows in the order they are held (the GL's bottom row
// first), or turned upright with top_row_first. False if it cannot be
// encoded.
bool png_bytes(const DecodedImage& image, Bytes& png, bool top_row_first = false);

// Binary glTF 2.0: one mesh of the grid and the triangle list, with
// positions, normals, texture coordinates and a double-sided material whose
// base colour is the texture, embedded as PNG and sampled like the
// program's (repeat, linear, nearest mipmap linear). False, with a reason,
// if it cannot be built.
bool glb_bytes(const ExportSurface& surface, const DecodedImage& texture,
               const std::string& generator, Bytes& glb, std::string& reason);

}  // namespace solidmorph
