#pragma once

#include "export/export_options.h"

namespace solidmorph {

// The explorer's settings, from its command line.
struct ExploreSettings {
    ExportOptions options;
    ShapeOptionsSeen seen;
};

// The explorer's whole life: window, solid, panel, frame loop, state saved,
// shutdown. Returns the exit status: 0, or 1 when no window can be opened.
int run_explorer(const ExploreSettings& settings);

}  // namespace solidmorph
