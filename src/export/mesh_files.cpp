#include "export/mesh_files.h"

#include <stb_image_write.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "export/gltf_parts.h"

namespace solidmorph {

namespace {

void append_float(std::string& out, float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

template <typename T>
void append_raw(Bytes& out, const T& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

}  // namespace

std::string obj_text(const ExportSurface& surface, const std::string& material_library) {
    std::string out = "# solidmorph supershape: the program's grid and triangle list\n";
    if (!material_library.empty()) out += "mtllib " + material_library + "\n";
    out.reserve(surface.positions.size() * 100 + surface.triangles.size() * 40);
    auto line = [&](const char* tag, std::initializer_list<float> values) {
        out += tag;
        for (const float value : values) {
            out += ' ';
            append_float(out, value);
        }
        out += '\n';
    };
    for (const Vec3& p : surface.positions) line("v", {p.x, p.y, p.z});
    for (const Vec2& t : surface.texcoords) line("vt", {t.u, t.v});
    for (const Vec3& n : surface.normals) line("vn", {n.x, n.y, n.z});
    if (!material_library.empty()) out += "usemtl marble\n";
    for (const TriangleCorners& c : surface.triangles) {
        out += 'f';
        for (const uint32_t index : c) {
            const std::string one = std::to_string(index + 1);
            out += ' ';
            out += one;
            out += '/';
            out += one;
            out += '/';
            out += one;
        }
        out += '\n';
    }
    return out;
}

std::string mtl_text(const std::string& texture_file) {
    return "# solidmorph supershape: its marble texture\n"
           "newmtl marble\n"
           "Ka 1 1 1\n"
           "Kd 1 1 1\n"
           "Ks 0 0 0\n"
           "illum 1\n"
           "map_Kd " +
           texture_file + "\n";
}

Bytes stl_bytes(const PrintableSolid& solid) {
    Bytes out;
    out.reserve(84 + solid.triangles.size() * 50);
    // A binary header must not start with "solid", or readers take the file
    // for text.
    char header[80] = {};
    std::strncpy(header, "binary STL: solidmorph supershape, closed and facing outward",
                 sizeof header);
    out.insert(out.end(), header, header + sizeof header);
    append_raw(out, uint32_t(solid.triangles.size()));
    for (const TriangleCorners& c : solid.triangles) {
        const Vec3 &p = solid.vertices[c[0]], &q = solid.vertices[c[1]], &r = solid.vertices[c[2]];
        const double ux = double(q.x) - p.x, uy = double(q.y) - p.y, uz = double(q.z) - p.z;
        const double wx = double(r.x) - p.x, wy = double(r.y) - p.y, wz = double(r.z) - p.z;
        const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        for (const double n : {nx / length, ny / length, nz / length}) append_raw(out, float(n));
        for (const Vec3* corner : {&p, &q, &r}) {
            append_raw(out, corner->x);
            append_raw(out, corner->y);
            append_raw(out, corner->z);
        }
        append_raw(out, uint16_t(0));
    }
    return out;
}

bool png_bytes(const DecodedImage& image, Bytes& png, bool top_row_first) {
    png.clear();
    if (image.width < 1 || image.height < 1 || image.components < 1 || image.components > 4 ||
        image.pixels.size() !=
            size_t(image.width) * size_t(image.height) * size_t(image.components)) {
        return false;
    }
    auto sink = [](void* context, void* data, int size) {
        auto* bytes = static_cast<Bytes*>(context);
        const auto* begin = static_cast<const uint8_t*>(data);
        bytes->insert(bytes->end(), begin, begin + size);
    };
    // OBJ readers put v = 0 at the image's last row, as the GL does its
    // first: the file's rows must run top down for them.
    const size_t row = size_t(image.width) * size_t(image.components);
    std::vector<uint8_t> upright;
    if (top_row_first) {
        upright.reserve(image.pixels.size());
        for (size_t y = size_t(image.height); y-- > 0;) {
            upright.insert(upright.end(), image.pixels.begin() + std::ptrdiff_t(y * row),
                           image.pixels.begin() + std::ptrdiff_t((y + 1) * row));
        }
    }
    const uint8_t* pixels = top_row_first ? upright.data() : image.pixels.data();
    return stbi_write_png_to_func(sink, &png, image.width, image.height, image.components, pixels,
                                  int(row)) != 0 &&
           !png.empty();
}

bool glb_bytes(const ExportSurface& surface, const DecodedImage& texture,
               const std::string& generator, Bytes& glb, std::string& reason) {
    glb.clear();
    if (!surface_fits_gltf(surface, reason)) return false;
    Bytes png;
    if (!png_bytes(texture, png)) {
        reason = "the texture cannot be encoded as PNG";
        return false;
    }

    tinygltf::Model model;
    model.asset.version = "2.0";
    model.asset.generator = generator;
    model.buffers.resize(1);
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
