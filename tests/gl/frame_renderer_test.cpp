#include "render/frame_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/morph_scheduler.h"
#include "render/scene_state.h"
#include "render/view_control.h"
#include "support/gl_context.h"

// The matrix a turn of 361 degrees leaves is that of 1 degree, so the angle
// itself is caught on its way into the GL: this executable's glRotatef
// notes its arguments and hands the call on to the GL's own.
namespace {

struct RotateCall {
    GLfloat angle, x, y, z;
};

bool recording = false;
std::vector<RotateCall> rotations;

}  // namespace

extern "C" void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    using Rotate = void (*)(GLfloat, GLfloat, GLfloat, GLfloat);
    static const Rotate gl_rotate = reinterpret_cast<Rotate>(dlsym(RTLD_NEXT, "glRotatef"));
    if (recording) rotations.push_back({angle, x, y, z});
    gl_rotate(angle, x, y, z);
}

namespace solidmorph {
namespace {

constexpr int width = 640;
constexpr int height = 480;

// Row-major 4 x 4 in double, built without the GL.
using Mat4 = std::array<std::array<double, 4>, 4>;

Mat4 identity() {
    Mat4 m{};
    for (int i = 0; i < 4; ++i) m[i][i] = 1.0;
    return m;
}

Mat4 operator*(const Mat4& x, const Mat4& y) {
    Mat4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r[i][j] += x[i][k] * y[k][j];
    return r;
}

// Counter-clockwise turn about one coordinate axis (0 x, 1 y, 2 z), seen
// from the positive end of the axis.
Mat4 turn(int axis, double degrees) {
    const double r = std::fmod(degrees, 360.0) * 3.14159265358979323846 / 180.0;
    const int p = (axis + 1) % 3, q = (axis + 2) % 3;
    Mat4 m = identity();
    m[p][p] = m[q][q] = std::cos(r);
    m[q][p] = std::sin(r);
    m[p][q] = -m[q][p];
    return m;
}

// Five units away, turned about x, then y, then z (or z, y, x).
Mat4 spin(double degrees, const int (&axes)[3] = {0, 1, 2}) {
    Mat4 m = identity();
    m[2][3] = -5;
    for (int axis : axes) m = m * turn(axis, degrees);
    return m;
}

double error_from(const Mat4& want) {
    GLdouble gl[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, gl);
    double d = 0.0;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            d = std::max(d, std::fabs(gl[4 * col + row] - want[row][col]));
    return d;
}

// The GL turns the degrees into radians and rounds those to a float before
// taking sine and cosine, so its matrix strays further from the exact one
// the larger the angle; three turns each add up to half a float step.
double gl_tolerance(double degrees) {
    return 1e-5 + 3.0 * std::fabs(degrees) * 3.14159265358979323846 / 180.0 * std::ldexp(1.0, -24);
}

// The renderer reads module-level state that other tests in this process
// also use; each test here works on a copy and puts the originals back.
class FrameRenderer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensure_gl_context());
        saved_count = frame_count;
        saved_mesh = mesh;
        saved_list = triangle_list;
        triangle_list.clear();
        setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    }

    void TearDown() override {
        frame_count = saved_count;
        mesh = saved_mesh;
        triangle_list = saved_list;
    }

    // Draws the frame that turns the model by `frame` degrees.
    void draw_frame(int32_t frame) {
        frame_count = frame - 1;
        render_frame();
    }

    int32_t saved_count = 0;
    SurfaceMesh saved_mesh;
    TriangleList saved_list;
};

// Just short of the largest whole-turn count a float holds exactly, the
// counter steps back to 0: the solid turns on by one degree, as on any frame.
TEST_F(FrameRenderer, SpinsAboutXThenYThenZAndOnAcrossTheWrap) {
    for (int32_t frame : {1, 2, 30, 90, 200, 361, 1000, 123457}) {
        draw_frame(frame);
        EXPECT_LT(error_from(spin(frame)), gl_tolerance(frame)) << "frame " << frame;
    }
    // The order matters at this angle, so a swapped order cannot pass.
    draw_frame(30);
    EXPECT_GT(error_from(spin(30, {2, 1, 0})), 0.1);
    EXPECT_GT(error_from(spin(29)), 0.01) << "angle taken before count";

    static_assert(spin_wrap_frames % 360 == 0);
    static_assert(spin_wrap_frames <= (1 << 24) && spin_wrap_frames + 360 > (1 << 24));
    draw_frame(spin_wrap_frames - 1);
    EXPECT_LT(error_from(spin(-1)), gl_tolerance(spin_wrap_frames));
    render_frame();
    EXPECT_LT(error_from(spin(0)), 1e-6);
    render_frame();
    EXPECT_LT(error_from(spin(1)), 1e-5);
}

