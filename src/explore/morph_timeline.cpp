#include "explore/morph_timeline.h"

#include <array>
#include <cstddef>
#include <limits>

#include "export/export_surface.h"
#include "geometry/surface_mesh.h"
#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"
#include "morph/surface_setup.h"

namespace solidmorph {

namespace {

uint64_t frame_now = 0;

constexpr uint64_t first_window_length = opening_frames + cycle_frames;
constexpr uint64_t last_frame = std::numeric_limits<uint64_t>::max();

// Each period of a morph and its rest reaches one preset, halfway through.
constexpr size_t first_window_arrivals = size_t(first_window_length / (uint64_t(morph_frames) * 2));
struct Arrival {
    uint64_t frame;  // within the first window
    int32_t preset;
};
std::array<Arrival, first_window_arrivals> arrivals{};

// The scheduler as it stood at the first frame of one window.
MorphState window_start{};
uint64_t window_start_frame = last_frame;  // none kept yet

void note_window_start() {
    window_start = save_morph();
    window_start_frame = frame_now;
}

// The arrivals of the window starting at `first`: every one of the first
// window, or, in a later one, those of its cycle.
template <typename Visit>
void for_each_arrival(uint64_t first, Visit visit) {
    for (const Arrival& a : arrivals) {
        if (first == 0) {
            visit(a.frame, a.preset);
        } else if (a.frame > opening_frames) {
            const uint64_t offset = a.frame - opening_frames;
            if (first <= last_frame - offset) visit(first + offset, a.preset);
        }
    }
}

}  // namespace

uint64_t timeline_frame() { return frame_now; }

ShapeParams timeline_shape() { return current_shape; }

ShapeParams timeline_preset(int preset) { return preset_shape(preset); }

void beside_timeline(void (*job)(void* context), void* context) {
    const MorphState kept = save_morph();
    const float scroll = texture_scroll;
    job(context);
    restore_morph(kept);
    restore_texture_scroll(scroll);
}

TimelineWindow timeline_window(uint64_t frame) {
    if (frame < first_window_length) return {0, first_window_length};
    const uint64_t first = opening_frames + (frame - opening_frames) / cycle_frames * cycle_frames;
    return {first, cycle_frames};
}

void create_timeline() {
    reset_morph();
    start_shapes();
    const MorphState start = save_morph();
    size_t found = 0;
    for (uint64_t frame = 1; frame <= first_window_length && found < arrivals.size(); ++frame) {
        advance_morph();
        if (period_frame == morph_frames) arrivals[found++] = {frame, source_index};
    }
    restore_morph(start);
    frame_now = 0;
    note_window_start();
}

void seek_frame(uint64_t frame) {
    const TimelineWindow window = timeline_window(frame);
    if (window.first != window_start_frame) {
        frame_shape(window.first);
        frame_now = window.first;
        note_window_start();
    } else {
        restore_morph(window_start);
    }
    for (uint64_t left = frame - window.first; left > 0; --left) advance_morph();
    frame_now = frame;
}

void step_timeline() {
    if (frame_now == last_frame) return;
    advance_morph();
    ++frame_now;
    if (timeline_window(frame_now).first == frame_now) note_window_start();
}

uint64_t neighbour_arrival(uint64_t frame, int direction) {
    uint64_t best = frame;
    const TimelineWindow window = timeline_window(frame);
    const auto consider = [&](uint64_t at, int32_t) {
        const bool beyond = direction > 0 ? at > frame : at < frame;
        const bool nearer = best == frame || (direction > 0 ? at < best : at > best);
        if (beyond && nearer) best = at;
    };
    for_each_arrival(window.first, consider);
    if (best == frame && direction > 0 && window.first + window.length - 1 < last_frame) {
        for_each_arrival(window.first + window.length, consider);
    }
    if (best == frame && direction < 0 && window.first > 0) {
        for_each_arrival(timeline_window(window.first - 1).first, consider);
    }
    return best;
}

uint64_t arrival_in_window(uint64_t frame, int preset) {
    const uint64_t first = timeline_window(frame).first;
    if (preset == 1) return first;
    uint64_t found = first;
    bool seen = false;
    for_each_arrival(first, [&](uint64_t at, int32_t reached) {
        if (!seen && reached == preset) {
            found = at;
            seen = true;
        }
    });
    return found;
}

}  // namespace solidmorph
