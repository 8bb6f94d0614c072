// One frame of the program as a whole: its steps in their order and what
// each hands on to the next, watched through the frame's own step hook.
#include "render/frame.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "geometry/surface_mesh.h"
#include "morph/morph_scheduler.h"
#include "morph/surface_setup.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "support/gl_context.h"

namespace solidmorph {
namespace {

// What the program's state looked like as each step ended.
struct Seen {
    FrameStep step;
    ShapeParams shape;
    float clock;
    int32_t frame;
    Vec3 first_vertex;
};

std::vector<Seen> seen;

void note(FrameStep step) {
    seen.push_back({step, current_shape, frame_clock, frame_count, mesh.positions[100]});
}

bool same(const ShapeParams& x, const ShapeParams& y) { return std::memcmp(&x, &y, sizeof x) == 0; }
bool same(const Vec3& x, const Vec3& y) { return std::memcmp(&x, &y, sizeof x) == 0; }

std::vector<uint8_t> back_buffer() {
    std::vector<uint8_t> pixels(size_t(640) * 480 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

TEST(Frame, StepsRunInTheProgramsOrderAndHandOnWhatTheyMake) {
    ASSERT_TRUE(test::ensure_gl_context());
    setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    create_surface();
    fill_shape_table();
    start_morph();
    texture_scroll = 0.0f;
    frame_count = 41;
    const ShapeParams before = current_shape;
    const float scroll_before = texture_scroll;
    // About a day of uptime: large enough that a clock handed on at the
    // wrong scale would move the texture visibly differently.
    const double clock_reading = 86'512.345;

    seen.clear();
    run_frame(clock_reading, note);
    const std::vector<uint8_t> shown = back_buffer();

    ASSERT_EQ(seen.size(), 5u);
    const FrameStep order[] = {FrameStep::cleared, FrameStep::morph_advanced, FrameStep::clock_read,
                               FrameStep::surface_generated, FrameStep::drawn};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(seen[i].step, order[i]) << "step " << i;

    // The morph moves the shape first; it is the moved shape that is
    // generated, and nothing after the morph step changes it.
    EXPECT_TRUE(same(seen[0].shape, before));
    EXPECT_FALSE(same(seen[1].shape, before)) << "the first frame of a morph moves the shape";
    EXPECT_TRUE(same(seen[4].shape, seen[1].shape));

    // The clock reading becomes frame_clock at its scale, rounded once.
    EXPECT_EQ(seen[1].clock, 0.0f) << "the clock is read after the morph step";
    EXPECT_EQ(seen[2].clock, static_cast<float>(clock_reading / 100.0));

    // The surface is the moved shape's, generated with that clock: the same
    // generation done again from the same inputs gives the same bits.
    EXPECT_TRUE(same(seen[2].first_vertex, seen[1].first_vertex)) << "generated too early";
    std::vector<Vec3> positions(mesh_vertex_count);
    std::vector<Vec2> texcoords(mesh_vertex_count);
    const std::vector<Vec2> frame_texcoords = mesh.texcoords;
    const std::vector<Vec3> frame_positions = mesh.positions;
    const float scroll_after = texture_scroll;
    texture_scroll = scroll_before;
    const ShapeParams& s = seen[1].shape;
    generate_supershape(positions, texcoords, grid_scale, float(grid_rows), float(grid_lon_steps),
                        s.a, s.b, s.m, s.n1, s.n2, s.n3);
    EXPECT_EQ(texture_scroll, scroll_after);
    EXPECT_EQ(
        std::memcmp(positions.data(), frame_positions.data(), positions.size() * sizeof(Vec3)), 0);
    EXPECT_EQ(
        std::memcmp(texcoords.data(), frame_texcoords.data(), texcoords.size() * sizeof(Vec2)), 0);

    // The draw comes last: it alone counts the frame, and it draws the
    // surface just generated (drawn again at that count, the same picture).
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(seen[i].frame, 41) << "step " << i;
    EXPECT_EQ(seen[4].frame, 42);
    frame_count = 41;
    render_frame();
    EXPECT_EQ(back_buffer(), shown);

    texture_scroll = 0.0f;
    frame_clock = 0.0f;
    frame_count = 0;
}

}  // namespace
}  // namespace solidmorph
