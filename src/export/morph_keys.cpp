#include "export/morph_keys.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>

#include "geometry/surface_mesh.h"

namespace solidmorph {

double largest_extent(const std::vector<Vec3>& positions) {
    if (positions.empty()) return 0.0;
    Vec3 low = positions[0], high = positions[0];
    for (const Vec3& p : positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return std::max({double(high.x) - low.x, double(high.y) - low.y, double(high.z) - low.z});
}

namespace {

bool same_shape(const ShapeParams& a, const ShapeParams& b) {
    return std::bit_cast<std::array<uint32_t, 6>>(a) == std::bit_cast<std::array<uint32_t, 6>>(b);
}

struct FramePositions {
    std::vector<Vec3> positions;
    double extent = 0.0;
};

struct Target {
    ShapeParams shape;
    std::vector<Vec3> positions;
};

// A frame's place over its extent, blended or kept; at most `bound` or
// anything above it when it is exceeded.
class KeyPlanner {
public:
    KeyPlanner(const std::vector<ShapeParams>& shapes, int32_t detail, double bound)
        : shapes_(shapes), detail_(detail), bound_(bound) {}

    MorphKeys plan() {
        MorphKeys keys;
        const uint64_t count = shapes_.size();
        if (count == 0) return keys;
        add_target(0, keys);
        keys.key_frames.push_back(0);
        keys.key_targets.push_back(0);
        uint32_t current = 0;
        uint64_t a = 0;
        while (a + 1 < count) {
            uint64_t b = a + 1;
            if (same_shape(shapes_[b], shapes_[a])) {
                // A rest: one key where it ends, showing what it started on.
                while (b + 1 < count && same_shape(shapes_[b + 1], shapes_[b])) ++b;
            } else {
                uint64_t limit = b;
                while (limit + 1 < count && !same_shape(shapes_[limit + 1], shapes_[limit])) {
                    ++limit;
                }
                const Choice choice = extend(a, limit, current);
                b = choice.frame;
                keys.worst_deviation = std::max(keys.worst_deviation, choice.deviation);
                if (choice.target < 0) {
                    current = add_target(b, keys);
                } else {
                    current = uint32_t(choice.target);
                }
            }
            keys.key_frames.push_back(b);
            keys.key_targets.push_back(current);
            a = b;
            frames_.erase(frames_.begin(), frames_.lower_bound(a));
        }
        return keys;
    }

private:
    struct Choice {
        uint64_t frame;
        int64_t target;  // -1: a target of its own
        double deviation;
    };

    const FramePositions& frame(uint64_t f) {
        auto found = frames_.find(f);
        if (found == frames_.end()) {
            FramePositions one;
            grid_positions(one.positions, detail_, shapes_[f], shapes_[f]);
            one.extent = largest_extent(one.positions);
            found = frames_.emplace(f, std::move(one)).first;
        }
        return found->second;
    }

    uint32_t add_target(uint64_t f, MorphKeys& keys) {
        targets_.push_back({shapes_[f], frame(f).positions});
        keys.target_frames.push_back(f);
        return uint32_t(targets_.size() - 1);
    }

    // The worst distance over extent of frames a < f < b (and b itself,
    // with `to_end`) from the blend of `from` at a to `to` at b; once past
    // the bound, whatever the first frame past it gave.
    double deviation(uint64_t a, uint64_t b, const std::vector<Vec3>& from,
                     const std::vector<Vec3>& to, bool to_end) {
        double worst = 0.0;
        const uint64_t end = to_end ? b : b - 1;
        for (uint64_t f = a + 1; f <= end; ++f) {
            const FramePositions& exact = frame(f);
            const double t = double(f - a) / double(b - a);
            const double limit = bound_ * exact.extent;
            double farthest = 0.0;
            for (size_t i = 0; i < from.size(); ++i) {
                const Vec3 &p = from[i], &q = to[i], &e = exact.positions[i];
                const double dx = p.x + t * (double(q.x) - p.x) - e.x;
                const double dy = p.y + t * (double(q.y) - p.y) - e.y;
                const double dz = p.z + t * (double(q.z) - p.z) - e.z;
                farthest = std::max(farthest, dx * dx + dy * dy + dz * dz);
            }
            const double ratio = std::sqrt(farthest) / exact.extent;
            worst = std::max(worst, ratio);
            if (!(std::sqrt(farthest) <= limit)) return std::max(worst, bound_ * 2.0);
        }
        return worst;
    }

    // The targets closest to a shape by its parameters, nearest first.
    std::vector<uint32_t> nearest_targets(const ShapeParams& shape) const {
        constexpr size_t tried = 3;
        const auto distance = [&shape](const ShapeParams& other) {
            double sum = 0.0;
            const float mine[6] = {shape.a, shape.b, shape.m, shape.n1, shape.n2, shape.n3};
            const float theirs[6] = {other.a, other.b, other.m, other.n1, other.n2, other.n3};
            for (int i = 0; i < 6; ++i) {
                const double d = (double(mine[i]) - theirs[i]) / (1.0 + std::fabs(mine[i]));
                sum += d * d;
            }
            return sum;
        };
        std::vector<std::pair<double, uint32_t>> order;
        order.reserve(targets_.size());
        for (size_t i = 0; i < targets_.size(); ++i) {
            order.push_back({distance(targets_[i].shape), uint32_t(i)});
        }
        const size_t kept = std::min(tried, order.size());
        std::partial_sort(order.begin(), order.begin() + std::ptrdiff_t(kept), order.end());
        std::vector<uint32_t> nearest;
        for (size_t i = 0; i < kept; ++i) nearest.push_back(order[i].second);
        return nearest;
    }

    // The farthest key from a (up to limit, the end of the movement) that
    // keeps every frame between within the bound, on a target kept before
    // wherever one serves: a shape costs the file far more than a key.
    Choice extend(uint64_t a, uint64_t limit, uint32_t current) {
        Choice exact{a + 1, -1, 0.0};
        Choice reuse{a, -1, 0.0};
        const std::vector<Vec3> from = targets_[current].positions;
        for (uint64_t b = a + 1; b <= limit; ++b) {
            bool any = false;
            for (const uint32_t t : nearest_targets(shapes_[b])) {
                const double d = deviation(a, b, from, targets_[t].positions, true);
                if (d <= bound_) {
                    reuse = {b, int64_t(t), d};
                    any = true;
                    break;
                }
            }
            const double d = deviation(a, b, from, frame(b).positions, false);
            if (d <= bound_) {
                exact = {b, -1, d};
                any = true;
            }
            if (!any) break;
        }
        return reuse.target >= 0 ? reuse : exact;
    }

    const std::vector<ShapeParams>& shapes_;
    int32_t detail_;
    double bound_;
    std::map<uint64_t, FramePositions> frames_;
    std::vector<Target> targets_;
};

}  // namespace

MorphKeys place_morph_keys(const std::vector<ShapeParams>& shapes, int32_t detail, double bound) {
    return KeyPlanner(shapes, detail, bound).plan();
}

}  // namespace solidmorph
