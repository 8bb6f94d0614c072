#pragma once

#include <cstdint>

namespace solidmorph {

// The morph as a timeline the explorer moves along: frame N shows exactly
// the shape the program shows in its frame N (frame_shape(N)), and playing
// on from there goes on exactly as the program would. Owns the scheduler
// while the explorer runs; written only by the functions below.
extern uint64_t timeline_frame;

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
