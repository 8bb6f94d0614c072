#include "export/gltf_parts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "export/mesh_math.h"
#include "export/png_file.h"

namespace solidmorph {

bool begin_gltf_model(const DecodedImage& texture, const std::string& generator,
                      tinygltf::Model& model, std::vector<uint8_t>& png, std::string& reason) {
    if (!png_bytes(texture, png)) {
        reason = "the texture cannot be encoded as PNG";
        return false;
    }
    model = tinygltf::Model{};
    model.asset.version = "2.0";
    model.asset.generator = generator;
    model.buffers.resize(1);
    return true;
}

int add_gltf_view(tinygltf::Model& model, const void* data, size_t bytes, int target) {
    std::vector<uint8_t>& buffer = model.buffers[0].data;
    while (buffer.size() % 4 != 0) buffer.push_back(0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buffer.size();
    view.byteLength = bytes;
    view.target = target;
    const auto* begin = static_cast<const uint8_t*>(data);
    buffer.insert(buffer.end(), begin, begin + bytes);
    model.bufferViews.push_back(view);
    return int(model.bufferViews.size()) - 1;
}

int add_gltf_accessor(tinygltf::Model& model, int view, int component, int type, size_t count) {
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = component;
    accessor.type = type;
    accessor.count = count;
    model.accessors.push_back(accessor);
    return int(model.accessors.size()) - 1;
}

void set_position_bounds(tinygltf::Accessor& accessor, const std::vector<Vec3>& positions) {
    const Box box = bounding_box(positions);
    accessor.minValues = {box.low.x, box.low.y, box.low.z};
    accessor.maxValues = {box.high.x, box.high.y, box.high.z};
}

bool surface_fits_gltf(const ExportSurface& surface, std::string& reason) {
    const size_t count = surface.positions.size();
    if (count == 0 || surface.normals.size() != count || surface.texcoords.size() != count) {
        reason = "the surface is empty";
        return false;
    }
    // glTF allows only finite numbers in its accessors.
    if (!all_finite(surface.positions)) {
        reason = "the surface has infinite or undefined (NaN) vertices";
        return false;
    }
    const auto outside = [count](const TriangleCorners& c) {
        return std::any_of(c.begin(), c.end(), [count](uint32_t index) { return index >= count; });
    };
    if (std::any_of(surface.triangles.begin(), surface.triangles.end(), outside)) {
        reason = "a triangle names a vertex outside the grid";
        return false;
    }
    return true;
}

tinygltf::Primitive add_surface_primitive(tinygltf::Model& model, const ExportSurface& surface) {
    const size_t count = surface.positions.size();
    const int positions =
        add_gltf_accessor(model, add_gltf_view(model, surface.positions, gltf_array_buffer),
                          TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count);
    set_position_bounds(model.accessors[size_t(positions)], surface.positions);
    const int normals =
        add_gltf_accessor(model, add_gltf_view(model, surface.normals, gltf_array_buffer),
                          TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count);
    return add_surface_primitive(model, surface, positions, normals);
}

tinygltf::Primitive add_surface_primitive(tinygltf::Model& model, const ExportSurface& surface,
                                          int positions, int normals) {
    const size_t count = surface.positions.size();
    const int texcoords =
        add_gltf_accessor(model, add_gltf_view(model, surface.texcoords, gltf_array_buffer),
                          TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, count);
    std::vector<uint32_t> corners;
    corners.reserve(surface.triangles.size() * 3);
    for (const TriangleCorners& c : surface.triangles) {
        corners.insert(corners.end(), c.begin(), c.end());
    }
    const int indices = add_gltf_accessor(
        model, add_gltf_view(model, corners, gltf_element_array_buffer),
        TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, corners.size());
    tinygltf::Primitive primitive;
    primitive.attributes["POSITION"] = positions;
    primitive.attributes["NORMAL"] = normals;
    primitive.attributes["TEXCOORD_0"] = texcoords;
    primitive.indices = indices;
    primitive.material = 0;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    return primitive;
}

void add_marble_material(tinygltf::Model& model, const std::vector<uint8_t>& png) {
    tinygltf::Image image;
    image.name = "vein";
    image.mimeType = "image/png";
    image.bufferView = add_gltf_view(model, png, 0);  // an image view has no GL target
    std::vector<uint8_t>& buffer = model.buffers[0].data;
    while (buffer.size() % 4 != 0) buffer.push_back(0);
    model.images.push_back(image);

    // The program's texture state: repeat wrapping, linear magnification,
    // the GL's default minification.
    tinygltf::Sampler sampler;
    sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
    sampler.minFilter = TINYGLTF_TEXTURE_FILTER_NEAREST_MIPMAP_LINEAR;
    sampler.wrapS = TINYGLTF_TEXTURE_WRAP_REPEAT;
    sampler.wrapT = TINYGLTF_TEXTURE_WRAP_REPEAT;
    model.samplers.push_back(sampler);
    tinygltf::Texture gl_texture;
    gl_texture.sampler = 0;
    gl_texture.source = 0;
    model.textures.push_back(gl_texture);

    // The program culls nothing and some of its triangles face inward.
    tinygltf::Material material;
    material.name = "marble";
    material.doubleSided = true;
    material.pbrMetallicRoughness.baseColorTexture.index = 0;
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 0.5;
    model.materials.push_back(material);
}

bool glb_of(tinygltf::Model& model, std::vector<uint8_t>& glb, std::string& reason) {
    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&model, stream, false, true)) {
        reason = "the glTF writer failed";
        return false;
    }
    const std::string text = stream.str();
    glb.assign(text.begin(), text.end());
    return true;
}

}  // namespace solidmorph
