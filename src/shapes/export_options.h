#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

enum class MeshFormat { glb, stl, obj, threemf };
enum class ShapeSource { preset, frame, shape };
enum class ExportAction { write, help, version };

struct ExportOptions {
    ExportAction action = ExportAction::write;
    ShapeSource source = ShapeSource::preset;
    int preset = 0;
    uint64_t frame = 0;
    // A shape given whole: the latitude's set (the row radius) and the
    // longitude's (the column radius); the program's shapes have one set
    // twice.
    ShapeParams shape{};
    ShapeParams longitude{};
    // Latitude and longitude steps of the grid written; the program draws 64.
    int32_t detail = 64;
    // The kept shape --kept named, whose shape (and detail, unless --detail
    // is given too) the options above hold once parsed.
    std::string kept_name;
    std::string output;
    MeshFormat format = MeshFormat::glb;
    std::string texture;  // empty: the installed one, and for .obj none
    double size = 0.0;    // the largest extent wanted, in millimetres; 0: as generated
    // How high above its lowest point a solid is cut flat to stand on, in
    // millimetres, or in percent of its height; 0: not cut.
    double flat_base = 0.0;
    bool flat_base_percent = false;
    // A run of frames, first_frame up to but not including last_frame, as
    // --frames gives it; what takes a run of frames (an animation) reads it.
    uint64_t first_frame = 0;
    uint64_t last_frame = 0;
    // The program's frames as one animated .glb instead of one shape.
    bool animation = false;
};

// Which of the options a command line gave.
struct ShapeOptionsSeen {
    bool shape = false;  // --preset, --frame, --shape or --kept
    bool output = false;
    bool texture = false;
    bool detail = false;
    bool frames = false;
};

// Reads the options the exporter and the explorer share (without the
// program name), none of them required. False, with a message for the user,
// on anything it does not understand.
bool parse_shape_options(const std::vector<std::string>& args, ExportOptions& options,
                         ShapeOptionsSeen& seen, std::string& error);

// The inverse of parse_shape_options: arguments that parse back to these
// options, each number in the fewest digits that read back exactly; the
// shape option, the file and the texture only where `seen` has them.
std::vector<std::string> shape_option_args(const ExportOptions& options,
                                           const ShapeOptionsSeen& seen);

// parse_shape_options, then what the exporter cannot do without: a shape
// and a file to write it to.
bool parse_export_options(const std::vector<std::string>& args, ExportOptions& options,
                          std::string& error);

// The longest run of frames one animation holds: some four and a half
// hours of the program at 60 frames a second, written in minutes.
inline constexpr uint64_t most_animation_frames = 1000000;

// The grid the program draws, and the finest and coarsest one written.
inline constexpr int32_t program_detail = 64;
inline constexpr int32_t least_detail = 8;
inline constexpr int32_t most_detail = 1024;

// Each value as its option takes it, with nothing around it; false (and
// the value untouched) on anything else. A frame is digits only, from 0 to
// 2^64 - 1; a preset a whole number from 1 to 11; a shape six finite
// numbers a,b,m,n1,n2,n3 (the latitude's and longitude's set alike) or
// twelve (the latitude's six, then the longitude's); a size a finite number
// of millimetres above 0; a detail a whole number of steps from 8 to 1024.
bool parse_frame(std::string_view text, uint64_t& frame);
bool parse_preset(std::string_view text, int& preset);
bool parse_shape(std::string_view text, ShapeParams& latitude, ShapeParams& longitude);
bool parse_size(std::string_view text, double& size);
bool parse_detail(std::string_view text, int32_t& detail);
// A run of frames FIRST:LAST, from FIRST up to but not including LAST, each
// a frame as parse_frame takes it, LAST above FIRST.
bool parse_frames(std::string_view text, uint64_t& first, uint64_t& last);

// The --shape value that reads back to these sets, bit for bit: six numbers
// when they are one set, else twelve; each in the fewest digits.
std::string shape_text(const ShapeParams& latitude, const ShapeParams& longitude);

// Whether two sets are the same to the bit.
bool same_set(const ShapeParams& a, const ShapeParams& b);

// A --flat-base value: a height above 0 in millimetres, or a percent of the
// height above 0 and below 100 ("20%"). False on anything else.
bool parse_flat_base(std::string_view text, double& height, bool& percent);

// The shape the options name: a preset or a frame of the running program
// (one set, for the latitude and the longitude alike), or the sets given.
ChosenShape chosen_shape(const ExportOptions& options);

// Whether the format holds a closed solid for printing (and so takes a flat
// base) rather than the drawn surface.
constexpr bool solid_format(MeshFormat format) {
    return format != MeshFormat::glb && format != MeshFormat::obj;
}

// The format the file name's extension asks for, any letter case.
bool format_for_path(std::string_view path, MeshFormat& format);

}  // namespace solidmorph