// The count goes up by one per frame and is passed as the angle: whole
// degrees, never reduced to one turn, until the counter steps back at the wrap.
TEST_F(FrameRenderer, PassesTheCountAsTheAngleAboutEachAxis) {
    constexpr int32_t w = spin_wrap_frames;
    const int32_t cases[][2] = {{0, 1},           {1, 2},         {360, 361}, {719, 720},
                                {123456, 123457}, {w - 2, w - 1}, {w - 1, 0}};
    for (const auto& [before, angle] : cases) {
        SCOPED_TRACE(::testing::Message() << "frame after " << before);
        frame_count = before;
        rotations.clear();
        recording = true;
        render_frame();
        recording = false;
        EXPECT_EQ(frame_count, angle);
        ASSERT_EQ(rotations.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const RotateCall& r = rotations[i];
            EXPECT_EQ(r.angle, static_cast<float>(angle));
            EXPECT_EQ(
                (std::array{r.x, r.y, r.z}),
                (std::array<GLfloat, 3>{i == 0 ? 1.0f : 0, i == 1 ? 1.0f : 0, i == 2 ? 1.0f : 0}))
                << "axis " << i;
        }
    }
}

// The back buffer's pixels, `n` values of type T each.
template <class T>
std::vector<T> read_back(GLenum format, GLenum type, int n, T fill) {
    std::vector<T> out(size_t(width) * height * n, fill);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, format, type, out.data());
    return out;
}

TEST_F(FrameRenderer, EmptyListStillClearsTheFrame) {
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);

    render_frame();
    // An unbalanced glBegin would show up here as an invalid operation.
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const auto colour = read_back<GLubyte>(GL_RGB, GL_UNSIGNED_BYTE, 3, 7);
    const auto depth = read_back<GLfloat>(GL_DEPTH_COMPONENT, GL_FLOAT, 1, 0.0f);
    EXPECT_EQ(std::count(colour.begin(), colour.end(), 0), static_cast<long>(colour.size()));
    EXPECT_EQ(std::count(depth.begin(), depth.end(), 1.0f), static_cast<long>(depth.size()));
}

// Feedback mode hands back what reached the GL: window position, lit primary
// colour and texture coordinate of every corner, in the order sent.
TEST_F(FrameRenderer, SendsEachCornerWithItsOwnNormalAndTexCoord) {
    mesh.positions = {{0, 0, 0}, {9, 9, 9}, {0.5f, 0.1f, 0}, {0.1f, 0.6f, 0}};
    mesh.texcoords = {{0.05f, 0.15f}, {0.95f, 0.95f}, {0.25f, 0.55f}, {0.35f, 0.75f}};
    // Vertex 2 faces the light (up, left and a little toward the viewer of
    // the solid's centre), the others face straight away from it.
    const Vec3 toward = {-0.65745f, 0.75137f, -0.09392f};
    const Vec3 away = {-toward.x, -toward.y, -toward.z};
    mesh.normals = {away, toward, toward, away};
    const Vec2 decoy = {0.9f, 0.1f};
    triangle_list = {Triangle{2, 0, 3, decoy, decoy, decoy, 0.5f}};

    std::array<GLfloat, 256> buffer{};
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw_frame(360);
    ASSERT_EQ(glRenderMode(GL_RENDER), 2 + 3 * 11);
    ASSERT_EQ(buffer[0], static_cast<GLfloat>(GL_POLYGON_TOKEN));
    ASSERT_EQ(buffer[1], 3.0f);

    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int order[3] = {2, 0, 3};
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(::testing::Message() << "corner " << c);
        const GLfloat* v = &buffer[2 + 11 * c];
        const Vec3& p = mesh.positions[order[c]];
        const Vec2& t = mesh.texcoords[order[c]];
        GLdouble x, y, z;
        gluProject(p.x, p.y, p.z, model, projection, viewport, &x, &y, &z);
        EXPECT_NEAR(v[0], x, 0.01);
        EXPECT_NEAR(v[1], y, 0.01);
        EXPECT_FLOAT_EQ(v[7], t.u);
        EXPECT_FLOAT_EQ(v[8], t.v);
        if (order[c] == 2) {
            EXPECT_GT(v[3], 0.95f) << "lit corner";  // red
        } else {
            EXPECT_LT(v[3], 0.8f) << "facing away";
        }
    }
}

