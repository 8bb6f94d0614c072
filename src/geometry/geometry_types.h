#pragma once

namespace solidmorph {

struct Vec2 {
    float u, v;
};

struct Vec3 {
    float x, y, z;
};

// The six superformula parameters in their published order.
struct ShapeParams {
    float a, b, m, n1, n2, n3;
};

// A shape of the whole space: the latitude's set gives the row radius, the
// longitude's the column radius. The program's shapes have one set twice.
struct ChosenShape {
    ShapeParams latitude, longitude;
};

// Scales v in place to unit length; a vector whose inverse length is not a
// usable float (zero, infinite, NaN, or too short) becomes (0, 0, 1).
void normalize(Vec3& v);

}  // namespace solidmorph
