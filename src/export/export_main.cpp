// solidmorph-export: writes one shape of the program, exactly as it
// generates it, as a mesh file for other programs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "export/export_surface.h"
#include "export/file_output.h"
#include "export/mesh_files.h"
#include "export/printable_solid.h"
#include "image/tga_file.h"
#include "morph/morph_scheduler.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace {

using namespace solidmorph;
namespace fs = std::filesystem;

constexpr const char* program_name = "solidmorph-export";

// The number of presets comes in at the %d.
constexpr const char* usage_text =
    "Usage: solidmorph-export (--preset N | --frame F | --shape a,b,m,n1,n2,n3) -o FILE\n"
    "                         [--size MM] [--texture FILE.tga]\n"
    "Writes one shape of solidmorph, exactly as the program generates it.\n"
    "\n"
    "  --preset N      preset N of the shape table, 1 (the sphere) to %d\n"
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
    "  --size MM       scale the shape so its largest extent is MM millimetres; an\n"
    "                  .stl is then also laid on the plate (lowest point at z = 0)\n"
    "  --texture FILE  the TGA texture for .glb (default: the installed vein.tga);\n"
    "                  with NAME.obj, also writes NAME.mtl and NAME.png beside it\n"
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "The files are written whole or not at all. Exit status: 0 when written, 1 when\n"
    "the shape or the file cannot be written, 2 on bad usage, 128 + the signal when\n"
    "stopped by one while writing (nothing is left behind).\n";

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

// "Cannot find" only for a file that is not there: anything else in its
// place, or a file that cannot be read or decoded, gets its own message.
bool read_texture(const std::string& chosen, DecodedImage& image, std::string& error) {
    std::vector<fs::path> candidates;
    if (!chosen.empty()) {
        candidates.push_back(chosen);
    } else {
        candidates = default_texture_paths();
    }
    for (const fs::path& path : candidates) {
        const std::string name = path.string();
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) continue;
            error = "cannot read the texture " + name + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            error = "the texture " + name + " is not a regular file";
            return false;
        }
        // Any texture a GL takes fits well within this.
        constexpr int32_t max_side = 16384;
        if (read_tga_file(path.c_str(), max_side, image)) return true;
        if (access(path.c_str(), R_OK) != 0) {
            error = "cannot read the texture " + name + ": " + std::strerror(errno);
        } else {
            error = "cannot decode the texture " + name + ": not a TGA image this program reads";
        }
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

// A closed standard stream would hand its number to the next file opened,
// and a message meant for it would land in that file: hold them open on
// /dev/null. True if standard output had to be.
bool hold_standard_streams_open() {
    bool output_closed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        output_closed = output_closed || fd == 1;
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
    return output_closed;
}

bool all_finite(const ExportSurface& surface) {
    for (const Vec3& p : surface.positions) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool output_closed = hold_standard_streams_open();
    // A write past the file size limit then fails like a full disk, and the
    // temporary file is cleaned up, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);

    ExportOptions options;
    std::string error;
    if (!parse_export_options(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        return usage_error(error);
    }
    if (options.action == ExportAction::help) {
        std::printf(usage_text, preset_count);
        return 0;
    }
    if (options.action == ExportAction::version) {
        std::printf("%s %s\n", program_name, SOLIDMORPH_VERSION);
        return 0;
    }

    ExportSurface surface = export_surface(chosen_shape(options));
    if (!all_finite(surface)) {
        return failure("this shape has infinite or undefined (NaN) vertices");
    }
    // Positions stay the generator's floats unless a size is asked for.
    if (options.size > 0.0 && options.format != MeshFormat::stl &&
        !fit_to_size(surface.positions, options.size, false)) {
        return failure("this shape cannot be scaled to that size");
    }
    std::vector<OutputFile> files(1);
    files[0].path = options.output;
    Bytes& bytes = files[0].bytes;
    std::string summary;
    switch (options.format) {
        case MeshFormat::obj: {
            std::string material;
            if (!options.texture.empty()) {
                DecodedImage texture;
                if (!read_texture(options.texture, texture, error)) return failure(error);
                fs::path beside(options.output);
                const std::string png = beside.replace_extension(".png").string();
                const std::string mtl = beside.replace_extension(".mtl").string();
                material = fs::path(mtl).filename().string();
                const std::string text = mtl_text(fs::path(png).filename().string());
                files.push_back({mtl, Bytes(text.begin(), text.end())});
                files.push_back({png, {}});
                if (!png_bytes(texture, files.back().bytes, true)) {
                    return failure("the texture cannot be encoded as PNG");
                }
                summary = " (with " + mtl + " and " + png + ")";
            }
            const std::string text = obj_text(surface, material);
            files[0].bytes.assign(text.begin(), text.end());
            summary += ": " + std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
        case MeshFormat::stl: {
            PrintableSolid solid;
            if (!make_printable_solid(surface, solid, error, options.size)) {
                return failure("this shape cannot be made a printable solid: " + error);
            }
            bytes = stl_bytes(solid);
            char volume[64];
            std::snprintf(volume, sizeof volume, ", volume %.6g", solid.volume);
            summary = ": " + std::to_string(solid.triangles.size()) + " triangles" + volume;
            break;
        }
        case MeshFormat::glb: {
            DecodedImage texture;
            if (!read_texture(options.texture, texture, error)) return failure(error);
            if (!glb_bytes(surface, texture, std::string(program_name) + " " + SOLIDMORPH_VERSION,
                           bytes, error)) {
                return failure(error);
            }
            summary = ": " + std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
    }
    if (!write_files_atomically(files, error)) return failure(error);

    // The files are in place whatever happens to the report.
    std::printf("wrote %s%s\n", options.output.c_str(), summary.c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || output_closed) {
        std::fprintf(stderr, "%s: wrote %s, but cannot write the report: %s\n", program_name,
                     options.output.c_str(),
                     output_closed ? "standard output is closed" : std::strerror(errno));
        return 1;
    }
    return 0;
}
