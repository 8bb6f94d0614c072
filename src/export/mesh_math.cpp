#include "export/mesh_math.h"

#include <algorithm>
#include <cmath>

namespace solidmorph {

bool all_finite(const std::vector<Vec3>& positions) {
    return std::all_of(positions.begin(), positions.end(), [](const Vec3& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}

Box bounding_box(const std::vector<Vec3>& points) {
    Box box;
    if (points.empty()) return box;
    box.low = box.high = points.front();
    for (const Vec3& p : points) {
        box.low = {std::min(box.low.x, p.x), std::min(box.low.y, p.y), std::min(box.low.z, p.z)};
        box.high = {std::max(box.high.x, p.x), std::max(box.high.y, p.y),
                    std::max(box.high.z, p.z)};
    }
    return box;
}

std::array<double, 3> triangle_normal(const Vec3& a, const Vec3& b, const Vec3& c) {
    const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
    const double wx = double(c.x) - a.x, wy = double(c.y) - a.y, wz = double(c.z) - a.z;
    return {uy * wz - uz * wy, uz * wx - ux * wz, ux * wy - uy * wx};
}

}  // namespace solidmorph
