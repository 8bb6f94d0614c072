#include "export/glb_file.h"

#include <tiny_gltf.h>

#include "export/gltf_parts.h"

namespace solidmorph {

bool glb_bytes(const ExportSurface& surface, const DecodedImage& texture,
               const std::string& generator, Bytes& glb, std::string& reason) {
    glb.clear();
    if (!surface_fits_gltf(surface, reason)) return false;
    Bytes png;
    tinygltf::Model model;
    if (!begin_gltf_model(texture, generator, model, png, reason)) return false;
    const tinygltf::Primitive primitive = add_surface_primitive(model, surface);
    add_marble_material(model, png);

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
    return glb_of(model, glb, reason);
}

}  // namespace solidmorph
