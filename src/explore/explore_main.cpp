// solidmorph-explore: shape a supershape yourself, see at once whether it
// prints, and export exactly what you see.
#include <cstdio>
#include <string>
#include <vector>

#include "explore/explore_flow.h"
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
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "Without a shape it goes on from where it was left (the state is kept in\n"
    "$XDG_STATE_HOME/solidmorph/explore.ini), or shows the morph from its start.\n"
    "Keys: Space play/pause, Left/Right presets, R spin, W wireframe, T texture,\n"
    "F or F11 full screen, H panel, Ctrl+S export, F12 screenshot, Escape quit.\n";

}  // namespace

int main(int argc, char** argv) {
    solidmorph::ExploreSettings settings;
    std::string error;
    if (!solidmorph::parse_shape_options(std::vector<std::string>(argv + 1, argv + argc),
                                         settings.options, settings.seen, error)) {
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
    // The shared parser takes the exporter's animation options too; the
    // studio shows and exports one shape at a time.
    if (settings.options.animation || settings.seen.frames) {
        std::fprintf(stderr,
                     "%s: --animation and --frames are solidmorph-export's: the studio exports "
                     "one shape at a time\nTry '%s --help' for more information.\n",
                     program_name, program_name);
        return 2;
    }
    return solidmorph::run_explorer(settings);
}
