#pragma once

#include "render/frame_renderer.h"

namespace solidmorph {

// How the user has turned and moved the solid: a unit quaternion (x, y, z,
// w), the eye's distance, and how much larger than generated the solid is
// drawn (so that a solid of any size can be brought into sight).
struct ViewPose {
    float turn[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float distance = 5.0f;
    float scale = 1.0f;
};

// The pose now; kept here and written only by the functions below.
const ViewPose& view_pose();

// Back to the program's own view.
void reset_view();

// A pose read from elsewhere (the state file), kept only if it is usable.
void restore_view(const ViewPose& pose);

// A drag of (dx, dy) pixels over a view `height` pixels tall turns the
// solid like a trackball: across the whole height, half a turn.
void turn_view(float dx, float dy, float height);

// Frames a solid reaching `radius` from its centre, however large or small,
// as the program frames its sphere: the turn kept, the eye at the
// program's distance, the solid scaled to the sphere's size. A solid
// already that size is drawn unscaled, as the program draws it.
void fit_view(float radius);

// Wheel clicks bring the eye nearer (positive) or farther, within reach of
// the near and far planes.
void zoom_view(float clicks);

// The view to draw with; null while the pose is the program's own, so that
// the untouched picture is the program's bit for bit.
const SolidView* current_view();

}  // namespace solidmorph
