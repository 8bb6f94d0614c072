#include "shapes/export_options.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>

#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"
#include "shapes/kept_shapes.h"

namespace solidmorph {

namespace {

bool parse_whole(std::string_view text, auto& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

}  // namespace

bool parse_preset(std::string_view text, int& preset) {
    int value = 0;
    if (!parse_whole(text, value) || value < 1 || value > preset_count) return false;
    preset = value;
    return true;
}

// Digits only: no sign, no spaces, no exponent.
bool parse_frame(std::string_view text, uint64_t& frame) {
    uint64_t value = 0;
    if (!std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) ||
        !parse_whole(text, value)) {
        return false;
    }
    frame = value;
    return true;
}

bool parse_frames(std::string_view text, uint64_t& first, uint64_t& last) {
    const size_t colon = text.find(':');
    uint64_t from = 0, to = 0;
    if (colon == std::string_view::npos || !parse_frame(text.substr(0, colon), from) ||
        !parse_frame(text.substr(colon + 1), to) || to <= from) {
        return false;
    }
    first = from;
    last = to;
    return true;
}

// Six or twelve finite numbers, comma separated.
bool parse_shape(std::string_view text, ShapeParams& latitude, ShapeParams& longitude) {
    ShapeParams read[2]{};
    float* fields[12] = {&read[0].a, &read[0].b, &read[0].m, &read[0].n1, &read[0].n2, &read[0].n3,
                         &read[1].a, &read[1].b, &read[1].m, &read[1].n1, &read[1].n2, &read[1].n3};
    const size_t count = size_t(std::count(text.begin(), text.end(), ',')) + 1;
    if (count != 6 && count != 12) return false;
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == count - 1;
        std::string_view number = text.substr(start, last ? std::string_view::npos : comma - start);
        // from_chars takes no leading '+'; people write one.
        if (!number.empty() && number[0] == '+') {
            number.remove_prefix(1);
            if (!number.empty() && (number[0] == '-' || number[0] == '+')) return false;
        }
        if (!parse_whole(number, *fields[i]) || !std::isfinite(*fields[i])) return false;
        start = comma + 1;
    }
    latitude = read[0];
    longitude = count == 12 ? read[1] : read[0];
    return true;
}

bool parse_detail(std::string_view text, int32_t& detail) {
    int32_t value = 0;
    if (!std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) ||
        !parse_whole(text, value) || value < least_detail || value > most_detail) {
        return false;
    }
    detail = value;
    return true;
}

bool same_set(const ShapeParams& a, const ShapeParams& b) {
    return std::bit_cast<std::array<uint32_t, 6>>(a) == std::bit_cast<std::array<uint32_t, 6>>(b);
}

bool parse_size(std::string_view text, double& size) {
    double value = 0.0;
    if (!parse_whole(text, value) || !std::isfinite(value) || !(value > 0.0)) return false;
    size = value;
    return true;
}

bool parse_flat_base(std::string_view text, double& height, bool& percent) {
    const bool in_percent = !text.empty() && text.back() == '%';
    const std::string_view number = in_percent ? text.substr(0, text.size() - 1) : text;
    double value = 0.0;
    if (!parse_whole(number, value) || !std::isfinite(value) || !(value > 0.0) ||
        (in_percent && !(value < 100.0))) {
        return false;
    }
    height = value;
    percent = in_percent;
    return true;
}

// Allocates nothing: the explorer asks it every frame.
bool format_for_path(std::string_view path, MeshFormat& format) {
    // The extension as std::filesystem::path finds it: from the file name's
    // last dot, unless that dot starts the name.
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot != 4) return false;
    char lower[4];
    std::transform(name.begin() + std::ptrdiff_t(dot), name.end(), lower,
                   [](unsigned char c) { return char(std::tolower(c)); });
    const std::string_view extension(lower, sizeof lower);
    if (extension == ".glb") {
        format = MeshFormat::glb;
    } else if (extension == ".stl") {
        format = MeshFormat::stl;
    } else if (extension == ".obj") {
        format = MeshFormat::obj;
    } else if (extension == ".3mf") {
        format = MeshFormat::threemf;
    } else {
        return false;
    }
    return true;
}

