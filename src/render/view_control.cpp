#include "render/view_control.h"

#include <algorithm>
#include <cmath>

namespace solidmorph {

namespace {

ViewPose pose_now;

constexpr float nearest = 2.0f;
constexpr float farthest = 40.0f;
// A fit's scale: wide enough for any finite solid a float can hold.
constexpr float least_scale = 1e-30f;
constexpr float most_scale = 1e30f;
SolidView drawn_view{};

bool is_identity(const ViewPose& pose) {
    return pose.turn[0] == 0.0f && pose.turn[1] == 0.0f && pose.turn[2] == 0.0f &&
           pose.turn[3] == 1.0f && pose.distance == 5.0f && pose.scale == 1.0f;
}

void normalise_turn(float q[4]) {
    const double length = std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] +
                                    double(q[2]) * q[2] + double(q[3]) * q[3]);
    for (int i = 0; i < 4; ++i) q[i] = float(q[i] / length);
}

}  // namespace

const ViewPose& view_pose() { return pose_now; }

void reset_view() { pose_now = ViewPose{}; }

void restore_view(const ViewPose& pose) {
    const double length =
        std::sqrt(double(pose.turn[0]) * pose.turn[0] + double(pose.turn[1]) * pose.turn[1] +
                  double(pose.turn[2]) * pose.turn[2] + double(pose.turn[3]) * pose.turn[3]);
    if (!(std::fabs(length - 1.0) < 1e-3) || !(pose.distance >= nearest) ||
        !(pose.distance <= farthest) || !(pose.scale >= least_scale) ||
        !(pose.scale <= most_scale)) {
        return;
    }
    pose_now = pose;
}

void turn_view(float dx, float dy, float height) {
    const double length = std::sqrt(double(dx) * dx + double(dy) * dy);
    if (!(length > 0.0) || !(height > 0.0f)) return;
    // The axis lies in the screen, square to the drag (screen y grows down).
    const double angle = 3.14159265358979 * length / height;
    const double s = std::sin(angle / 2.0) / length;
    const double d[4] = {dy * s, dx * s, 0.0, std::cos(angle / 2.0)};
    const float* q = pose_now.turn;
    const float turned[4] = {
        float(d[3] * q[0] + d[0] * q[3] + d[1] * q[2] - d[2] * q[1]),
        float(d[3] * q[1] - d[0] * q[2] + d[1] * q[3] + d[2] * q[0]),
        float(d[3] * q[2] + d[0] * q[1] - d[1] * q[0] + d[2] * q[3]),
        float(d[3] * q[3] - d[0] * q[0] - d[1] * q[1] - d[2] * q[2]),
    };
    std::copy(turned, turned + 4, pose_now.turn);
    normalise_turn(pose_now.turn);
}

void fit_view(float radius) {
    if (!(radius > 0.0f) || !std::isfinite(radius)) return;
    const double scale = 1.0 / double(radius);
    pose_now.distance = ViewPose{}.distance;
    // Within a thousandth of the sphere's size is the sphere's size: the
    // sphere itself reaches a float's rounding past 1.
    pose_now.scale =
        std::fabs(scale - 1.0) < 1e-3 ? 1.0f : std::clamp(float(scale), least_scale, most_scale);
}

void zoom_view(float clicks) {
    pose_now.distance =
        std::clamp(float(pose_now.distance * std::pow(0.9, double(clicks))), nearest, farthest);
}

const SolidView* current_view() {
    if (is_identity(pose_now)) return nullptr;
    const double x = pose_now.turn[0], y = pose_now.turn[1], z = pose_now.turn[2],
                 w = pose_now.turn[3];
    const double m[16] = {
        1 - 2 * (y * y + z * z),
        2 * (x * y + w * z),
        2 * (x * z - w * y),
        0,
        2 * (x * y - w * z),
        1 - 2 * (x * x + z * z),
        2 * (y * z + w * x),
        0,
        2 * (x * z + w * y),
        2 * (y * z - w * x),
        1 - 2 * (x * x + y * y),
        0,
        0,
        0,
        0,
        1,
    };
    for (int i = 0; i < 16; ++i) drawn_view.rotation[i] = float(m[i]);
    drawn_view.distance = pose_now.distance;
    drawn_view.scale = pose_now.scale;
    return &drawn_view;
}

}  // namespace solidmorph
