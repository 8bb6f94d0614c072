#include "geometry/triangle_list.h"

#include <cstddef>

namespace solidmorph {

TriangleList triangle_list;

namespace {

// The classic C library generator, with its own state that starts afresh on
// every build: nothing else can shift the sequence, so every run gets the
// same shades. Integers 0 to 32767.
int next_random(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return int(state / 65536u % 32768u);
}

float next_shade(uint32_t& state) { return float(next_random(state)) / 32768.0f; }

}  // namespace

void build_triangle_list(TriangleList& triangles, const int32_t& rows, const int32_t& lon_steps) {
    const int32_t p = rows, q = lon_steps;
    triangles.clear();

    // Negative counts would ask for a negative size, and huge ones would
    // overflow the 32-bit indices: such a grid gets no triangles.
    const int64_t vertices = (int64_t(q) + 1) * int64_t(p);
    if (p <= 0 || q < 0 || 2 * vertices > INT32_MAX) return;
    const int32_t v = int32_t(vertices);
    triangles.resize(std::size_t(2) * std::size_t(v));

    // A row step of q over rows of q + 1 vertices: consecutive rows overlap
    // by one step, and the modulo folds the last ones back onto row 0. Both
    // are intended, not slips: this is the connectivity the solid has always
    // been drawn with (the repeated records draw the same pixels again, and
    // the folded ones join the last row to the first through the inside),
    // so every picture of it depends on keeping it exactly.
    uint32_t state = 1;
    std::size_t n = 0;
    for (int32_t j = 0; j < p; ++j) {
        for (int32_t k = 0; k <= q; ++k, n += 2) {
            const int32_t g = q * j + k;
            Triangle& first = triangles[n];
            first.index1 = (g + q + 1) % v;
            first.index2 = (g + q) % v;
            first.index3 = g % v;
            first.shade = next_shade(state);
            first.tex1 = {0.0f, 0.0f};
            first.tex2 = {1.0f, 0.0f};
            first.tex3 = {1.0f, 1.0f};

            Triangle& second = triangles[n + 1];
            second.index1 = g % v;
            second.index2 = (g + 1) % v;
            second.index3 = (g + q + 1) % v;
            second.shade = next_shade(state);
            second.tex1 = {1.0f, 1.0f};
            second.tex2 = {0.0f, 1.0f};
            second.tex3 = {0.0f, 0.0f};
        }
    }
}

void build_grid_triangle_list() {
    // Created with two records, as the program always has; the build
    // replaces them.
    triangle_list.assign(2, Triangle{});
    build_triangle_list(triangle_list, grid_rows, grid_lon_steps);
}

}  // namespace solidmorph