namespace {

enum OptionKey : int {
    preset_key = 256,
    frame_key,
    shape_key,
    texture_key,
    size_key,
    flat_base_key,
    detail_key,
    kept_key,
    frames_key,
    animation_key,
    version_key
};

constexpr option long_options[] = {
    {"preset", required_argument, nullptr, preset_key},
    {"frame", required_argument, nullptr, frame_key},
    {"shape", required_argument, nullptr, shape_key},
    {"output", required_argument, nullptr, 'o'},
    {"texture", required_argument, nullptr, texture_key},
    {"size", required_argument, nullptr, size_key},
    {"flat-base", required_argument, nullptr, flat_base_key},
    {"detail", required_argument, nullptr, detail_key},
    {"kept", required_argument, nullptr, kept_key},
    {"frames", required_argument, nullptr, frames_key},
    {"animation", no_argument, nullptr, animation_key},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, version_key},
    {nullptr, 0, nullptr, 0},
};

std::string option_name(int key) {
    if (key == 'o') return "-o";
    const auto named =
        std::find_if(std::begin(long_options), std::end(long_options),
                     [key](const option& o) { return o.name != nullptr && o.val == key; });
    if (named != std::end(long_options)) return std::string("--") + named->name;
    std::string name(2, '-');
    name[1] = char(key);
    return name;
}

