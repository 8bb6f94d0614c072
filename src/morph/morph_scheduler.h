#pragma once

#include <array>
#include <cstdint>

#include "geometry/geometry_types.h"

namespace solidmorph {

// The presets: entries 1 (the sphere) to preset_count of the shape table.
inline constexpr int32_t preset_count = 11;

// Entry 0 is the increment of the morph under way, then the presets.
using ShapeTable = std::array<ShapeParams, preset_count + 1>;

// Frames of one morph; the shape then rests as long again.
inline constexpr int32_t morph_frames = 200;

// The opening morph, to preset 6 and back to the sphere, takes two periods;
// from then on the visits repeat every cycle: each preset but the sphere
// there and back, and the sphere to itself once, a period each.
inline constexpr uint64_t opening_frames = uint64_t(2) * 2 * morph_frames;
inline constexpr uint64_t cycle_frames = uint64_t(2 * (preset_count - 1) + 1) * 2 * morph_frames;

// The scheduler's state: written only by the functions below.
extern ShapeTable shape_table;
extern ShapeParams current_shape;

// Preset 1, where every morph starts and every visit returns.
inline constexpr ShapeParams sphere_shape{1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f};

// The shape of the single start-up generation, before the first morph.
inline constexpr ShapeParams start_shape{1.0f, 1.0f, 8.0f, 0.173275f, 31.5035f, -0.58f};

extern int32_t morph_steps;
extern int32_t target_index;
extern int32_t source_index;
extern int32_t cycle_index;
extern int32_t period_frame;

// The scheduler's whole state as the program starts: an empty table,
// current_shape at start_shape, the first morph not yet primed. The program
// relies on it for its start-up shape; tests use it to start afresh.
void reset_morph();

// The scheduler's whole state, for a program that moves along the morph
// and back (seeks, or runs a fresh scheduler between its frames to export):
// what save_morph gives, restore_morph puts back bit for bit.
struct MorphState {
    ShapeTable table;
    ShapeParams shape;
    int32_t steps, target, source, cycle, period;
};
MorphState save_morph();
void restore_morph(const MorphState& state);

// A morph's arithmetic, for every morph of every order: each parameter's
// increment over `steps` frames, and one frame's step added to a shape.
ShapeParams morph_increments(const ShapeParams& from, const ShapeParams& to, int32_t steps);
void add_increment(ShapeParams& shape, const ShapeParams& step);

void fill_shape_table();
void start_morph();
void advance_morph();

// The order the presets come in. The program's own: each in turn, back to
// the sphere after each. A saver may instead go between the sphere and one
// preset, or visit the presets in a random order, never one twice in a
// row, back to the sphere after each.
enum class MorphOrder { in_turn, one_preset, random };

// What start_morph is for the program's own order, for any order: from the
// sphere to the order's first preset. `preset` is one_preset's (2 to
// preset_count); `seed` starts random's draws. reset_morph puts the
// program's own order back.
void start_morph_in(MorphOrder order_chosen, int32_t preset, uint32_t seed);

// Ends the morph or rest under way and starts the next morph in the order
// at once, from the shape shown: a period of its own, the morph then its
// rest, after which the order goes on as before.
void morph_to_next_now();

}  // namespace solidmorph
