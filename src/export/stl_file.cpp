#include "export/stl_file.h"

#include <cmath>
#include <cstring>

namespace solidmorph {

namespace {

template <typename T>
void append_raw(Bytes& out, const T& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

}  // namespace

Bytes stl_bytes(const PrintableSolid& solid) {
    Bytes out;
    out.reserve(84 + solid.triangles.size() * 50);
    // A binary header must not start with "solid", or readers take the file
    // for text.
    char header[80] = {};
    std::strncpy(header, "binary STL: solidmorph supershape, closed and facing outward",
                 sizeof header);
    out.insert(out.end(), header, header + sizeof header);
    append_raw(out, uint32_t(solid.triangles.size()));
    for (const TriangleCorners& c : solid.triangles) {
        const Vec3 &p = solid.vertices[c[0]], &q = solid.vertices[c[1]], &r = solid.vertices[c[2]];
        const auto [nx, ny, nz] = triangle_normal(p, q, r);
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        for (const double n : {nx / length, ny / length, nz / length}) append_raw(out, float(n));
        for (const Vec3* corner : {&p, &q, &r}) {
            append_raw(out, corner->x);
            append_raw(out, corner->y);
            append_raw(out, corner->z);
        }
        append_raw(out, uint16_t(0));
    }
    return out;
}

}  // namespace solidmorph
