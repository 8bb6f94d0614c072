#include "explore/explore_state.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_output.h"

namespace solidmorph {

namespace {

namespace fs = std::filesystem;

// Filled while ImGui reads the file, emptied into the file when it writes.
SavedState reading;
bool read_any = false;
bool read_shape = false;
std::string ignored_keys;  // the values that could not be taken, by name
const SavedState* writing = nullptr;

// Ours is under 2 KiB; anything far larger is not a state file we wrote,
// and reading it all would hold up the start.
constexpr size_t most_state_bytes = size_t(64) << 20;
constexpr size_t longest_state_line = 4096;

// A window smaller than this was shrunk away by accident, not chosen: the
// next start opens at its usual size instead.
constexpr int smallest_window[2] = {320, 240};
constexpr int largest_window = 16384;

void ignore_key(const std::string& key) {
    if (ignored_keys.find(" " + key + ",") != std::string::npos) return;
    ignored_keys += " " + key + ",";
}

fs::path state_path() {
    const char* state_home = std::getenv("XDG_STATE_HOME");
    if (state_home != nullptr && state_home[0] == '/') {
        return fs::path(state_home) / "solidmorph" / "explore.ini";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    return fs::path(home) / ".local" / "state" / "solidmorph" / "explore.ini";
}

const char* source_name(ShapeSource source) {
    switch (source) {
        case ShapeSource::preset:
            return "preset";
        case ShapeSource::shape:
            return "shape";
        case ShapeSource::frame:
            break;
    }
    return "frame";
}

std::string number_text(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

void* open_entry(ImGuiContext*, ImGuiSettingsHandler*, const char* name) {
    return std::strcmp(name, "State") == 0 ? &reading : nullptr;
}

// A text field's value, whole or not at all.
template <size_t room>
bool keep_text(char (&field)[room], const std::string& value, bool valid) {
    if (!valid || value.size() >= room) return false;
    std::memcpy(field, value.c_str(), value.size() + 1);
    return true;
}

// Each value is checked as its option checks it; one that fails is left
// as it was and named in the line of what was ignored.
void read_line(ImGuiContext*, ImGuiSettingsHandler*, void*, const char* line) {
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) return;
    const std::string key(line, equals), value(equals + 1);
    SavedState& s = reading;
    read_any = true;
    const bool yes = value == "1";
    bool taken = true;
    if (key == "Source") {
        s.shown.source = value == "preset"  ? ShapeSource::preset
                         : value == "shape" ? ShapeSource::shape
                                            : ShapeSource::frame;
    } else if (key == "Frame") {
        taken = parse_frame(value, s.frame);
    } else if (key == "Preset") {
        taken = parse_preset(value, s.shown.preset);
    } else if (key == "Shape") {
        taken = parse_shape(value, s.shown.shape, s.shown.longitude);
        read_shape = read_shape || taken;
    } else if (key == "Linked") {
        s.shown.linked = yes;
    } else if (key == "Playing") {
        s.shown.playing = yes;
    } else if (key == "Spin") {
        s.shown.spin = yes;
    } else if (key == "Wireframe") {
        s.shown.wireframe = yes;
    } else if (key == "Texture") {
        s.shown.textured = yes;
    } else if (key == "Panel") {
        s.shown.panel = yes;
    } else if (key == "Turn") {
        ViewPose pose = s.pose;
        char end = '\0';
        taken = std::sscanf(value.c_str(), "%f,%f,%f,%f%c", &pose.turn[0], &pose.turn[1],
                            &pose.turn[2], &pose.turn[3], &end) == 4 &&
                std::all_of(std::begin(pose.turn), std::end(pose.turn),
                            [](float f) { return std::isfinite(f); });
        if (taken) s.pose = pose;
    } else if (key == "Distance") {
        float distance = 0.0f;
        char end = '\0';
        taken = std::sscanf(value.c_str(), "%f%c", &distance, &end) == 1 &&
                std::isfinite(distance) && distance > 0.0f;
        if (taken) s.pose.distance = distance;
    } else if (key == "Scale") {
        float scale = 0.0f;
        char end = '\0';
        taken = std::sscanf(value.c_str(), "%f%c", &scale, &end) == 1 && std::isfinite(scale) &&
                scale > 0.0f;
        if (taken) s.pose.scale = scale;
    } else if (key == "Size") {
        double size = 0.0;
        taken = keep_text(s.fields.size, value, value.empty() || parse_size(value, size));
    } else if (key == "FlatBase") {
        double height = 0.0;
        bool percent = false;
        taken = keep_text(s.fields.flat_base, value,
                          value.empty() || parse_flat_base(value, height, percent));
    } else if (key == "Detail") {
        int32_t detail = 0;
        taken = keep_text(s.fields.detail, value, value.empty() || parse_detail(value, detail));
    } else if (key == "Output") {
        taken = keep_text(s.fields.output, value, true);
    } else if (key == "FullScreen") {
        s.full_screen = yes;
    } else if (key == "Window") {
        int width = 0, height = 0;
        char end = '\0';
        taken = std::sscanf(value.c_str(), "%d,%d%c", &width, &height, &end) == 2 &&
                width >= smallest_window[0] && width <= largest_window &&
                height >= smallest_window[1] && height <= largest_window;
        if (taken) {
            s.window_width = width;
            s.window_height = height;
        }
    }
    if (!taken) ignore_key(key);
}

void write_all(ImGuiContext*, ImGuiSettingsHandler* handler, ImGuiTextBuffer* out) {
    if (writing == nullptr) return;
    const SavedState& s = *writing;
    const std::string shape =
        shape_text(s.shown.shape, s.shown.linked ? s.shown.shape : s.shown.longitude);
    out->appendf("[%s][State]\n", handler->TypeName);
    out->appendf("Source=%s\nFrame=%llu\nPreset=%d\nShape=%s\nLinked=%d\n",
                 source_name(s.shown.source), static_cast<unsigned long long>(s.frame),
                 s.shown.preset, shape.c_str(), int(s.shown.linked));
    out->appendf("Playing=%d\nSpin=%d\nWireframe=%d\nTexture=%d\nPanel=%d\n", int(s.shown.playing),
                 int(s.shown.spin), int(s.shown.wireframe), int(s.shown.textured),
                 int(s.shown.panel));
    out->appendf("Turn=%s,%s,%s,%s\nDistance=%s\nScale=%s\n", number_text(s.pose.turn[0]).c_str(),
                 number_text(s.pose.turn[1]).c_str(), number_text(s.pose.turn[2]).c_str(),
                 number_text(s.pose.turn[3]).c_str(), number_text(s.pose.distance).c_str(),
                 number_text(s.pose.scale).c_str());
    out->appendf("Size=%s\nFlatBase=%s\nDetail=%s\nOutput=%s\n", s.fields.size, s.fields.flat_base,
                 s.fields.detail, s.fields.output);
    if (s.window_width > 0 && s.window_height > 0) {
        out->appendf("Window=%d,%d\n", int(s.window_width), int(s.window_height));
    }
    out->appendf("FullScreen=%d\n\n", int(s.full_screen));
}

void register_handler() {
    ImGuiContext& context = *ImGui::GetCurrentContext();
    if (ImGui::FindSettingsHandler("Solidmorph") != nullptr) return;
    ImGuiSettingsHandler handler;
    handler.TypeName = "Solidmorph";
    handler.TypeHash = ImHashStr("Solidmorph");
    handler.ReadOpenFn = open_entry;
    handler.ReadLineFn = read_line;
    handler.WriteAllFn = write_all;
    context.SettingsHandlers.push_back(handler);
}

// A line too long to be ours, or holding bytes no text has, is left out.
bool readable_line(std::string_view line, bool cut_short) {
    return !cut_short && std::none_of(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r') || c == 0x7f;
    });
}

// The file's readable lines. Only a regular file is read, and only its
// first 64 MiB: a folder, a pipe, a device or a huge file in its place must
// not hold up the start, and one unreadable line loses none of the others.
std::string read_state_text(const fs::path& path, std::string& problem) {
    std::string bytes, error;
    const PlainFileRead read = read_plain_file(path.string(), most_state_bytes, bytes, error);
    if (read == PlainFileRead::failed) problem = "cannot be read (" + error + ")";
    if (read == PlainFileRead::not_plain) problem = "is not a plain file";
    if (read == PlainFileRead::too_large) {
        problem = "is longer than 64 MiB; only its beginning was read";
        // A value cut in two is no value.
        const size_t last = bytes.rfind('\n');
        bytes.resize(last == std::string::npos ? 0 : last + 1);
    }
    std::string text;
    size_t left_out = 0;
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = std::min(bytes.find('\n', at), bytes.size());
        const std::string_view line(bytes.data() + at, end - at);
        if (readable_line(line, line.size() > longest_state_line)) {
            text.append(line);
            text += '\n';
        } else {
            ++left_out;
        }
        at = end + 1;
    }
    if (left_out > 0 && problem.empty()) {
        problem = "has " + std::to_string(left_out) + (left_out == 1 ? " line" : " lines") +
                  " that cannot be read";
    }
    return text;
}

}  // namespace

