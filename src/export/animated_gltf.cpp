#include "export/animated_gltf.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "export/export_surface.h"
#include "export/gltf_parts.h"
#include "export/mesh_files.h"
#include "export/mesh_math.h"
#include "export/morph_keys.h"
#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"

namespace solidmorph {

namespace {

using Quaternion = std::array<double, 4>;  // x, y, z, w

Quaternion multiply(const Quaternion& p, const Quaternion& q) {
    return {p[3] * q[0] + p[0] * q[3] + p[1] * q[2] - p[2] * q[1],
            p[3] * q[1] - p[0] * q[2] + p[1] * q[3] + p[2] * q[0],
            p[3] * q[2] + p[0] * q[1] - p[1] * q[0] + p[2] * q[3],
            p[3] * q[3] - p[0] * q[0] - p[1] * q[1] - p[2] * q[2]};
}

// The shapes of the run, stepped the way the program steps them.
std::vector<ShapeParams> run_shapes(uint64_t first, uint64_t last) {
    std::vector<ShapeParams> shapes;
    shapes.reserve(last - first);
    shapes.push_back(frame_shape(first));
    for (uint64_t f = first + 1; f < last; ++f) {
        advance_morph();
        shapes.push_back(current_shape);
    }
    return shapes;
}

// A key's time: its frame at 60 frames a second from the run's first.
float key_time(uint64_t frame) { return float(double(frame) / 60.0); }

int add_times(tinygltf::Model& model, const std::vector<float>& times) {
    const int accessor =
        add_gltf_accessor(model, add_gltf_view(model, times, 0), TINYGLTF_COMPONENT_TYPE_FLOAT,
                          TINYGLTF_TYPE_SCALAR, times.size());
    model.accessors[size_t(accessor)].minValues = {times.front()};
    model.accessors[size_t(accessor)].maxValues = {times.back()};
    return accessor;
}

int add_sampler(tinygltf::Animation& animation, int input, int output) {
    tinygltf::AnimationSampler sampler;
    sampler.input = input;
    sampler.output = output;
    sampler.interpolation = "LINEAR";
    animation.samplers.push_back(sampler);
    return int(animation.samplers.size()) - 1;
}

void add_channel(tinygltf::Animation& animation, int sampler, int node, const char* path) {
    tinygltf::AnimationChannel channel;
    channel.sampler = sampler;
    channel.target_node = node;
    channel.target_path = path;
    animation.channels.push_back(channel);
}

// Vectors as 16-bit normalized integers, (v - offset) / scale, each padded
// to four components so that every vertex starts on a word.
struct Packing {
    Vec3 offset{0, 0, 0};
    double scale = 1.0;
};

int16_t packed(double value) {
    return int16_t(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

// Whether every component packs within -1 to 1.
bool fits(const std::vector<Vec3>& values, const Packing& packing) {
    return std::all_of(values.begin(), values.end(), [&packing](const Vec3& v) {
        return std::fabs(double(v.x) - packing.offset.x) <= packing.scale &&
               std::fabs(double(v.y) - packing.offset.y) <= packing.scale &&
               std::fabs(double(v.z) - packing.offset.z) <= packing.scale;
    });
}

// An accessor of the vectors: floats, or packed when a packing is given
// (and they fit it); positions carry their bounds as read.
int add_vectors(tinygltf::Model& model, const std::vector<Vec3>& values, const Packing* packing,
                bool bounds) {
    if (packing == nullptr || !fits(values, *packing)) {
        const int accessor =
            add_gltf_accessor(model, add_gltf_view(model, values, gltf_array_buffer),
                              TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, values.size());
        if (bounds) set_position_bounds(model.accessors[size_t(accessor)], values);
        return accessor;
    }
    std::vector<int16_t> words;
    words.reserve(values.size() * 4);
    std::array<int16_t, 3> low{32767, 32767, 32767}, high{-32767, -32767, -32767};
    for (const Vec3& v : values) {
        const std::array<int16_t, 3> q{packed((double(v.x) - packing->offset.x) / packing->scale),
                                       packed((double(v.y) - packing->offset.y) / packing->scale),
                                       packed((double(v.z) - packing->offset.z) / packing->scale)};
        for (size_t axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], q[axis]);
            high[axis] = std::max(high[axis], q[axis]);
        }
        words.insert(words.end(), {q[0], q[1], q[2], 0});
    }
    const int view = add_gltf_view(model, words, gltf_array_buffer);
    model.bufferViews[size_t(view)].byteStride = 4 * sizeof(int16_t);
    const int accessor = add_gltf_accessor(model, view, TINYGLTF_COMPONENT_TYPE_SHORT,
                                           TINYGLTF_TYPE_VEC3, values.size());
    tinygltf::Accessor& made = model.accessors[size_t(accessor)];
    made.normalized = true;
    if (bounds) {
        // Bounds of integers are the integers themselves.
        made.minValues.assign(low.begin(), low.end());
        made.maxValues.assign(high.begin(), high.end());
    }
    return accessor;
}

std::vector<Vec3> difference(const std::vector<Vec3>& to, const std::vector<Vec3>& from) {
    std::vector<Vec3> out(to.size());
    for (size_t i = 0; i < to.size(); ++i) {
        out[i] = {to[i].x - from[i].x, to[i].y - from[i].y, to[i].z - from[i].z};
    }
    return out;
}

}  // namespace

Quaternion program_turn(uint64_t frame) {
    // The program's angle is its frame count, which wraps by whole turns.
    const double half = double(frame % 360) * std::numbers::pi / 360.0;
    const double s = std::sin(half), c = std::cos(half);
    return multiply(multiply({s, 0, 0, c}, {0, s, 0, c}), {0, 0, s, c});
}

bool animated_glb_bytes(const AnimationRequest& request, const DecodedImage& texture,
                        const std::string& generator, std::vector<uint8_t>& glb,
                        AnimationFigures& figures, std::string& reason) {
    glb.clear();
    figures = {};
    const std::vector<ShapeParams> shapes = run_shapes(request.first, request.last);
    const MorphKeys keys = place_morph_keys(shapes, request.detail, animation_bound);
    figures.frames = shapes.size();
    figures.keys = keys.key_frames.size();
    figures.targets = keys.target_frames.size();
    figures.worst_deviation = keys.worst_deviation;

    std::vector<uint8_t> png;
    tinygltf::Model model;
    if (!begin_gltf_model(texture, generator, model, png, reason)) return false;

    const auto surface_of = [&](uint64_t frame) {
        const ShapeParams shape = shapes[frame];
        return export_surface(shape, shape, request.detail);
    };
    const ExportSurface base = surface_of(keys.target_frames[0]);
    if (!surface_fits_gltf(base, reason)) return false;
    // Each target beyond the first frame's shape, as the difference from it.
    std::vector<std::vector<Vec3>> moved, turned;
    for (size_t t = 1; t < keys.target_frames.size(); ++t) {
        const ExportSurface target = surface_of(keys.target_frames[t]);
        if (!surface_fits_gltf(target, reason)) return false;
        moved.push_back(difference(target.positions, base.positions));
        turned.push_back(difference(target.normals, base.normals));
    }

    // Quantized, positions and their differences share one scale, which
    // the node holding the mesh puts back; normals are unit vectors (and
    // a target whose normals turn by more than 1 in a component keeps
    // floats).
    Packing places, unit;
    if (request.quantized) {
        const Box box = bounding_box(base.positions);
        const Vec3 &low = box.low, &high = box.high;
        places.offset = {float((double(low.x) + high.x) / 2), float((double(low.y) + high.y) / 2),
                         float((double(low.z) + high.z) / 2)};
        double reach = 0.0;
        const auto widen = [&reach](const std::vector<Vec3>& values, const Vec3& from) {
            for (const Vec3& v : values) {
                reach =
                    std::max({reach, std::fabs(double(v.x) - from.x),
                              std::fabs(double(v.y) - from.y), std::fabs(double(v.z) - from.z)});
            }
        };
        widen(base.positions, places.offset);
        for (const std::vector<Vec3>& m : moved) widen(m, Vec3{0, 0, 0});
        // A hair over, so that rounding the scale to a float still holds them.
        places.scale = reach > 0.0 ? double(float(reach * (1.0 + 1e-6))) : 1.0;
    }
    Packing differences = places;
    differences.offset = {0, 0, 0};
    const Packing* place_packing = request.quantized ? &places : nullptr;
    const Packing* difference_packing = request.quantized ? &differences : nullptr;
    const Packing* normal_packing = request.quantized ? &unit : nullptr;

    tinygltf::Primitive primitive =
        request.quantized
            ? add_surface_primitive(model, base,
                                    add_vectors(model, base.positions, place_packing, true),
                                    add_vectors(model, base.normals, normal_packing, false))
            : add_surface_primitive(model, base);
    add_marble_material(model, png);
    for (size_t t = 0; t < moved.size(); ++t) {
        primitive.targets.push_back(
            {{"POSITION", add_vectors(model, moved[t], difference_packing, true)},
             {"NORMAL", add_vectors(model, turned[t], normal_packing, false)}});
    }

    tinygltf::Mesh solid;
    solid.name = "supershape";
    solid.primitives.push_back(primitive);
    const size_t target_count = primitive.targets.size();
    solid.weights.assign(target_count, 0.0);
    model.meshes.push_back(solid);

    // The node that turns; quantized, the mesh hangs below it on a node of
    // its own that scales and moves the integers back into place.
    tinygltf::Node node;
    node.name = "supershape";
    const Quaternion start = program_turn(request.first);
    node.rotation.assign(start.begin(), start.end());
    int mesh_node = 0;
    if (request.quantized) {
        node.children.push_back(1);
        model.nodes.push_back(node);
        tinygltf::Node placed;
        placed.name = "supershape mesh";
        placed.mesh = 0;
        placed.translation = {places.offset.x, places.offset.y, places.offset.z};
        placed.scale.assign(3, places.scale);
        model.nodes.push_back(placed);
        mesh_node = 1;
        model.extensionsUsed.push_back("KHR_mesh_quantization");
        model.extensionsRequired.push_back("KHR_mesh_quantization");
    } else {
        node.mesh = 0;
        model.nodes.push_back(node);
    }
    tinygltf::Scene scene;
    scene.nodes.push_back(0);
    model.scenes.push_back(scene);
    model.defaultScene = 0;

    tinygltf::Animation animation;
    animation.name = "morph";
    if (target_count > 0) {
        // Each key shows one target whole, so the weights are all 0 but one
        // 1 a key: held sparse, the 1s alone and where they go.
        std::vector<float> times, ones;
        std::vector<uint32_t> places_of_ones;
        for (size_t k = 0; k < keys.key_frames.size(); ++k) {
            times.push_back(key_time(keys.key_frames[k]));
            if (keys.key_targets[k] == 0) continue;
            places_of_ones.push_back(uint32_t(k * target_count + keys.key_targets[k] - 1));
            ones.push_back(1.0f);
        }
        const int output = add_gltf_accessor(model, -1, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                             TINYGLTF_TYPE_SCALAR, times.size() * target_count);
        if (!ones.empty()) {
            tinygltf::Accessor& weights = model.accessors[size_t(output)];
            weights.sparse.isSparse = true;
            weights.sparse.count = int(ones.size());
            weights.sparse.indices.bufferView = add_gltf_view(model, places_of_ones, 0);
            weights.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
            weights.sparse.values.bufferView = add_gltf_view(model, ones, 0);
            // tinygltf leaves these unset.
            weights.sparse.indices.byteOffset = 0;
            weights.sparse.values.byteOffset = 0;
        }
        add_channel(animation, add_sampler(animation, add_times(model, times), output), mesh_node,
                    "weights");
    }
    // The turn of every frame: slerp between frames would stray from the
    // program's composed turn, and a key a frame costs little beside the
    // shapes.
    std::vector<float> times, turns;
    Quaternion last{0, 0, 0, 1};
    for (uint64_t i = 0; i < shapes.size(); ++i) {
        times.push_back(key_time(i));
        Quaternion q = program_turn(request.first + i);
        // The short way round from the previous key, as slerp takes it.
        const double dot = q[0] * last[0] + q[1] * last[1] + q[2] * last[2] + q[3] * last[3];
        if (i > 0 && dot < 0.0) {
            q = {-q[0], -q[1], -q[2], -q[3]};
        }
        last = q;
        turns.insert(turns.end(), {float(q[0]), float(q[1]), float(q[2]), float(q[3])});
    }
    const int turn_output =
        add_gltf_accessor(model, add_gltf_view(model, turns, 0), TINYGLTF_COMPONENT_TYPE_FLOAT,
                          TINYGLTF_TYPE_VEC4, shapes.size());
    add_channel(animation, add_sampler(animation, add_times(model, times), turn_output), 0,
                "rotation");
    model.animations.push_back(animation);
    return glb_of(model, glb, reason);
}

}  // namespace solidmorph
