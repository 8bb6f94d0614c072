#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/tga_decode.h"

namespace solidmorph {

// What to animate: the program's frames first up to, not including, last,
// on a grid of `detail` steps; with `quantized`, positions and normals as
// 16-bit integers (KHR_mesh_quantization) instead of floats.
struct AnimationRequest {
    uint64_t first = 0;
    uint64_t last = 0;
    int32_t detail = 64;
    bool quantized = false;
};

// What the animation holds: its frames, keys and morph targets, and the
// farthest any frame's vertex lies from the file's, over that frame's
// largest extent.
struct AnimationFigures {
    uint64_t frames = 0;
    size_t keys = 0;
    size_t targets = 0;
    double worst_deviation = 0.0;
};

// How far a blended vertex may stray from its frame's own place, over the
// frame's largest extent: a hair under the percent promised, for the
// viewer's own rounding.
inline constexpr double animation_bound = 0.0098;

// The program's turn at a frame, as glRotatef composes it (x, then y, then
// z, one degree each a frame): the unit quaternion x, y, z, w.
std::array<double, 4> program_turn(uint64_t frame);

// Binary glTF 2.0 of the run of frames: one mesh, the first frame's shape
// with morph targets, and one animation whose weights give frame F's shape
// at (F - first) / 60 seconds and whose node turns as the program turns it
// then; normals for every target, texture coordinates and the marble
// texture as in a still .glb. Runs the solid's start-up, so the scheduler
// and the mesh are left as a fresh start leaves them. False, with a reason,
// if a frame has no finite surface or the file cannot be built.
bool animated_glb_bytes(const AnimationRequest& request, const DecodedImage& texture,
                        const std::string& generator, std::vector<uint8_t>& glb,
                        AnimationFigures& figures, std::string& reason);

}  // namespace solidmorph
