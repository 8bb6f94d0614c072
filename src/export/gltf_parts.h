#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_surface.h"
#include "image/tga_decode.h"

namespace solidmorph {

// The pieces every binary glTF of the exporter is built from, all in the
// model's one buffer.

// A fresh glTF 2.0 model naming its generator, with its one buffer, and
// the texture encoded as PNG for add_marble_material. False, with a
// reason, if the texture cannot be encoded.
bool begin_gltf_model(const DecodedImage& texture, const std::string& generator,
                      tinygltf::Model& model, std::vector<uint8_t>& png, std::string& reason);

inline constexpr int gltf_array_buffer = 34962;
inline constexpr int gltf_element_array_buffer = 34963;

// Appends the bytes to the buffer as a view of their own, aligned for
// floats; target 0 names no GL target. Its index.
int add_gltf_view(tinygltf::Model& model, const void* data, size_t bytes, int target);
template <typename T>
int add_gltf_view(tinygltf::Model& model, const std::vector<T>& data, int target) {
    return add_gltf_view(model, data.data(), data.size() * sizeof(T), target);
}

// An accessor over a whole view; its index.
int add_gltf_accessor(tinygltf::Model& model, int view, int component, int type, size_t count);

// The low and high corner of the positions' bounding box, as an accessor
// of positions must carry them.
void set_position_bounds(tinygltf::Accessor& accessor, const std::vector<Vec3>& positions);

// Whether a surface can go into a glTF: as many normals and texture
// coordinates as positions, all of them finite, every corner in the grid.
bool surface_fits_gltf(const ExportSurface& surface, std::string& reason);

// The surface's positions, normals, texture coordinates and triangle list,
// in that order, as one triangle primitive using material 0.
tinygltf::Primitive add_surface_primitive(tinygltf::Model& model, const ExportSurface& surface);

// The same over position and normal accessors already added (in some
// other form): the texture coordinates and triangle list follow them.
tinygltf::Primitive add_surface_primitive(tinygltf::Model& model, const ExportSurface& surface,
                                          int positions, int normals);

// The program's marble: the texture (already PNG) embedded and sampled as
// the program samples it, on a double-sided material 0.
void add_marble_material(tinygltf::Model& model, const std::vector<uint8_t>& png);

// The model as binary glTF. False, with a reason, if the writer fails.
bool glb_of(tinygltf::Model& model, std::vector<uint8_t>& glb, std::string& reason);

}  // namespace solidmorph
