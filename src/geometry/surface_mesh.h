#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_types.h"

namespace solidmorph {

// The one grid the program draws: 64 rows of latitude, each of 64 longitude
// steps plus the seam column, which lands just past 2 pi rather than on top
// of column 0 (the angle is accumulated in floats). Every user of the grid
// (program, tools, benchmarks, tests) takes its sizes from here.
inline constexpr int32_t grid_rows = 64;
inline constexpr int32_t grid_lon_steps = 64;
inline constexpr int32_t grid_columns = grid_lon_steps + 1;
inline constexpr float grid_scale = 1.0f;
inline constexpr int mesh_vertex_count = grid_rows * grid_columns;

// One vertex per grid point, index grid_columns * row + column.
struct SurfaceMesh {
    std::vector<Vec3> positions;
    std::vector<Vec2> texcoords;
    std::vector<Vec3> normals;
};

extern SurfaceMesh mesh;

// Texture offset added to every texture coordinate; advanced by every
// generation. Owned and written by the generator.
extern float texture_scroll;

// The clock reading in seconds / 100 that drives the texture scroll, set
// once per frame (set_frame_clock, from the frame step in render/frame.h).
extern float frame_clock;

// Puts back a scroll read earlier, for a program that generates other
// shapes between its frames (an export) and keeps its picture where it was.
void restore_texture_scroll(float scroll);

// frame_clock from a clock reading in seconds, at its scale, rounded once.
void set_frame_clock(double clock_reading);

// Rewrites every position and texture coordinate of the grid in the given
// arrays from one parameter set. Its signature is fixed; what it does not
// show: it also writes the normals into mesh.normals, reads frame_clock and
// advances texture_scroll by 0.00041926 * frame_clock before it starts.
void generate_supershape(std::vector<Vec3>& positions, std::vector<Vec2>& texcoords, float scale,
                         float lat_steps, float lon_steps, float a, float b, float m, float n1,
                         float n2, float n3);

// The same from two parameter sets: the row radius from `latitude`, the
// column radius from `longitude`. generate_supershape is this with one set
// twice, bit for bit.
void generate_supershape_pair(std::vector<Vec3>& positions, std::vector<Vec2>& texcoords,
                              float scale, float lat_steps, float lon_steps,
                              const ShapeParams& latitude, const ShapeParams& longitude);

// The positions alone of the grid of `steps` latitude and longitude steps
// (steps rows of steps + 1), exactly as generate_supershape_pair places
// them at the program's scale; touches no shared state, so a thread of its
// own may call it. Resizes `positions` to the grid.
void grid_positions(std::vector<Vec3>& positions, int32_t steps, const ShapeParams& latitude,
                    const ShapeParams& longitude);

// Sizes the mesh's three arrays for the grid, zero-filled, with the clock
// and the scroll at 0: a fresh solid's texture starts unmoved. Done once, so
// that no frame allocates.
void create_mesh();

// generate_supershape over the program's grid into the mesh, for one shape,
// or for a latitude and a longitude set.
void generate_grid_surface(const ShapeParams& shape);
void generate_grid_surface(const ShapeParams& latitude, const ShapeParams& longitude);

}  // namespace solidmorph
