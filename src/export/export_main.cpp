// solidmorph-export: writes one shape of the program, exactly as it
// generates it, as a mesh file for other programs.
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "export/export_surface.h"
#include "export/file_output.h"
#include "export/mesh_files.h"
#include "export/printable_solid.h"
#include "image/tga_file.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace {

using namespace solidmorph;
namespace fs = std::filesystem;

constexpr const char* program_name = "solidmorph-export";

constexpr const char* usage_text =
    "Usage: solidmorph-export (--preset N | --frame F | --shape a,b,m,n1,n2,n3) -o FILE\n"
    "                         [--texture FILE.tga]\n"
    "Writes one shape of solidmorph, exactly as the program generates it.\n"
    "\n"
    "  --preset N      preset N of the shape table, 1 (the sphere) to 11\n"
    "  --frame F       the shape the program shows in frame F of a run, counting the\n"
    "                  first frame drawn as 1; frame 0 is the sphere it starts from\n"
    "  --shape a,b,m,n1,n2,n3\n"
    "                  any parameter set of the superformula\n"
    "  -o, --output FILE\n"
    "                  the file to write; its extension picks the format:\n"
    "                    .glb  binary glTF 2.0 with normals, texture coordinates\n"
    "                          and the marble texture embedded\n"
    "                    .obj  Wavefront OBJ with normals and texture coordinates\n"
    "                    .stl  binary STL of a closed, printable solid\n"
    "  --texture FILE  the TGA texture for .glb (default: the installed vein.tga)\n"
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "The file is written whole or not at all. Exit status: 0 when written, 1 when\n"
    "the shape or the file cannot be written, 2 on bad usage.\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program_name,
                 message.c_str(), program_name);
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "%s: %s; nothing written\n", program_name, message.c_str());
    return 1;
}

// The installed layout keeps the texture in ../share/solidmorph from the
// program's folder; the build folder keeps a copy beside it.
std::vector<fs::path> default_texture_paths() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path folder = self.parent_path();
    return {folder / ".." / "share" / "solidmorph" / "vein.tga", folder / "vein.tga"};
}

bool read_texture(const std::string& chosen, DecodedImage& image, std::string& error) {
    std::vector<fs::path> candidates;
    if (!chosen.empty()) {
        candidates.push_back(chosen);
    } else {
        candidates = default_texture_paths();
    }
    for (const fs::path& path : candidates) {
        std::error_code ignored;
        if (!fs::is_regular_file(path, ignored)) continue;
        // Any texture a GL takes fits well within this.
        constexpr int32_t max_side = 16384;
        if (read_tga_file(path.c_str(), max_side, image)) return true;
        error = "cannot read the texture " + path.string() + " (not a TGA image we accept)";
        return false;
    }
    error = chosen.empty() ? "cannot find the installed texture vein.tga; give one with --texture"
                           : "cannot find the texture " + chosen;
    return false;
}

ShapeParams chosen_shape(const ExportOptions& options) {
    switch (options.source) {
        case ShapeSource::preset:
            return preset_shape(options.preset);
        case ShapeSource::frame:
            return frame_shape(options.frame);
        case ShapeSource::shape:
            break;
    }
    return options.shape;
}

bool all_finite(const ExportSurface& surface) {
    for (const Vec3& p : surface.positions) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file size limit then fails like a full disk, and the
    // temporary file is cleaned up, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);

    ExportOptions options;
    std::string error;
    if (!parse_export_options(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        return usage_error(error);
    }
    if (options.action == ExportAction::help) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (options.action == ExportAction::version) {
        std::printf("%s %s\n", program_name, SOLIDMORPH_VERSION);
        return 0;
    }

    const ExportSurface surface = export_surface(chosen_shape(options));
    if (!all_finite(surface)) {
        return failure("this shape has infinite or undefined (NaN) vertices");
    }
    Bytes bytes;
    std::string summary;
    switch (options.format) {
        case MeshFormat::obj: {
            const std::string text = obj_text(surface);
            bytes.assign(text.begin(), text.end());
            summary = std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
        case MeshFormat::stl: {
            PrintableSolid solid;
            if (!make_printable_solid(surface, solid, error)) {
                return failure("this shape cannot be made a printable solid: " + error);
            }
            bytes = stl_bytes(solid);
            char volume[64];
            std::snprintf(volume, sizeof volume, ", volume %.6g", solid.volume);
            summary = std::to_string(solid.triangles.size()) + " triangles" + volume;
            break;
        }
        case MeshFormat::glb: {
            DecodedImage texture;
            if (!read_texture(options.texture, texture, error)) return failure(error);
            if (!glb_bytes(surface, texture, std::string(program_name) + " " + SOLIDMORPH_VERSION,
                           bytes, error)) {
                return failure(error);
            }
            summary = std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
    }
    if (!write_file_atomically(options.output, bytes.data(), bytes.size(), error)) {
        return failure(error);
    }
    std::printf("wrote %s: %s\n", options.output.c_str(), summary.c_str());
    return 0;
}
