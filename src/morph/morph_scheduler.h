#pragma once

#include <array>
#include <cstdint>

#include "geometry/geometry_types.h"

namespace solidmorph {

// Entry 0 is the increment of the morph under way, 1 to 11 the presets.
using ShapeTable = std::array<ShapeParams, 12>;

// The scheduler's state: written only by the functions below.
extern ShapeTable shape_table;
extern ShapeParams current_shape;

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

void fill_shape_table();
void start_morph();
void advance_morph();

}  // namespace solidmorph
