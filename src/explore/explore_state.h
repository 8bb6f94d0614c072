#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "geometry/geometry_types.h"
#include "render/view_control.h"
#include "shapes/export_options.h"

namespace solidmorph {

// What the explorer shows and how, as the flow keeps it; the flow alone
// writes it.
struct ExplorerState {
    ShapeSource source = ShapeSource::frame;  // frame: the timeline's
    int preset = 1;
    ShapeParams shape{};      // the preset's, or the edited shape's latitude set
    ShapeParams longitude{};  // the edited shape's longitude set, unless linked
    bool linked = true;       // the longitude set is the latitude's
    bool playing = true;
    bool spin = true;
    bool wireframe = false;
    bool textured = true;
    bool panel = true;
};

// The export fields as typed, each read as the exporter reads its option.
struct ExportFields {
    char size[32] = "";       // as --size takes it; blank: generator units
    char flat_base[32] = "";  // as --flat-base takes it; blank: not cut
    char detail[8] = "";      // as --detail takes it; blank: the program's grid
    char output[1024] = "solidmorph.glb";
};

// Everything that comes back at the next start.
struct SavedState {
    ExplorerState shown;
    uint64_t frame = 0;
    ViewPose pose;
    ExportFields fields;
    int32_t window_width = 0;  // the window's size out of full screen; 0: not known
    int32_t window_height = 0;
    bool full_screen = false;
};

// The state file: explore.ini in the XDG state folder's solidmorph folder
// ($XDG_STATE_HOME, else ~/.local/state), which also keeps ImGui's own
// settings. Call load after ImGui's context exists and before its first
// frame; false (and `saved` untouched) when there is none or it is not one
// of ours. Unknown or broken lines are skipped, each value checked as the
// command line checks it; `ignored` says in one line what could not be
// taken (empty when everything could).
bool load_state(SavedState& saved, std::string& ignored);

// Writes it whole (a temporary renamed into place), with ImGui's settings.
// False, with a reason, if it cannot.
bool save_state(const SavedState& saved, char* reason, size_t capacity);

}  // namespace solidmorph
