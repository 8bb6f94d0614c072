#pragma once

#include <cstdint>

namespace solidmorph {

// Frames drawn so far, less whole turns once it has reached spin_wrap_frames;
// also the spin angle in degrees.
extern int32_t frame_count;

// The largest whole number of turns (46,603 of 360 degrees) whose every
// degree a float still holds exactly. On reaching it frame_count steps back
// by this much: the orientation is the same, and the spin stays one degree a
// frame for ever instead of stalling in float steps and overflowing later.
inline constexpr int32_t spin_wrap_frames = 16777080;

// Clears, spins the model by frame_count degrees about x, y and z and draws
// every triangle of the list from the mesh.
void render_frame();

}  // namespace solidmorph
