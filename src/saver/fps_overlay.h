#pragma once

#include <cstdint>

// The frame rate, the process's CPU load and the triangles a frame draws,
// in the lower left corner, as XScreenSaver's hacks show theirs with -fps.
// Frames are counted every frame and worded once a second; nothing is
// allocated.
namespace solidmorph {

// Text is drawn with the display lists of make_text_lists.
void start_fps_overlay(uint32_t list_base, int32_t line_height, double now);

// Counts the frame just drawn and draws the text over it, on a drawable
// `width` x `height`; the GL state the frame relies on is left as it was.
void draw_fps_overlay(int32_t width, int32_t height, double now, int64_t triangles);

}  // namespace solidmorph
