#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

// Where an animation of a run of shapes keeps its keys, so that positions
// blended linearly from one key to the next stay close to every frame's
// own: keys fall where the shape moves fast, none inside a rest, and a key
// shows a shape kept earlier (a target) wherever one is close enough.
struct MorphKeys {
    // Each key's frame (counted from the run's first) and the target it
    // shows, in the order of the frames; the first and last frame are keys.
    std::vector<uint64_t> key_frames;
    std::vector<uint32_t> key_targets;
    // The frame (counted from the run's first) whose shape each target is;
    // target 0 is the first frame's.
    std::vector<uint64_t> target_frames;
    // The farthest any vertex of any frame lies from its blended place, as
    // a fraction of that frame's largest extent.
    double worst_deviation = 0.0;
};

// The keys for the shapes of a run of frames, one set each (the latitude's
// and longitude's alike), on a grid of `detail` steps; `bound` is the
// farthest a blended vertex may lie from the frame's own, as a fraction of
// the frame's largest extent. The shapes must have finite positions.
MorphKeys place_morph_keys(const std::vector<ShapeParams>& shapes, int32_t detail, double bound);

// The largest extent of the positions' bounding box.
double largest_extent(const std::vector<Vec3>& positions);

}  // namespace solidmorph
