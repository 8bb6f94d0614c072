#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_job.h"
#include "shapes/export_options.h"

namespace solidmorph {

// A print plate of one morph: `stages` solids, evenly spaced along it, side
// by side in one 3MF. The morph is the program's first way from the sphere
// to the preset of the options (6 unless --preset names another), or the
// frames from `first` up to, not including, `last`.
struct PlateOptions {
    int stages = 0;  // 0: no plate
    bool frames_given = false;
    uint64_t first = 0, last = 0;
};

inline constexpr int least_plate_stages = 2;
inline constexpr int most_plate_stages = 24;

// The plate a slicer's default bed has room for, in millimetres, and the
// gap kept between two solids: 5 mm, or down to 2 mm where that makes them
// fit.
inline constexpr double plate_width = 250.0;
inline constexpr double plate_depth = 210.0;
inline constexpr double plate_gap = 5.0;
inline constexpr double least_plate_gap = 2.0;
// Kept free along the plate's edges, so that the micrometres of each
// solid's offset never take it past them.
inline constexpr double plate_margin = 1.0;

// Takes --plate N (as two words or with '=') out of the arguments, leaving
// the rest for the shape options, which read --frames too. False, with a
// message for the user, on a bad value or one given twice.
bool take_plate_options(std::vector<std::string>& args, PlateOptions& plate, std::string& error);

// What a plate needs of the other options, once they are parsed (and its
// frames taken from them): a .3mf, a size, no other shape than a preset
// from 2 to 11, no animation, and frames enough for its stages. False,
// with a message for the user.
bool check_plate_options(const PlateOptions& plate, const ExportOptions& options,
                         const ShapeOptionsSeen& seen, std::string& error);

// The frames the running program shows on its first way from the sphere to
// the preset: the morph's first frame (the sphere) to its last, as a range
// whose last frame is not included.
void first_visit(int preset, uint64_t& first, uint64_t& last);

// `stages` frames evenly spaced from `first` to `last` - 1, both included
// (rounded down); needs last - first >= stages >= 2.
std::vector<uint64_t> stage_frames(uint64_t first, uint64_t last, int stages);

// Where each solid goes: its offset on the plate, in rows from the front
// left, in the order given, every solid centred in a cell as wide and deep
// as the largest, a gap between cells, the whole centred on the plate.
// `fits` is false when even the least gap leaves the rows wider or deeper
// than the plate within its margin; they are then laid out with the full gap all the same,
// running past its edges.
struct PlateLayout {
    std::vector<float> offset_x, offset_y;
    double width = 0.0, depth = 0.0;  // of all the rows
    double gap = 0.0;
    int columns = 0, rows = 0;
    bool fits = false;
};
PlateLayout lay_out_plate(const std::vector<Vec3>& lows, const std::vector<Vec3>& highs);

// The plate's 3MF and its report line, as build_export_files gives a
// solid's: every stage a checked solid at the size, cut flat when asked.
// False, with the reason (naming the stage), if any stage cannot be made.
bool build_plate_files(const PlateOptions& plate, const ExportOptions& options, ExportFiles& out,
                       std::string& error);

}  // namespace solidmorph
