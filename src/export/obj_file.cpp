#include "export/obj_file.h"

#include <charconv>
#include <filesystem>

namespace solidmorph {

namespace {

void append_float(std::string& out, float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
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

ObjSideFiles obj_side_files(const std::string& obj_path) {
    namespace fs = std::filesystem;
    fs::path beside(obj_path);
    ObjSideFiles files;
    files.png = beside.replace_extension(".png").string();
    files.mtl = beside.replace_extension(".mtl").string();
    files.library = fs::path(files.mtl).filename().string();
    return files;
}

}  // namespace solidmorph