struct Picture {
    std::vector<GLubyte> rgb = read_back<GLubyte>(GL_RGB, GL_UNSIGNED_BYTE, 3, 0);

    const GLubyte* at(int x, int y) const { return &rgb[3 * (width * y + x)]; }
    bool black(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2] == 0; }
};

long pixels_changed(const Picture& x, const Picture& y) {
    long n = 0;
    for (std::size_t i = 0; i < x.rgb.size(); i += 3) {
        int d = 0;
        for (std::size_t c = i; c < i + 3; ++c) d += std::abs(x.rgb[c] - y.rgb[c]);
        n += d > 24;
    }
    return n;
}

// The unit sphere on the program's own grid, textured and lit.
class FrameRendererPicture : public FrameRenderer {
protected:
    void SetUp() override {
        FrameRenderer::SetUp();
        if (HasFatalFailure()) return;
        create_mesh();
        generate_grid_surface(ShapeParams{1, 1, 0, 1, 1, 1});
        build_grid_triangle_list();
        ASSERT_EQ(triangle_list.size(), size_t(grid_triangle_count));
    }

    void TearDown() override {
        glBindTexture(GL_TEXTURE_2D, 0);
        for (GLuint name : textures) glDeleteTextures(1, &name);
        FrameRenderer::TearDown();
    }

    // Binds a checker texture, two levels of the tint in 8 x 8 squares.
    void use_checker(GLubyte dark, GLubyte light, const std::array<GLubyte, 3>& tint) {
        std::vector<GLubyte> texels;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                for (int c = 0; c < 3; ++c)
                    texels.push_back(GLubyte(((x / 8 + y / 8) % 2 ? light : dark) * tint[c] / 255));
        textures.push_back(0);
        glGenTextures(1, &textures.back());
        glBindTexture(GL_TEXTURE_2D, textures.back());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    }

    std::vector<GLuint> textures;
};

TEST_F(FrameRendererPicture, SolidSitsCentredOnBlack) {
    use_checker(120, 240, {255, 255, 255});
    draw_frame(10);
    const Picture p;
    for (int dx : {-80, 0, 80})
        for (int dy : {-80, 0, 80}) EXPECT_FALSE(p.black(320 + dx, 240 + dy)) << dx << ", " << dy;
    for (int x : {2, 637})
        for (int y : {2, 477}) EXPECT_TRUE(p.black(x, y)) << "corner " << x << ", " << y;
    // A sphere of radius 1 at 5 units under a 40 degree view spans about
    // 134 pixels each way; well outside that only black remains.
    for (int dx : {-200, 200}) EXPECT_TRUE(p.black(320 + dx, 240));
    for (int dy : {-180, 180}) EXPECT_TRUE(p.black(320, 240 + dy));
}

// Specular light is added after the texture, so even a dark texture shows a
// white highlight; the light stays put in eye space, up and to the left,
// however far the solid has turned.
TEST_F(FrameRendererPicture, HighlightStaysWhiteAndUpperLeft) {
    use_checker(30, 60, {255, 255, 255});
    for (int32_t frame : {10, 100, 250}) {
        SCOPED_TRACE(::testing::Message() << "frame " << frame);
        draw_frame(frame);
        const Picture p;
        int best = -1, best_x = 0, best_y = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int low = std::min({p.at(x, y)[0], p.at(x, y)[1], p.at(x, y)[2]});
                if (low > best) std::tie(best, best_x, best_y) = std::tuple(low, x, y);
            }
        EXPECT_GE(best, 220);
        EXPECT_LT(best_x, 320);
        EXPECT_GT(best_y, 240);
        // Away from the highlight the dark texture shows through.
        EXPECT_LT(p.at(320 + 60, 240 - 60)[0], 120);
    }
}

