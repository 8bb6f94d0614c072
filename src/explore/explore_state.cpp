#include "explore/explore_state.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/file_output.h"

namespace solidmorph {

namespace {

namespace fs = std::filesystem;

// Filled while ImGui reads the file, emptied into the file when it writes.
SavedState reading;
bool read_any = false;
const SavedState* writing = nullptr;

fs::path state_path() {
    const char* state_home = std::getenv("XDG_STATE_HOME");
    if (state_home != nullptr && state_home[0] == '/') {
        return fs::path(state_home) / "solidmorph" / "explore.ini";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    return fs::path(home) / ".local" / "state" / "solidmorph" / "explore.ini";
}

// One value through the command line's own parser, so that the file is held
// to the same checks.
bool parse_option(const char* option, const std::string& value, ExportOptions& options) {
    ShapeOptionsSeen seen;
    std::string error;
    return parse_shape_options({option, value}, options, seen, error);
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

void read_line(ImGuiContext*, ImGuiSettingsHandler*, void*, const char* line) {
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) return;
    const std::string key(line, equals), value(equals + 1);
    ExportOptions options;
    SavedState& s = reading;
    read_any = true;
    const bool yes = value == "1";
    double height = 0.0;
    bool percent = false;
    if (key == "Source") {
        s.shown.source = value == "preset"  ? ShapeSource::preset
                         : value == "shape" ? ShapeSource::shape
                                            : ShapeSource::frame;
    } else if (key == "Frame" && parse_option("--frame", value, options)) {
        s.frame = options.frame;
    } else if (key == "Preset" && parse_option("--preset", value, options)) {
        s.shown.preset = options.preset;
    } else if (key == "Shape" && parse_option("--shape", value, options)) {
        s.shown.shape = options.shape;
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
        if (std::sscanf(value.c_str(), "%f,%f,%f,%f", &pose.turn[0], &pose.turn[1], &pose.turn[2],
                        &pose.turn[3]) == 4) {
            s.pose = pose;
        }
    } else if (key == "Distance") {
        std::sscanf(value.c_str(), "%f", &s.pose.distance);
    } else if (key == "Size" && (value.empty() || parse_option("--size", value, options))) {
        std::snprintf(s.size, sizeof s.size, "%s", value.c_str());
    } else if (key == "FlatBase" && (value.empty() || parse_flat_base(value, height, percent))) {
        std::snprintf(s.flat_base, sizeof s.flat_base, "%s", value.c_str());
    } else if (key == "Output" && (value.empty() || parse_option("-o", value, options))) {
        std::snprintf(s.output, sizeof s.output, "%s", value.c_str());
    }
}

void write_all(ImGuiContext*, ImGuiSettingsHandler* handler, ImGuiTextBuffer* out) {
    if (writing == nullptr) return;
    const SavedState& s = *writing;
    const ShapeParams& p = s.shown.shape;
    const std::string shape = number_text(p.a) + "," + number_text(p.b) + "," + number_text(p.m) +
                              "," + number_text(p.n1) + "," + number_text(p.n2) + "," +
                              number_text(p.n3);
    out->appendf("[%s][State]\n", handler->TypeName);
    out->appendf("Source=%s\nFrame=%llu\nPreset=%d\nShape=%s\n", source_name(s.shown.source),
                 static_cast<unsigned long long>(s.frame), s.shown.preset, shape.c_str());
    out->appendf("Playing=%d\nSpin=%d\nWireframe=%d\nTexture=%d\nPanel=%d\n", int(s.shown.playing),
                 int(s.shown.spin), int(s.shown.wireframe), int(s.shown.textured),
                 int(s.shown.panel));
    out->appendf("Turn=%s,%s,%s,%s\nDistance=%s\n", number_text(s.pose.turn[0]).c_str(),
                 number_text(s.pose.turn[1]).c_str(), number_text(s.pose.turn[2]).c_str(),
                 number_text(s.pose.turn[3]).c_str(), number_text(s.pose.distance).c_str());
    out->appendf("Size=%s\nFlatBase=%s\nOutput=%s\n\n", s.size, s.flat_base, s.output);
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

}  // namespace

bool load_state(SavedState& saved) {
    register_handler();
    const fs::path path = state_path();
    if (path.empty()) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    reading = saved;
    read_any = false;
    ImGui::LoadIniSettingsFromMemory(text.data(), text.size());
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
