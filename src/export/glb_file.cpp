#include "export/glb_file.h"

#include <tiny_gltf.h>

#include <sstream>
#include <vector>

#include "export/png_file.h"

namespace solidmorph {

namespace {

void pad_to_four(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

}  // namespace

namespace {

constexpr int array_buffer = 34962;
constexpr int element_array_buffer = 34963;

// Appends data to the one buffer as a view of its own, aligned for floats.
template <typename T>
int add_view(tinygltf::Model& model, const std::vector<T>& data, int target) {
    Bytes& buffer = model.buffers[0].data;
    pad_to_four(buffer);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buffer.size();
    view.byteLength = data.size() * sizeof(T);
    view.target = target;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    buffer.insert(buffer.end(), bytes, bytes + view.byteLength);
    model.bufferViews.push_back(view);
    return int(model.bufferViews.size()) - 1;
}

int add_accessor(tinygltf::Model& model, int view, int component, int type, size_t count) {
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = component;
    accessor.type = type;
    accessor.count = count;
    model.accessors.push_back(accessor);
    return int(model.accessors.size()) - 1;
}

}  // namespace

bool glb_bytes(const ExportSurface& surface, const DecodedImage& texture,
               const std::string& generator, Bytes& glb, std::string& reason) {
    glb.clear();
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
    Bytes png;
    if (!png_bytes(texture, png)) {
        reason = "the texture cannot be encoded as PNG";
        return false;
    }

    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = generator;
    model.buffers.resize(1);

    const int positions = add_accessor(model, add_view(model, surface.positions, array_buffer),
                                       TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count);
    const Box box = bounding_box(surface.positions);
    model.accessors[positions].minValues = {box.low.x, box.low.y, box.low.z};
    model.accessors[positions].maxValues = {box.high.x, box.high.y, box.high.z};
    const int normals = add_accessor(model, add_view(model, surface.normals, array_buffer),
                                     TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count);
    const int texcoords = add_accessor(model, add_view(model, surface.texcoords, array_buffer),
                                       TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, count);

    std::vector<uint32_t> corners;
    corners.reserve(surface.triangles.size() * 3);
    for (const TriangleCorners& c : surface.triangles) {
        for (const uint32_t index : c) {
            if (index >= count) {
                reason = "a triangle names a vertex outside the grid";
                return false;
            }
            corners.push_back(index);
        }
    }
    const int indices =
        add_accessor(model, add_view(model, corners, element_array_buffer),
                     TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, corners.size());

    tinygltf::Image image;
    image.name = "vein";
    image.mimeType = "image/png";
    image.bufferView = add_view(model, png, 0);  // an image view has no GL target
    pad_to_four(model.buffers[0].data);
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

    tinygltf::Primitive primitive;
    primitive.attributes["POSITION"] = positions;
    primitive.attributes["NORMAL"] = normals;
    primitive.attributes["TEXCOORD_0"] = texcoords;
    primitive.indices = indices;
    primitive.material = 0;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh solid;
    solid.name = "supershape";
    solid.primitives.push_back(primitive);
    model.meshes.push_back(solid);

    tinygltf::Node node;
    node.mesh = 0;
    node.name = "supershape";
    model.nodes.push_back(node);
    tinygltf::Scene scene;
    scene.nodes.push_back(0);
    model.scenes.push_back(scene);
    model.defaultScene = 0;

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