// The picture turns from frame to frame, and follows the bound texture.
TEST_F(FrameRendererPicture, PictureFollowsTheTurnAndTheTexture) {
    use_checker(60, 240, {255, 255, 255});
    draw_frame(20);
    const Picture first;
    draw_frame(21);
    const Picture second;
    draw_frame(20);
    const Picture again;
    EXPECT_GT(pixels_changed(first, second), 500);
    EXPECT_EQ(pixels_changed(first, again), 0);

    draw_frame(40);
    const Picture grey;
    use_checker(60, 240, {255, 40, 40});
    draw_frame(40);
    const Picture red;
    EXPECT_GT(pixels_changed(grey, red), 5000);
    // Modulated by a red texture the lit sphere loses its green.
    EXPECT_GT(red.at(320, 240)[0], red.at(320, 240)[1]);
}

// The indexed draw gives draw_solid's picture to the byte: several shapes
// and turns, from the program's place and from a view, at the program's
// size, a wide one (as the saver fits it) and an odd one; then the shapes of
// the opening and a whole cycle of the morph, at the program's size.
TEST_F(FrameRendererPicture, IndexedDrawGivesTheSamePixels) {
    use_checker(60, 240, {255, 200, 120});
    build_solid_indices();
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    const SolidView turned = {3.5f, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}};
    int32_t w = 0, h = 0;
    const auto shown = [&] {
        std::vector<GLubyte> rgb(size_t(w) * h * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    };
    const auto expect_same_pixels = [&](int32_t frame, const SolidView* view) {
        frame_count = frame;
        draw_solid(view);
        const std::vector<GLubyte> immediate = shown();
        draw_solid_indexed(view);
        EXPECT_GT(immediate.size() - std::count(immediate.begin(), immediate.end(), 0),
                  immediate.size() / 200);
        EXPECT_TRUE(shown() == immediate);
    };
    for (const auto& size : {std::pair{640, 480}, {300, 100}, {161, 121}}) {
        std::tie(w, h) = size;
        set_view(w, h, w == 640 ? program_aspect : double(w) / h);
        for (const ShapeParams& shape : {start_shape, ShapeParams{1, 1, 0, 1, 1, 1},
                                         ShapeParams{0.2f, 0.1f, 8, 18.16f, 2.3f, 10.05f}}) {
            generate_grid_surface(shape);
            for (const int32_t frame : {1, 137, 250}) {
                for (const SolidView* view : {static_cast<const SolidView*>(nullptr), &turned}) {
                    SCOPED_TRACE(::testing::Message()
                                 << w << " x " << h << ", n1 " << shape.n1 << ", frame " << frame
                                 << (view ? ", turned" : ""));
                    expect_same_pixels(frame, view);
                }
            }
        }
    }
    std::tie(w, h) = std::pair{640, 480};
    set_view(w, h, program_aspect);
    reset_morph();
    for (int32_t frame = 1; frame <= int32_t(4 * morph_frames + cycle_frames); ++frame) {
        advance_morph();
        if (frame % 53 != 0) continue;
        SCOPED_TRACE(::testing::Message() << "morph frame " << frame);
        generate_grid_surface(current_shape);
        expect_same_pixels(frame, nullptr);
    }
    reset_morph();
}

// A sphere made a thousand times smaller or millions of times larger, and
// fitted, is drawn where and as lit as the program's own sphere; the
// sphere itself fits to the program's view, bit for bit.
TEST_F(FrameRendererPicture, AFittedSolidOfAnySizeIsFramedAndLitAsTheSphere) {
    use_checker(60, 240, {255, 200, 120});
    frame_count = 29;
    draw_solid();
    const Picture sphere;
    const std::vector<Vec3> unit = mesh.positions;
    for (const float factor : {1.0f, 1e-3f, 0.25f, 40.0f, 3e6f}) {
        SCOPED_TRACE(factor);
        double farthest = 0.0;
        for (size_t k = 0; k < unit.size(); ++k) {
            mesh.positions[k] = {unit[k].x * factor, unit[k].y * factor, unit[k].z * factor};
            const Vec3& p = mesh.positions[k];
            farthest = std::max(
                farthest, std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z));
        }
        reset_view();
        fit_view(float(farthest));
        EXPECT_EQ(view_pose().distance, 5.0f);
        draw_solid(current_view());
        const Picture fitted;
        if (factor == 1.0f) {
            EXPECT_EQ(current_view(), nullptr);
            EXPECT_TRUE(fitted.rgb == sphere.rgb);
        }
        EXPECT_LT(pixels_changed(sphere, fitted), 200);
    }
    mesh.positions = unit;
    reset_view();
    glDisable(GL_RESCALE_NORMAL);
}

}  // namespace
}  // namespace solidmorph
