// The animated glTF read back as a viewer plays it (tinygltf's loader, then
// glTF's own blend of morph targets and its node transforms), frame by
// frame against the shapes and the turn the program shows.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "export/animated_gltf.h"
#include "export/morph_keys.h"
#include "geometry/surface_mesh.h"
#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"

namespace solidmorph {
namespace {

size_t components(int type) {
    return type == TINYGLTF_TYPE_SCALAR ? 1 : type == TINYGLTF_TYPE_VEC3 ? 3 : 4;
}

float component_at(const uint8_t* at, int type, bool normalized) {
    if (type == TINYGLTF_COMPONENT_TYPE_SHORT) {
        int16_t v;
        std::memcpy(&v, at, sizeof v);
        return normalized ? std::max(float(v) / 32767.0f, -1.0f) : float(v);
    }
    EXPECT_EQ(type, TINYGLTF_COMPONENT_TYPE_FLOAT);
    float v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// An accessor's values as floats, whatever the file packs them in: floats
// or normalized shorts, at any stride, sparse or not.
std::vector<float> read_accessor(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& a = model.accessors.at(size_t(index));
    const size_t width = components(a.type);
    const size_t size = a.componentType == TINYGLTF_COMPONENT_TYPE_SHORT ? 2 : 4;
    std::vector<float> out(a.count * width, 0.0f);
    const auto bytes = [&model](int view, size_t offset) {
        const tinygltf::BufferView& v = model.bufferViews.at(size_t(view));
        return model.buffers.at(0).data.data() + v.byteOffset + offset;
    };
    if (a.bufferView >= 0) {
        const size_t stride = model.bufferViews[size_t(a.bufferView)].byteStride > 0
                                  ? model.bufferViews[size_t(a.bufferView)].byteStride
                                  : width * size;
        const uint8_t* base = bytes(a.bufferView, a.byteOffset);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = component_at(base + i / width * stride + i % width * size, a.componentType,
                                  a.normalized);
        }
    }
    if (a.sparse.isSparse) {
        EXPECT_EQ(a.sparse.indices.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
        const uint8_t* indices = bytes(a.sparse.indices.bufferView, a.sparse.indices.byteOffset);
        const uint8_t* values = bytes(a.sparse.values.bufferView, a.sparse.values.byteOffset);
        for (size_t j = 0; j < size_t(a.sparse.count); ++j) {
            uint32_t at;
            std::memcpy(&at, indices + 4 * j, sizeof at);
            for (size_t c = 0; c < width; ++c) {
                out.at(at * width + c) =
                    component_at(values + (j * width + c) * size, a.componentType, a.normalized);
            }
        }
    }
    return out;
}

// A LINEAR sampler's value at time t.
std::vector<double> sample(const std::vector<float>& times, const std::vector<float>& values,
                           float t) {
    const size_t width = values.size() / times.size();
    const size_t k = size_t(std::upper_bound(times.begin(), times.end(), t) - times.begin()) - 1;
    const size_t next = std::min(k + 1, times.size() - 1);
    const double u = next == k ? 0.0 : (double(t) - times[k]) / (double(times[next]) - times[k]);
    std::vector<double> out(width);
    for (size_t c = 0; c < width; ++c) {
        out[c] =
            values[k * width + c] + u * (double(values[next * width + c]) - values[k * width + c]);
    }
    return out;
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
        }
    }
    return m;
}

// glRotatef's matrix for a turn about one axis, as its manual gives it.
Matrix gl_rotation(double degrees, int axis) {
    const double c = std::cos(degrees * std::numbers::pi / 180.0);
    const double s = std::sin(degrees * std::numbers::pi / 180.0);
    Matrix m{};
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    m[axis][axis] = 1.0;
    m[u][u] = m[v][v] = c;
    m[u][v] = -s;
    m[v][u] = s;
    return m;
}

Matrix quaternion_matrix(const std::vector<double>& q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
             {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
             {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}}};
}

