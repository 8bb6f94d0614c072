// solidmorph-explore: shape a supershape yourself, see at once whether it
// prints, and export exactly what you see.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "explore/explore_flow.h"
#include "explore/record_options.h"
#include "morph/morph_scheduler.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace {

constexpr const char* program_name = "solidmorph-explore";

// The number of presets comes in at the %d.
constexpr const char* usage_text =
    "Usage: solidmorph-explore [--preset N | --frame F | --shape a,b,m,n1,n2,n3]\n"
    "                          [-o FILE] [--size MM] [--flat-base H|P%%]\n"
    "                          [--detail N] [--texture FILE.tga]\n"
    "                          [--record CLIP.gif|CLIP.mp4 [--frames FIRST:LAST]]\n"
    "Shows solidmorph's morph in a window with a panel to shape the solid, check\n"
    "that it prints, and export it as solidmorph-export would.\n"
    "\n"
    "  --preset N      start paused on preset N, 1 (the sphere) to %d\n"
    "  --frame F       start paused on the shape of frame F of a run\n"
    "  --shape a,b,m,n1,n2,n3\n"
    "                  start paused on any parameter set of the superformula; twelve\n"
    "                  numbers give the latitude's six, then the longitude's\n"
    "  -o, --output FILE\n"
    "                  the export's file name; .glb, .obj, .stl or .3mf picks the\n"
    "                  format\n"
    "  --size MM       the export's largest extent in millimetres\n"
    "  --flat-base H|P%%\n"
    "                  cut an .stl export flat H mm (or P%% of its height) above\n"
    "                  its lowest point, to stand on the plate\n"
    "  --kept NAME     start paused on the shape kept under NAME\n"
    "  --detail N      the export's latitude and longitude steps, 8 to 1024\n"
    "                  (default 64, the grid drawn)\n"
    "  --texture FILE  the TGA texture shown and exported (default: vein.tga)\n"
    "  --record CLIP   record the morph as the studio draws it, without the panel,\n"
    "                  to CLIP.mp4 (H.264, 60 frames a second) or CLIP.gif (50 a\n"
    "                  second), then exit\n"
    "  --frames FIRST:LAST\n"
    "                  the clip's frames of the morph, FIRST up to but not LAST\n"
    "                  (default: 400 from --frame's frame, else from 0)\n"
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "Without a shape it goes on from where it was left (the state is kept in\n"
    "$XDG_STATE_HOME/solidmorph/explore.ini), or shows the morph from its start.\n"
    "Keys: Space play/pause, Left/Right presets, R spin, W wireframe, T texture,\n"
    "F or F11 full screen, H panel, Ctrl+S export, Ctrl+R record a clip, F12\n"
    "screenshot, Escape quit (or cancel the clip being recorded).\n";

}  // namespace

int main(int argc, char** argv) {
    solidmorph::ExploreSettings settings;
    std::string error;
    std::vector<std::string> args(argv + 1, argv + argc);
    solidmorph::RecordOptions record;
    if (!solidmorph::take_record_options(args, record, error) ||
        !solidmorph::parse_shape_options(args, settings.options, settings.seen, error) ||
        (settings.options.action == solidmorph::ExportAction::write &&
         !solidmorph::finish_record_options(record, settings.options, settings.seen, error))) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program_name,
                     error.c_str(), program_name);
        return 2;
    }
    if (settings.options.action == solidmorph::ExportAction::help) {
        std::printf(usage_text, solidmorph::preset_count);
        return 0;
    }
    if (settings.options.action == solidmorph::ExportAction::version) {
        std::printf("%s %s\n", program_name, SOLIDMORPH_VERSION);
        return 0;
    }
    // A file size limit reached while writing is a failed write to report,
    // as a full disk is, not the end of the studio.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!record.record.empty()) {
        // A clip from the command line alone: no state read or kept.
        settings.record = record.record;
        settings.first = record.first;
        settings.last = record.last;
        settings.remember = false;
    }
    return solidmorph::run_explorer(settings);
}
