#include "export/plate_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "export/export_surface.h"
#include "export/mesh_math.h"
#include "export/printable_solid.h"
#include "export/threemf_file.h"
#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"
#include "morph/surface_setup.h"

namespace solidmorph {

namespace {

// The shape options that take their value as the next word.
bool takes_value(const std::string& word) {
    constexpr std::array<std::string_view, 11> options = {
        "-o",     "--output",    "--preset", "--frame", "--shape", "--texture",
        "--size", "--flat-base", "--detail", "--kept",  "--frames"};
    return std::any_of(options.begin(), options.end(),
                       [&word](std::string_view option) { return word == option; });
}

}  // namespace

bool take_plate_options(std::vector<std::string>& args, PlateOptions& plate, std::string& error) {
    std::vector<std::string> rest;
    const std::string name = "--plate";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        // Past "--" every word is an argument, as getopt takes it.
        if (word == "--") {
            rest.insert(rest.end(), args.begin() + std::ptrdiff_t(i), args.end());
            break;
        }
        // The value of another option is that option's, whatever it says.
        if (takes_value(word) && i + 1 < args.size()) {
            rest.push_back(word);
            rest.push_back(args[++i]);
            continue;
        }
        std::string value;
        if (word == name) {
            if (i + 1 == args.size()) {
                error = "option '--plate' needs a value";
                return false;
            }
            value = args[++i];
        } else if (word.rfind(name + "=", 0) == 0) {
            value = word.substr(name.size() + 1);
        } else {
            rest.push_back(word);
            continue;
        }
        uint64_t count = 0;
        if (plate.stages != 0) {
            error = "more than one --plate given";
            return false;
        }
        if (!parse_frame(value, count) || count < uint64_t(least_plate_stages) ||
            count > uint64_t(most_plate_stages)) {
            error = "--plate takes a whole number of stages from " +
                    std::to_string(least_plate_stages) + " to " +
                    std::to_string(most_plate_stages) + ", not '" + value + "'";
            return false;
        }
        plate.stages = int(count);
    }
    args = std::move(rest);
    return true;
}

bool check_plate_options(const PlateOptions& plate, const ExportOptions& options,
                         const ShapeOptionsSeen& seen, std::string& error) {
    if (plate.stages == 0) return true;
    if (options.animation) {
        error = "--plate and --animation do not go together: a plate is a .3mf of solids";
        return false;
    }
    if (!seen.output || options.format != MeshFormat::threemf) {
        error = "--plate writes a .3mf: say where with -o FILE.3mf";
        return false;
    }
    if (!(options.size > 0.0)) {
        error = "--plate needs --size MM: the stages are laid out on a plate in millimetres";
        return false;
    }
    if (seen.shape && (plate.frames_given || options.source != ShapeSource::preset ||
                       !options.kept_name.empty())) {
        error = "--plate takes its morph from --preset N or --frames FIRST:LAST alone";
        return false;
    }
    if (seen.shape && options.preset == 1) {
        error = "--plate needs a preset from 2 to " + std::to_string(preset_count) +
                ": the morph runs from the sphere, preset 1, to it";
        return false;
    }
    if (plate.frames_given && plate.last - plate.first < uint64_t(plate.stages)) {
        error = "--frames " + std::to_string(plate.first) + ":" + std::to_string(plate.last) +
                " holds fewer frames than the " + std::to_string(plate.stages) +
                " stages of --plate";
        return false;
    }
    return true;
}

void first_visit(int preset, uint64_t& first, uint64_t& last) {
    const MorphState kept = save_morph();
    reset_morph();
    start_shapes();
    // A period starts where the scheduler has just picked its target; the
    // first one bound for the preset starts from the sphere.
    uint64_t frame = 0;
    while (target_index != preset && frame < opening_frames + cycle_frames) {
        advance_morph();
        ++frame;
    }
    // The step that picked it drew the morph's first frame, from the sphere
    // the frame before showed.
    first = frame == 0 ? 0 : frame - 1;
    last = first + uint64_t(morph_frames) + 1;
    restore_morph(kept);
}

std::vector<uint64_t> stage_frames(uint64_t first, uint64_t last, int stages) {
    const uint64_t span = last - 1 - first, steps = uint64_t(stages - 1);
    const uint64_t whole = span / steps, part = span % steps;
    std::vector<uint64_t> frames;
    for (uint64_t k = 0; k < uint64_t(stages); ++k) {
        frames.push_back(first + k * whole + k * part / steps);
    }
    return frames;
}

