#include "saver/saver_options.h"

#include <cstring>
#include <string_view>

namespace solidmorph {

namespace {

// Digits only, no sign, no spaces: strtoul would take "-1" or " 7".
bool parse_digits(std::string_view digits, int base, uint64_t limit, uint64_t& value) {
    if (digits.empty() || digits.size() > 20) return false;
    value = 0;
    for (const char c : digits) {
        uint64_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = uint64_t(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = uint64_t(c - 'a') + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = uint64_t(c - 'A') + 10;
        } else {
            return false;
        }
        value = value * uint64_t(base) + digit;
        if (value > limit) return false;
    }
    return true;
}

// "--name" and "-name" alike; anything else is not an option name.
std::string_view option_name(const char* arg) {
    std::string_view text(arg);
    if (text.size() >= 3 && text.substr(0, 2) == "--") return text.substr(2);
    if (text.size() >= 2 && text[0] == '-' && text[1] != '-') return text.substr(1);
    return {};
}

}  // namespace

bool parse_window_id(const char* text, uint32_t& id) {
    const std::string_view view(text);
    uint64_t value = 0;
    const bool hex = view.size() > 2 && view[0] == '0' && (view[1] == 'x' || view[1] == 'X');
    const bool parsed = hex ? parse_digits(view.substr(2), 16, UINT32_MAX, value)
                            : parse_digits(view, 10, UINT32_MAX, value);
    if (!parsed || value == 0) return false;
    id = uint32_t(value);
    return true;
}

SaverCommand parse_saver_options(int argc, const char* const* argv, SaverOptions& options,
                                 std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = option_name(argv[i]);
        const bool takes_value = name == "window-id" || name == "texture" || name == "delay" ||
                                 name == "display" || name == "visual" || name == "preset";
        const char* value = nullptr;
        if (takes_value) {
            if (i + 1 >= argc) {
                error = "option '" + std::string(argv[i]) + "' needs a value";
                return SaverCommand::usage_error;
            }
            value = argv[++i];
        }
        if (name == "help" || name == "h") return SaverCommand::help;
        if (name == "version") return SaverCommand::version;
        if (name == "window") {
            options.target = SaverTarget::window;
        } else if (name == "root") {
            options.target = SaverTarget::root;
        } else if (name == "fullscreen") {
            options.target = SaverTarget::fullscreen;
        } else if (name == "window-id") {
            options.target = SaverTarget::window_id;
            if (!parse_window_id(value, options.window_id)) {
                error = "not a window id: '" + std::string(value) + "' (decimal or 0x hex)";
                return SaverCommand::usage_error;
            }
        } else if (name == "texture") {
            if (*value == '\0') {
                error = "the texture's file name is empty";
                return SaverCommand::usage_error;
            }
            options.texture = value;
        } else if (name == "delay") {
            uint64_t delay = 0;
            if (!parse_digits(value, 10, uint64_t(max_delay_us), delay)) {
                error = "not a delay in microseconds (0 to 10000000): '" + std::string(value) + "'";
                return SaverCommand::usage_error;
            }
            options.delay_us = int64_t(delay);
        } else if (name == "display") {
            options.display = value;
        } else if (name == "visual") {
            // The saver chooses a visual that carries GL with a depth
            // buffer itself; it cannot honour a particular one.
            const std::string_view visual(value);
            if (visual != "default" && visual != "best" && visual != "gl" && visual != "GL") {
                error = "cannot use the visual '" + std::string(value) +
                        "': the saver chooses its GL visual itself (default, best or gl)";
                return SaverCommand::usage_error;
            }
        } else if (name == "install" || name == "mono" || name == "pair") {
            // Colormap and mono-screen choices of older hacks: nothing to do.
        } else if (name == "fps" || name == "no-fps") {
            options.show_fps = name == "fps";
        } else if (name == "wireframe" || name == "no-wireframe") {
            options.wireframe = name == "wireframe";
        } else if (name == "kept" || name == "no-kept") {
            options.kept = name == "kept";
        } else if (name == "random") {
            options.order = MorphOrder::random;
        } else if (name == "preset") {
            uint64_t preset = 0;
            if (!parse_digits(value, 10, preset_count, preset) || preset < 2) {
                error = "not a preset: '" + std::string(value) + "' (2 to 11; 1 is the sphere)";
                return SaverCommand::usage_error;
            }
            options.order = MorphOrder::one_preset;
            options.preset = int32_t(preset);
        } else {
            error = "unknown option '" + std::string(argv[i]) + "'";
            return SaverCommand::usage_error;
        }
    }
    return SaverCommand::run;
}

}  // namespace solidmorph
