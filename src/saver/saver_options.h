#pragma once

#include <cstdint>
#include <string>

#include "morph/morph_scheduler.h"

namespace solidmorph {

// Where the saver draws: the options XScreenSaver's hacks share.
enum class SaverTarget {
    window,      // a new, resizable 640 x 480 window of its own
    root,        // XSCREENSAVER_WINDOW, else the root window
    fullscreen,  // a borderless window over the whole desktop
    window_id,   // a window another client made
};

// The delay when none is given: instead of a pause after every frame, a
// frame is due every default_frame_period_us, one period after the one
// before, as screensavers pace themselves. 20 frames a second, the least we
// show: a frame's cost is nearly all the GL filling the solid's pixels, so
// only the rate can bring the cost at rest down to its peers'. The settings
// file's slider defaults to it.
inline constexpr int64_t paced_delay = -1;
inline constexpr int64_t default_frame_period_us = 50'000;

struct SaverOptions {
    SaverTarget target = SaverTarget::window;
    uint32_t window_id = 0;
    std::string display;  // empty: DISPLAY
    std::string texture;  // empty: the installed texture
    // --delay: a pause after every frame, in microseconds.
    int64_t delay_us = paced_delay;
    bool show_fps = false;
    bool wireframe = false;
    MorphOrder order = MorphOrder::in_turn;
    int32_t preset = 0;  // the one preset of MorphOrder::one_preset
    // The user's kept shapes in place of the presets, in turn or, with
    // MorphOrder::random, in a random order; one_preset's preset is then
    // not used.
    bool kept = false;
};

// The longest extra pause per frame we accept, in microseconds: ten seconds
// is already a slide show.
inline constexpr int64_t max_delay_us = 10'000'000;

enum class SaverCommand { run, help, version, usage_error };

// Reads the command line. Options may be written with one dash or two, as
// XScreenSaver's hacks accept them; the options every hack takes are
// taken (-install, -mono and -pair change nothing here). On usage_error, error names the problem
// in one line.
SaverCommand parse_saver_options(int argc, const char* const* argv, SaverOptions& options,
                                 std::string& error);

// A window id as X programs print it: decimal, or hexadecimal after 0x.
// False for anything else, zero included, or a value beyond 32 bits.
bool parse_window_id(const char* text, uint32_t& id);

}  // namespace solidmorph