bool load_state(SavedState& saved, std::string& ignored) {
    register_handler();
    ignored.clear();
    const fs::path path = state_path();
    if (path.empty()) return false;
    std::string problem;
    const std::string text = read_state_text(path, problem);
    reading = saved;
    read_any = false;
    read_shape = false;
    ignored_keys.clear();
    if (!text.empty()) ImGui::LoadIniSettingsFromMemory(text.data(), text.size());
    // A shape of its own with no shape that can be read would be all zeros:
    // nothing on the screen, and nothing better written back.
    if (read_any && reading.shown.source == ShapeSource::shape && !read_shape) {
        reading.shown.source = ShapeSource::frame;
        ignore_key("Source");
    }
    if (!ignored_keys.empty()) {
        ignored_keys.pop_back();
        problem += (problem.empty() ? "" : "; ") + std::string("has values that were ignored:") +
                   ignored_keys;
    }
    if (!problem.empty()) ignored = "the state file " + path.string() + " " + problem;
    if (!read_any) return false;
    saved = reading;
    return true;
}

bool save_state(const SavedState& saved, char* reason, size_t capacity) {
    const fs::path path = state_path();
    if (path.empty()) {
        std::snprintf(reason, capacity, "no home folder to keep the state in");
        return false;
    }
    register_handler();
    std::error_code made;
    fs::create_directories(path.parent_path(), made);
    writing = &saved;
    size_t size = 0;
    const char* text = ImGui::SaveIniSettingsToMemory(&size);
    writing = nullptr;
    std::string error;
    if (!write_file_atomically(path.string(), reinterpret_cast<const uint8_t*>(text), size,
                               error)) {
        std::snprintf(reason, capacity, "%s", error.c_str());
        return false;
    }
    return true;
}

}  // namespace solidmorph