namespace {

PlateLayout lay_out_with_gap(const std::vector<Vec3>& lows, const std::vector<Vec3>& highs,
                             double gap) {
    PlateLayout layout;
    layout.gap = gap;
    double cell_width = 0.0, cell_depth = 0.0;
    for (size_t i = 0; i < lows.size(); ++i) {
        cell_width = std::max(cell_width, double(highs[i].x) - lows[i].x);
        cell_depth = std::max(cell_depth, double(highs[i].y) - lows[i].y);
    }
    const int count = int(lows.size());
    // As many to a row as the plate's width takes (at least one), then the
    // rows that makes, as evenly filled as they can be.
    const double room_x = plate_width - 2 * plate_margin, room_y = plate_depth - 2 * plate_margin;
    layout.columns = std::clamp(int((room_x + gap) / (cell_width + gap)), 1, std::max(count, 1));
    layout.rows = (count + layout.columns - 1) / layout.columns;
    layout.columns = (count + layout.rows - 1) / layout.rows;
    layout.width = layout.columns * cell_width + (layout.columns - 1) * gap;
    layout.depth = layout.rows * cell_depth + (layout.rows - 1) * gap;
    layout.fits = layout.width <= room_x && layout.depth <= room_y;
    const double left = (plate_width - layout.width) / 2, front = (plate_depth - layout.depth) / 2;
    for (int i = 0; i < count; ++i) {
        const int column = i % layout.columns, row = i / layout.columns;
        // Each solid centred in its cell, to a whole micrometre.
        const double centre_x = left + column * (cell_width + gap) + cell_width / 2;
        const double centre_y = front + row * (cell_depth + gap) + cell_depth / 2;
        const double x = centre_x - (double(lows[size_t(i)].x) + highs[size_t(i)].x) / 2;
        const double y = centre_y - (double(lows[size_t(i)].y) + highs[size_t(i)].y) / 2;
        layout.offset_x.push_back(float(std::round(x * 1000.0) / 1000.0));
        layout.offset_y.push_back(float(std::round(y * 1000.0) / 1000.0));
    }
    return layout;
}

}  // namespace

PlateLayout lay_out_plate(const std::vector<Vec3>& lows, const std::vector<Vec3>& highs) {
    for (double gap = plate_gap; gap >= least_plate_gap; gap -= 1.0) {
        PlateLayout layout = lay_out_with_gap(lows, highs, gap);
        if (layout.fits) return layout;
    }
    return lay_out_with_gap(lows, highs, plate_gap);
}

bool build_plate_files(const PlateOptions& plate, const ExportOptions& options, ExportFiles& out,
                       std::string& error) {
    uint64_t first = plate.first, last = plate.last;
    if (!plate.frames_given) first_visit(options.preset > 0 ? options.preset : 6, first, last);
    const std::vector<uint64_t> frames = stage_frames(first, last, plate.stages);
    std::vector<PlacedSolid> solids;
    std::vector<Vec3> lows, highs;
    for (size_t k = 0; k < frames.size(); ++k) {
        const std::string name = "stage " + std::to_string(k + 1) + " of " +
                                 std::to_string(frames.size()) + " (frame " +
                                 std::to_string(frames[k]) + ")";
        const ShapeParams shape = frame_shape(frames[k]);
        const ExportSurface surface = export_surface(shape, shape, options.detail);
        PlacedSolid placed{{}, name};
        if (!all_finite(surface.positions)) {
            error = name + ": this shape has infinite or undefined (NaN) vertices";
            return false;
        }
        if (!make_printable_solid(surface, placed.solid, error, options.size)) {
            error.insert(0, name + ": this shape cannot be made a printable solid: ");
            return false;
        }
        if (!cut_as_asked(placed.solid, options.flat_base, options.flat_base_percent, error,
                          true)) {
            error.insert(0, name + ": ");
            return false;
        }
        const Box box = bounding_box(placed.solid.vertices);
        lows.push_back(box.low);
        highs.push_back(box.high);
        solids.push_back(std::move(placed));
    }
    const PlateLayout layout = lay_out_plate(lows, highs);
    for (size_t k = 0; k < solids.size(); ++k) {
        solids[k].offset_x = layout.offset_x[k];
        solids[k].offset_y = layout.offset_y[k];
    }
    out.files.assign(1, OutputFile{options.output, {}});
    if (!threemf_plate_bytes(solids, out.files[0].bytes, error)) return false;
    size_t triangles = 0;
    double volume = 0.0;
    for (const PlacedSolid& s : solids) {
        triangles += s.solid.triangles.size();
        volume += s.solid.volume;
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  ": %zu stages, frames %llu to %llu, %zu triangles, volume %.2f cm3, in %d "
                  "%s of %d, %.1f x %.1f mm",
                  solids.size(), static_cast<unsigned long long>(frames.front()),
                  static_cast<unsigned long long>(frames.back()), triangles, volume / 1000.0,
                  layout.rows, layout.rows == 1 ? "row" : "rows", layout.columns, layout.width,
                  layout.depth);
    out.summary = text;
    if (!layout.fits) {
        std::snprintf(text, sizeof text, ", larger than a %.0f x %.0f mm plate", plate_width,
                      plate_depth);
        out.summary += text;
    }
    return true;
}

}  // namespace solidmorph