// One value of one option into the options, or a message for the user.
bool take_value(int key, const std::string& value, ShapeOptionsSeen& seen, ExportOptions& options,
                std::string& error) {
    if (key == 'o') {
        if (seen.output || value.empty()) {
            error =
                seen.output ? "more than one output file given" : "the output file name is empty";
            return false;
        }
        seen.output = true;
        options.output = value;
        return true;
    }
    if (key == texture_key) {
        if (seen.texture || value.empty()) {
            error = seen.texture ? "more than one texture given" : "the texture name is empty";
            return false;
        }
        seen.texture = true;
        options.texture = value;
        return true;
    }
    if (key == size_key) {
        double size = 0.0;
        if (options.size > 0.0 || !parse_size(value, size)) {
            error = options.size > 0.0
                        ? "more than one size given"
                        : "--size takes a positive number of millimetres, not '" + value + "'";
            return false;
        }
        options.size = size;
        return true;
    }
    if (key == flat_base_key) {
        if (options.flat_base > 0.0 ||
            !parse_flat_base(value, options.flat_base, options.flat_base_percent)) {
            error = options.flat_base > 0.0
                        ? "more than one flat base given"
                        : "--flat-base takes a height above 0 in millimetres, or a percent of the "
                          "solid's height above 0 and below 100 such as 20%, not '" +
                              value + "'";
            return false;
        }
        return true;
    }
    if (key == detail_key) {
        if (seen.detail || !parse_detail(value, options.detail)) {
            error = seen.detail ? "more than one detail given"
                                : "--detail takes a whole number of steps from " +
                                      std::to_string(least_detail) + " to " +
                                      std::to_string(most_detail) + ", not '" + value + "'";
            return false;
        }
        seen.detail = true;
        return true;
    }
    if (key == frames_key) {
        if (seen.frames || !parse_frames(value, options.first_frame, options.last_frame)) {
            error = seen.frames ? "more than one --frames given"
                                : "--frames takes FIRST:LAST, whole numbers of frames from 0 to "
                                  "18446744073709551615 with LAST above FIRST, not '" +
                                      value + "'";
            return false;
        }
        seen.frames = true;
        return true;
    }
    if (seen.shape) {
        error = "give only one of --preset, --frame, --shape and --kept";
        return false;
    }
    seen.shape = true;
    if (key == kept_key) {
        if (value.empty()) {
            error = "--kept takes the name of a kept shape";
            return false;
        }
        options.kept_name = value;
        return true;
    }
    if (key == preset_key) {
        options.source = ShapeSource::preset;
        if (!parse_preset(value, options.preset)) {
            error = "--preset takes a whole number from 1 to " + std::to_string(preset_count) +
                    ", not '" + value + "'";
            return false;
        }
    } else if (key == frame_key) {
        options.source = ShapeSource::frame;
        if (!parse_frame(value, options.frame)) {
            error = "--frame takes a whole number of frames, 0 to 18446744073709551615, not '" +
                    value + "'";
            return false;
        }
    } else {
        options.source = ShapeSource::shape;
        if (!parse_shape(value, options.shape, options.longitude)) {
            error =
                "--shape takes six numbers a,b,m,n1,n2,n3 separated by commas (or twelve: the "
                "latitude's six, then the longitude's), not '" +
                value + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

std::string shortest(auto value) {
    char text[40];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

std::string shape_text(const ShapeParams& latitude, const ShapeParams& longitude) {
    std::string text;
    const int sets = same_set(latitude, longitude) ? 1 : 2;
    for (int i = 0; i < sets; ++i) {
        const ShapeParams& set = i == 0 ? latitude : longitude;
        for (const float value : {set.a, set.b, set.m, set.n1, set.n2, set.n3}) {
            if (!text.empty()) text += ',';
            text += shortest(value);
        }
    }
    return text;
}

std::vector<std::string> shape_option_args(const ExportOptions& options,
                                           const ShapeOptionsSeen& seen) {
    std::vector<std::string> args;
    if (seen.shape) {
        switch (options.source) {
            case ShapeSource::preset:
                args = {"--preset", std::to_string(options.preset)};
                break;
            case ShapeSource::frame:
                args = {"--frame", std::to_string(options.frame)};
                break;
            case ShapeSource::shape:
                args = {"--shape", shape_text(options.shape, options.longitude)};
                break;
        }
    }
    if (options.detail != program_detail) {
        args.insert(args.end(), {"--detail", std::to_string(options.detail)});
    }
    if (seen.output) args.insert(args.end(), {"-o", options.output});
    if (options.size > 0.0) args.insert(args.end(), {"--size", shortest(options.size)});
    if (options.flat_base > 0.0) {
        std::string height = shortest(options.flat_base);
        if (options.flat_base_percent) height += '%';
        args.insert(args.end(), {"--flat-base", height});
    }
    if (seen.texture) args.insert(args.end(), {"--texture", options.texture});
    if (seen.frames) {
        args.insert(args.end(), {"--frames", std::to_string(options.first_frame) + ":" +
                                                 std::to_string(options.last_frame)});
    }
    if (options.animation) args.emplace_back("--animation");
    return args;
}

bool parse_shape_options(const std::vector<std::string>& args, ExportOptions& options,
                         ShapeOptionsSeen& seen, std::string& error) {
    options = {};
    seen = {};
    // getopt_long works on a writable argv of its own, with the program's
    // name in front; it reorders it, so the caller's list stays as it was.
    std::vector<std::string> words(1, "solidmorph");
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv(words.size() + 1, nullptr);
    std::transform(words.begin(), words.end(), argv.begin(),
                   [](std::string& word) { return word.data(); });
    const int argc = int(words.size());
    opterr = 0;  // the messages are ours
    optind = 0;  // a full restart: the parser may run more than once
    int key;
    while ((key = getopt_long(argc, argv.data(), ":ho:", long_options, nullptr)) != -1) {
        if (key == 'h' || key == version_key) {
            options.action = key == 'h' ? ExportAction::help : ExportAction::version;
            return true;
        }
        if (key == animation_key) {
            options.animation = true;
            continue;
        }
        if (key == ':') {
            error = "option '" + option_name(optopt) + "' needs a value";
            return false;
        }
        if (key == '?') {
            std::string name = optopt != 0 ? option_name(optopt) : argv[optind - 1];
            name.resize(std::min(name.size(), name.find('=')));
            error = "unknown option '" + name + "'";
            return false;
        }
        if (!take_value(key, optarg, seen, options, error)) return false;
    }
    if (optind < argc) {
        error = "unexpected argument '" + words[size_t(optind)] + "'";
        return false;
    }
    if (!options.kept_name.empty() && !use_kept_shape(options, seen.detail, error)) return false;
    if (seen.output && !format_for_path(options.output, options.format)) {
        error = "cannot tell the format of '" + options.output +
                "': the name must end in .glb, .stl, .obj or .3mf";
        return false;
    }
    if (seen.texture && seen.output && options.format == MeshFormat::stl) {
        error = "--texture does not go with .stl: an STL file holds no colour";
        return false;
    }
    if (seen.texture && seen.output && options.format == MeshFormat::threemf) {
        error = "--texture does not go with .3mf: the 3MF holds the solid alone, no colour";
        return false;
    }
    if (options.flat_base > 0.0 && !options.flat_base_percent && !(options.size > 0.0)) {
        error =
            "--flat-base in millimetres needs --size (or give a percent of the height, such "
            "as 20%)";
        return false;
    }
    if (options.flat_base > 0.0 && seen.output && !solid_format(options.format)) {
        error =
            "--flat-base cuts a printable solid: it goes with .stl or .3mf, not with the drawn "
            "surface of a .glb or .obj";
        return false;
    }
    return true;
}

namespace {

// An animation is the program's own frames: no shape of its own, no size,
// and only a .glb holds one.
bool animation_options_fit(const ExportOptions& options, const ShapeOptionsSeen& seen,
                           std::string& error) {
    if (seen.shape) {
        error =
            "--animation writes the program's own frames: give no --preset, --frame, "
            "--shape or --kept with it";
        return false;
    }
    if (options.size > 0.0) {
        error = "--size does not go with --animation: it writes the shapes as generated";
        return false;
    }
    if (!seen.output) {
        error = "say where to write it: -o FILE.glb";
        return false;
    }
    if (options.format != MeshFormat::glb) {
        error = "--animation writes a .glb only, not '" + options.output + "'";
        return false;
    }
    if (options.last_frame - options.first_frame > most_animation_frames) {
        error = "--frames: an animation holds at most " + std::to_string(most_animation_frames) +
                " frames";
        return false;
    }
    return true;
}

}  // namespace

bool parse_export_options(const std::vector<std::string>& args, ExportOptions& options,
                          std::string& error) {
    ShapeOptionsSeen seen;
    if (!parse_shape_options(args, options, seen, error)) return false;
    if (options.action != ExportAction::write) return true;
    if (seen.frames && !options.animation) {
        error = "--frames goes with --animation";
        return false;
    }
    if (options.animation) {
        // The opening and one whole cycle: every shape the run ever shows.
        if (!seen.frames) {
            options.first_frame = 0;
            options.last_frame = opening_frames + cycle_frames;
        }
        return animation_options_fit(options, seen, error);
    }
    if (!seen.shape) {
        error = "say which shape to write: --preset N, --frame F or --shape a,b,m,n1,n2,n3";
        return false;
    }
    if (!seen.output) {
        error = "say where to write it: -o FILE.glb, FILE.stl, FILE.obj or FILE.3mf";
        return false;
    }
    return true;
}

ChosenShape chosen_shape(const ExportOptions& options) {
    ShapeParams one{};
    switch (options.source) {
        case ShapeSource::preset:
            one = preset_shape(options.preset);
            break;
        case ShapeSource::frame:
            one = frame_shape(options.frame);
            break;
        case ShapeSource::shape:
            return {options.shape, options.longitude};
    }
    return {one, one};
}

}  // namespace solidmorph
