#pragma once

#include <cstdint>
#include <string>

#include "shapes/export_options.h"

namespace solidmorph {

// The explorer's settings, from its command line.
struct ExploreSettings {
    ExportOptions options;
    ShapeOptionsSeen seen;
    bool remember = true;  // read the state file at the start, write it at the end
    int32_t width = 1024;  // the window's first size
    int32_t height = 640;
    // --record: the clip to write without a person, of frames first up to
    // (not including) last, and then the end; empty: the studio as usual.
    std::string record;
    uint64_t first = 0, last = 0;
};

// The explorer's whole life: start_explorer, explore_frame until it says
// stop, end_explorer. Returns the exit status: 0, or 1 when no window can be
// opened; with --record, 0 once the clip is written, else 1.
int run_explorer(const ExploreSettings& settings);

// Its parts, for the frame benchmark: the window, the solid, its texture
// and where the user left off (false, with a message, without a window);
// one pass of the loop (events, panel, picture, swap), false once asked to
// stop; the state kept and everything closed.
bool start_explorer(const ExploreSettings& settings);
bool explore_frame();
void end_explorer();

}  // namespace solidmorph