TEST(AnimatedGlb, EveryFrameAsPlayedLiesWithinAPercentOfTheProgramsAndTurnsAsItTurns) {
    struct Row {
        uint64_t first, last;
        int32_t detail;
        bool quantized;
    };
    // The default run (opening, then a whole cycle), floats, a run from a
    // rest over the start of the cycle on a coarser grid, and far frames.
    const Row rows[] = {{0, opening_frames + cycle_frames, 64, true},
                        {0, 800, 64, false},
                        {790, 1230, 32, true},
                        {1000000000, 1000000300, 16, true}};
    const DecodedImage texture{2, 2, 3, {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.first) + ":" + std::to_string(row.last));
        std::vector<uint8_t> glb;
        AnimationFigures figures;
        std::string reason;
        ASSERT_TRUE(animated_glb_bytes({row.first, row.last, row.detail, row.quantized}, texture,
                                       "test", glb, figures, reason))
            << reason;
        tinygltf::TinyGLTF loader;
        tinygltf::Model model;
        std::string error, warning;
        ASSERT_TRUE(
            loader.LoadBinaryFromMemory(&model, &error, &warning, glb.data(), unsigned(glb.size())))
            << error;
        ASSERT_EQ(model.extensionsRequired.size(), row.quantized ? 1u : 0u);
        ASSERT_EQ(model.images.size(), 1u);
        const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
        const std::vector<float> base = read_accessor(model, primitive.attributes.at("POSITION"));
        std::vector<std::vector<float>> moved;
        for (const auto& target : primitive.targets) {
            ASSERT_EQ(target.count("NORMAL"), 1u);
            moved.push_back(read_accessor(model, target.at("POSITION")));
        }
        EXPECT_EQ(moved.size() + 1, figures.targets);
        // The mesh's own node puts any integers back in place; the node
        // above it only turns.
        const tinygltf::Node& turning = model.nodes.at(0);
        const tinygltf::Node& holder = model.nodes.at(turning.mesh >= 0 ? 0 : 1);
        ASSERT_EQ(holder.mesh, 0);
        const double scale = holder.scale.empty() ? 1.0 : holder.scale[0];
        const std::vector<double> offset =
            holder.translation.empty() ? std::vector<double>(3, 0.0) : holder.translation;
        std::vector<float> weight_times, weights, turn_times, turns;
        for (const tinygltf::AnimationChannel& channel : model.animations.at(0).channels) {
            const tinygltf::AnimationSampler& s =
                model.animations[0].samplers.at(size_t(channel.sampler));
            const bool turn = channel.target_path == "rotation";
            EXPECT_EQ(channel.target_node, turn ? 0 : (turning.mesh >= 0 ? 0 : 1));
            (turn ? turn_times : weight_times) = read_accessor(model, s.input);
            (turn ? turns : weights) = read_accessor(model, s.output);
        }
        ASSERT_EQ(turn_times.size(), row.last - row.first);

        // The program's frames, stepped as it steps them.
        frame_shape(row.first);
        std::vector<ShapeParams> shapes;
        double worst = 0.0;
        std::vector<Vec3> exact;
        for (uint64_t f = row.first; f < row.last; ++f) {
            if (f > row.first) advance_morph();
            shapes.push_back(current_shape);
            grid_positions(exact, row.detail, current_shape, current_shape);
            const float t = float(double(f - row.first) / 60.0);
            // The targets this frame blends (at most two of them).
            std::vector<std::pair<double, size_t>> blend;
            if (!moved.empty()) {
                const std::vector<double> w = sample(weight_times, weights, t);
                for (size_t j = 0; j < w.size(); ++j) {
                    if (w[j] != 0.0) blend.push_back({w[j], j});
                }
            }
            double farthest = 0.0;
            for (size_t i = 0; i < exact.size(); ++i) {
                double d2 = 0.0;
                for (size_t c = 0; c < 3; ++c) {
                    double p = base[3 * i + c];
                    for (const auto& [weight, j] : blend) p += weight * moved[j][3 * i + c];
                    const double e = c == 0 ? exact[i].x : c == 1 ? exact[i].y : exact[i].z;
                    d2 += std::pow(offset[c] + scale * p - e, 2);
                }
                farthest = std::max(farthest, d2);
            }
            worst = std::max(worst, std::sqrt(farthest) / largest_extent(exact));

            // The turn: x, then y, then z, F degrees each, as glRotatef
            // issues them.
            ASSERT_EQ(turn_times[f - row.first], t);
            const double degrees = double(f % 360);
            const Matrix program = product(
                product(gl_rotation(degrees, 0), gl_rotation(degrees, 1)), gl_rotation(degrees, 2));
            const Matrix file = quaternion_matrix(sample(turn_times, turns, t));
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) ASSERT_NEAR(file[i][j], program[i][j], 1e-6) << f;
            }
        }
        EXPECT_LE(worst, 0.01);
        EXPECT_LE(figures.worst_deviation, animation_bound);
        std::printf("%s frames %llu:%llu: %zu bytes, %zu keys, %zu shapes, worst %.3f%%\n",
                    row.quantized ? "16-bit" : "float", static_cast<unsigned long long>(row.first),
                    static_cast<unsigned long long>(row.last), glb.size(), figures.keys,
                    figures.targets, worst * 100.0);
        // No key inside a rest, where the shape stands still.
        for (const float time : weight_times) {
            const size_t f = size_t(std::lround(double(time) * 60.0));
            ASSERT_LT(f, shapes.size());
            const bool still_before = f > 0 && std::memcmp(&shapes[f - 1], &shapes[f], 24) == 0;
            const bool still_after =
                f + 1 < shapes.size() && std::memcmp(&shapes[f + 1], &shapes[f], 24) == 0;
            EXPECT_FALSE(still_before && still_after) << "a key inside a rest at " << f;
        }
    }
}

}  // namespace
}  // namespace solidmorph
