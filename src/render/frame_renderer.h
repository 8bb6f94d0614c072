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
// every triangle of the list from the mesh: count_frame, then draw_solid.
void render_frame();

// render_frame's two halves, for a program that holds the spin while the
// solid goes on changing: one more frame counted (the spin one degree on),
// and the solid cleared and drawn at the angle frame_count gives.
void count_frame();

// Where a program that lets people turn and move the solid sees it from:
// the eye's distance from its centre, and a rotation (a column-major 4 x 4
// matrix) applied after the spin, so that it turns under the fixed light;
// and a scale, so that a solid of any size can be framed, lit as at its own.
struct SolidView {
    float distance;
    float rotation[16];
    float scale = 1.0f;
};

// Without a view, from the program's own distance, unturned.
void draw_solid(const SolidView* view = nullptr);

// draw_solid's picture, pixel for pixel, for a program that must spend less
// on it (the saver): the same clear (the stencil too) and turn, then the
// same corners in the same order from the mesh's arrays in one indexed draw,
// so that the GL can light each of the 4,160 grid vertices once instead of
// every corner that uses it (24,960). Draws only what build_solid_indices
// last took from the triangle list.
void draw_solid_indexed(const SolidView* view = nullptr);

// Copies the triangle list's corners into the index array that
// draw_solid_indexed draws; once at start-up, after the list is built, so
// that no frame allocates.
void build_solid_indices();

}  // namespace solidmorph
