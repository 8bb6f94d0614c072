// solidmorph-saver: the program's frames as a screensaver or in a window of
// their own.
#include <cstdio>
#include <string>

#include "saver/saver_flow.h"
#include "saver/saver_options.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace {

constexpr const char* usage_text =
    "Usage: solidmorph-saver [--window | --root | --fullscreen | --window-id ID]\n"
    "                        [--texture FILE.tga] [--delay MICROSECONDS]\n"
    "                        [--preset N | --random] [--kept] [--fps] [--wireframe]\n"
    "                        [--display DISPLAY]\n"
    "Shows solidmorph's spinning, morphing solid as a screensaver or in a window.\n"
    "\n"
    "  --window          a resizable 640 x 480 window of its own (the default);\n"
    "                    Escape or q ends it\n"
    "  --root            the window in XSCREENSAVER_WINDOW, else the root window\n"
    "  --fullscreen      a borderless window over the whole desktop, at its own\n"
    "                    resolution; Escape or q ends it\n"
    "  --window-id ID    a window of another program, decimal or 0x hex\n"
    "  --texture FILE    the TGA texture (default: the installed vein.tga)\n"
    "  --delay US        an extra pause after every frame, in microseconds (default:\n"
    "                    none; a frame is due every 50000, 20 a second)\n"
    "  --preset N        morph only between the sphere and preset N (2 to 11)\n"
    "  --random          visit the presets in a random order, none twice in a row\n"
    "  --kept            morph through the shapes you kept (in solidmorph-explore,\n"
    "                    Ctrl+K) in place of the presets, in turn or with --random\n"
    "                    in a random order, the sphere between; the presets when\n"
    "                    none is kept\n"
    "  --fps             show the frame rate, CPU load and triangles, lower left\n"
    "  --wireframe       draw the triangles as lines\n"
    "  --display NAME    the X display to use (default: DISPLAY)\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "In its own window or full screen, a left drag turns the solid and Space or a\n"
    "click starts the next morph at once. The options every XScreenSaver hack takes\n"
    "(-no-fps, -no-wireframe, -install, -mono, -pair, -visual default) are taken.\n"
    "\n"
    "SIGTERM, SIGINT, SIGHUP and SIGQUIT end it with status 0. Exit status: 0 when\n"
    "ended, 1 when it cannot start (display, window, texture), 2 on bad usage.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace solidmorph;
    SaverOptions options;
    std::string error;
    switch (parse_saver_options(argc, argv, options, error)) {
        case SaverCommand::help:
            std::fputs(usage_text, stdout);
            return 0;
        case SaverCommand::version:
            std::printf("solidmorph-saver %s\n", SOLIDMORPH_VERSION);
            return 0;
        case SaverCommand::usage_error:
            std::fprintf(stderr, "solidmorph-saver: %s (see --help)\n", error.c_str());
            return 2;
        case SaverCommand::run:
            break;
    }
    return run_saver(options);
}
