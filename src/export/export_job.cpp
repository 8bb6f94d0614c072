#include "export/export_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "export/animated_gltf.h"
#include "export/flat_base.h"
#include "export/mesh_files.h"
#include "export/printable_solid.h"
#include "export/threemf_file.h"
#include "image/tga_file.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace solidmorph {

namespace {

namespace fs = std::filesystem;

// The installed layout keeps the texture in ../share/solidmorph from the
// program's folder; the build folder keeps a copy beside it.
std::vector<fs::path> default_texture_paths() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path folder = self.parent_path();
    return {folder / ".." / "share" / "solidmorph" / "vein.tga", folder / "vein.tga"};
}

bool all_finite(const std::vector<Vec3>& positions) {
    return std::all_of(positions.begin(), positions.end(), [](const Vec3& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}

constexpr const char* non_finite_reason = "this shape has infinite or undefined (NaN) vertices";
constexpr const char* unsound_reason = "this shape cannot be made a printable solid: ";

}  // namespace

std::string find_installed_texture() {
    for (const fs::path& path : default_texture_paths()) {
        std::error_code error;
        if (fs::is_regular_file(path, error)) return path.lexically_normal().string();
    }
    return "";
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

namespace {

// The flat base as --flat-base asks for it: a height in the solid's units,
// or a percent of its height; 0 leaves it whole.
bool cut_as_asked(PrintableSolid& solid, double flat_base, bool percent, std::string& error,
                  bool for_threemf) {
    if (!(flat_base > 0.0)) return true;
    const SolidFigures figures = solid_figures(solid);
    const double height =
        percent ? flat_base / 100.0 * (double(figures.high.z) - figures.low.z) : flat_base;
    return cut_flat_base(solid, height, error, for_threemf);
}

}  // namespace

namespace {

// The run of frames as one animated .glb.
bool build_animation_file(const ExportOptions& options, ExportFiles& out, std::string& error) {
    DecodedImage texture;
    if (!read_texture(options.texture, texture, error)) return false;
    out.files.assign(1, OutputFile{options.output, {}});
    AnimationFigures figures;
    // 16-bit positions and normals take a third off the file, with every
    // frame still well within its bound.
    const AnimationRequest request{options.first_frame, options.last_frame, options.detail, true};
    if (!animated_glb_bytes(request, texture, "solidmorph-export " SOLIDMORPH_VERSION,
                            out.files[0].bytes, figures, error)) {
        return false;
    }
    char deviation[32];
    std::snprintf(deviation, sizeof deviation, "%.2f", figures.worst_deviation * 100.0);
    out.summary = ": " + std::to_string(figures.frames) + " frames, " +
                  std::to_string(figures.keys) + " keys, " + std::to_string(figures.targets) +
                  (figures.targets == 1 ? " shape" : " shapes") + ", every frame within " +
                  deviation + "% of its extent";
    return true;
}

}  // namespace

bool build_export_files(const ExportOptions& options, ExportFiles& out, std::string& error) {
    if (options.animation) return build_animation_file(options, out, error);
    const ChosenShape shape = chosen_shape(options);
    ExportSurface surface = export_surface(shape.latitude, shape.longitude, options.detail);
    if (!all_finite(surface.positions)) {
        error = non_finite_reason;
        return false;
    }
    // Positions stay the generator's floats unless a size is asked for.
    if (options.size > 0.0 && !solid_format(options.format) &&
        !fit_to_size(surface.positions, options.size, false)) {
        error = "this shape cannot be scaled to that size";
        return false;
    }
    out.files.assign(1, OutputFile{options.output, {}});
    out.summary.clear();
    // Every solid format writes this one solid, cut flat when asked, and
    // says the same of it.
    PrintableSolid solid;
    if (solid_format(options.format)) {
        if (!make_printable_solid(surface, solid, error, options.size)) {
            error = unsound_reason + error;
            return false;
        }
        if (!cut_as_asked(solid, options.flat_base, options.flat_base_percent, error,
                          options.format == MeshFormat::threemf)) {
            return false;
        }
        out.summary = solid_summary(solid, options.size > 0.0, options.flat_base > 0.0);
    }
    switch (options.format) {
        case MeshFormat::obj: {
            std::string material;
            if (!options.texture.empty()) {
                DecodedImage texture;
                if (!read_texture(options.texture, texture, error)) return false;
                fs::path beside(options.output);
                const std::string png = beside.replace_extension(".png").string();
                const std::string mtl = beside.replace_extension(".mtl").string();
                material = fs::path(mtl).filename().string();
                const std::string text = mtl_text(fs::path(png).filename().string());
                out.files.push_back({mtl, Bytes(text.begin(), text.end())});
                out.files.push_back({png, {}});
                if (!png_bytes(texture, out.files.back().bytes, true)) {
                    error = "the texture cannot be encoded as PNG";
                    return false;
                }
                out.summary = " (with " + mtl + " and " + png + ")";
            }
            const std::string text = obj_text(surface, material);
            out.files[0].bytes.assign(text.begin(), text.end());
            out.summary += ": " + std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
        // The same checked solid in either file, with the same report.
        case MeshFormat::stl:
            out.files[0].bytes = stl_bytes(solid);
            break;
        case MeshFormat::threemf:
            if (!threemf_bytes(solid, out.files[0].bytes, error)) return false;
            // A 3MF must name a unit; STL has none to name.
            if (options.size <= 0.0) out.summary += " (units as generated, written as mm)";
            break;
        case MeshFormat::glb: {
            DecodedImage texture;
            if (!read_texture(options.texture, texture, error)) return false;
            if (!glb_bytes(surface, texture, "solidmorph-export " SOLIDMORPH_VERSION,
                           out.files[0].bytes, error)) {
                return false;
            }
            out.summary = ": " + std::to_string(surface.triangles.size()) + " triangles";
            break;
        }
    }
    return true;
}

void check_solid(const std::vector<Vec3>& positions, const std::vector<TriangleCorners>& triangles,
                 double size, SolidReport& report, double flat_base, bool flat_base_percent) {
    check_solid(ExportSurface{positions, {}, {}, triangles}, size, report, flat_base,
                flat_base_percent);
}

void check_solid(const ExportSurface& surface, double size, SolidReport& report, double flat_base,
                 bool flat_base_percent) {
    report = {};
    if (!all_finite(surface.positions)) {
        report.reason = non_finite_reason;
        return;
    }
    PrintableSolid solid;
    if (!make_printable_solid(surface, solid, report.reason, size)) {
        report.reason = unsound_reason + report.reason;
        return;
    }
    if (!cut_as_asked(solid, flat_base, flat_base_percent, report.reason, false)) return;
    report.sound = true;
    report.volume = solid.volume;
    const SolidFigures figures = solid_figures(solid);
    report.low = figures.low;
    report.high = figures.high;
}

}  // namespace solidmorph
