#include "export/export_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>

#include "morph/morph_scheduler.h"

namespace solidmorph {

namespace {

bool parse_whole(const std::string& text, auto& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parse_preset(const std::string& text, int& preset) {
    return parse_whole(text, preset) && preset >= 1 && preset <= preset_count;
}

// Digits only: no sign, no spaces, no exponent.
bool parse_frame(const std::string& text, uint64_t& frame) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    }) && parse_whole(text, frame);
}

// Six finite numbers, comma separated.
bool parse_shape(const std::string& text, ShapeParams& shape) {
    float* fields[6] = {&shape.a, &shape.b, &shape.m, &shape.n1, &shape.n2, &shape.n3};
    size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == 5;
        if (last != (comma == std::string::npos)) return false;
        const std::string field = text.substr(start, last ? std::string::npos : comma - start);
        // from_chars takes no leading '+'; people write one.
        std::string number = field;
        if (!number.empty() && number[0] == '+') {
            number.erase(0, 1);
            if (!number.empty() && (number[0] == '-' || number[0] == '+')) return false;
        }
        if (!parse_whole(number, *fields[i]) || !std::isfinite(*fields[i])) return false;
        start = comma + 1;
    }
    return true;
}

}  // namespace

bool format_for_path(const std::string& path, MeshFormat& format) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == ".glb") {
        format = MeshFormat::glb;
    } else if (extension == ".stl") {
        format = MeshFormat::stl;
    } else if (extension == ".obj") {
        format = MeshFormat::obj;
    } else {
        return false;
    }
    return true;
}

bool parse_export_options(const std::vector<std::string>& args, ExportOptions& options,
                          std::string& error) {
    options = {};
    bool have_shape = false, have_output = false, have_texture = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inline_value = false;
        if (name.rfind("--", 0) == 0) {
            if (const size_t eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                inline_value = true;
            }
        }
        if (name == "--help" || name == "-h") {
            options.action = ExportAction::help;
            return true;
        }
        if (name == "--version") {
            options.action = ExportAction::version;
            return true;
        }
        const bool takes_value = name == "--preset" || name == "--frame" || name == "--shape" ||
                                 name == "-o" || name == "--output" || name == "--texture" ||
                                 name == "--size";
        if (!takes_value) {
            error = name.size() > 1 && name[0] == '-' ? "unknown option '" + name + "'"
                                                      : "unexpected argument '" + name + "'";
            return false;
        }
        if (!inline_value) {
            if (i + 1 == args.size()) {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }

        if (name == "-o" || name == "--output") {
            if (have_output) {
                error = "more than one output file given";
                return false;
            }
            if (value.empty()) {
                error = "the output file name is empty";
                return false;
            }
            have_output = true;
            options.output = value;
            continue;
        }
        if (name == "--texture") {
            if (have_texture || value.empty()) {
                error = have_texture ? "more than one texture given" : "the texture name is empty";
                return false;
            }
            have_texture = true;
            options.texture = value;
            continue;
        }
        if (name == "--size") {
            double size = 0.0;
            if (options.size > 0.0 || !parse_whole(value, size) || !std::isfinite(size) ||
                !(size > 0.0)) {
                error = options.size > 0.0
                            ? "more than one size given"
                            : "--size takes a positive number of millimetres, not '" + value + "'";
                return false;
            }
            options.size = size;
            continue;
        }
        if (have_shape) {
            error = "give only one of --preset, --frame and --shape";
            return false;
        }
        have_shape = true;
        if (name == "--preset") {
            options.source = ShapeSource::preset;
            if (!parse_preset(value, options.preset)) {
                error = "--preset takes a whole number from 1 to " + std::to_string(preset_count) +
                        ", not '" + value + "'";
                return false;
            }
        } else if (name == "--frame") {
            options.source = ShapeSource::frame;
            if (!parse_frame(value, options.frame)) {
                error = "--frame takes a whole number of frames, 0 to 18446744073709551615, not '" +
                        value + "'";
                return false;
            }
        } else {
            options.source = ShapeSource::shape;
            if (!parse_shape(value, options.shape)) {
                error = "--shape takes six numbers a,b,m,n1,n2,n3 separated by commas, not '" +
                        value + "'";
                return false;
            }
        }
    }
    if (!have_shape) {
        error = "say which shape to write: --preset N, --frame F or --shape a,b,m,n1,n2,n3";
        return false;
    }
    if (!have_output) {
        error = "say where to write it: -o FILE.glb, FILE.stl or FILE.obj";
        return false;
    }
    if (!format_for_path(options.output, options.format)) {
        error = "cannot tell the format of '" + options.output +
                "': the name must end in .glb, .stl or .obj";
        return false;
    }
    if (have_texture && options.format == MeshFormat::stl) {
        error = "--texture does not go with .stl: an STL file holds no colour";
        return false;
    }
    return true;
}

}  // namespace solidmorph
