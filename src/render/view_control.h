#pragma once

#include "render/frame_renderer.h"

namespace solidmorph {

// How the user has turned and moved the solid: a unit quaternion (x, y, z,
// w) and the eye's distance. Written only by the functions below.
struct ViewPose {
    float turn[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float distance = 5.0f;
};
extern ViewPose view_pose;

// Back to the program's own view.
void reset_view();

// A pose read from elsewhere (the state file), kept only if it is usable.
void restore_view(const ViewPose& pose);

// A drag of (dx, dy) pixels over a view `height` pixels tall turns the
// solid like a trackball: across the whole height, half a turn.
void turn_view(float dx, float dy, float height);

// Wheel clicks bring the eye nearer (positive) or farther, within reach of
// the near and far planes.
void zoom_view(float clicks);

// The view to draw with; null while the pose is the program's own, so that
// the untouched picture is the program's bit for bit.
const SolidView* current_view();

}  // namespace solidmorph
