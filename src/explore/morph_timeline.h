#pragma once

#include <cstdint>

#include "geometry/geometry_types.h"

namespace solidmorph {

// The morph as a timeline the explorer moves along: frame N shows exactly
// the shape the program shows in its frame N (frame_shape(N)), and playing
// on from there goes on exactly as the program would. Owns the scheduler
// while the explorer runs: nothing else in the explorer moves it but
// through the functions below.

// The frame the scheduler stands at.
uint64_t timeline_frame();

// The shape the scheduler shows at the timeline's frame.
ShapeParams timeline_shape();

// Preset N as the shape table holds it.
ShapeParams timeline_preset(int preset);

// Runs `job`, which may run the solid's own start-up (an export does, and
// start-up moves the scheduler and the texture's drift), and puts both back
// where the timeline had them.
void beside_timeline(void (*job)(void* context), void* context);

// Finds where each preset is reached; the scheduler is left at frame 0.
void create_timeline();

// The scheduler put at frame N. Within the window of the frame shown it
// costs at most one window of steps; a far window costs one frame_shape.
void seek_frame(uint64_t frame);

// One frame on, as the program's frame loop takes it (stops at the last).
void step_timeline();

// The window the timeline shows around a frame: the opening with the first
// cycle, then one cycle after another.
struct TimelineWindow {
    uint64_t first;
    uint64_t length;
};
TimelineWindow timeline_window(uint64_t frame);

// The frame where the morph next reaches a preset after `frame`
// (direction 1) or last reached one before it (direction -1); `frame`
// itself when there is none that way.
uint64_t neighbour_arrival(uint64_t frame, int direction);

// The frame of `frame`'s window that shows preset N reached (N = 1: the
// window's first frame, the sphere).
uint64_t arrival_in_window(uint64_t frame, int preset);

}  // namespace solidmorph
