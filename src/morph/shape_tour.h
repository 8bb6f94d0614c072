#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

// A morph through shapes of the user's own (the saver's kept shapes), as the
// scheduler goes through the presets: from the sphere to the first stop,
// back to the sphere, on to the next stop, and from the last to the first
// again; each morph morph_frames steps, then a rest as long. Its arithmetic
// is the scheduler's: each set's increments rounded once from the exact
// quotient between the two stops, single-precision sums into the shape
// shown, never snapped to a stop. Both sets move, so a stop of two sets is
// reached as it was kept.

// The shape shown; written only by the functions below.
extern ChosenShape tour_shape;

// Starts the tour of the `chosen` stops at the sphere, the first morph
// primed. With `random`, the stops come in a random order from `seed`,
// never one twice in a row. They are copied once, here: no frame
// allocates. At least one stop.
void start_tour(const std::vector<ChosenShape>& chosen, bool random, uint32_t seed);

// One frame's step, as advance_morph.
void advance_tour();

// Ends the morph or rest under way and starts the next morph at once, from
// the shape shown, as morph_to_next_now.
void tour_to_next_now();

// The stop the tour is going to or resting at, or -1 for the sphere.
int32_t tour_target();

}  // namespace solidmorph
