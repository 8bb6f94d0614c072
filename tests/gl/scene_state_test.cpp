#include "render/scene_state.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>

#include "support/gl_context.h"

namespace solidmorph {
namespace {

class SceneState : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensure_gl_context());
        // Leave the matrices somewhere else first: the scene must not rely
        // on the GL's initial state for what it sets itself.
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(3.0f, -2.0f, 1.0f);
        glRotatef(50.0f, 0.0f, 1.0f, 0.0f);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glScalef(2.0f, 2.0f, 2.0f);
        setup_scene(program_viewport_width, program_viewport_height, program_aspect);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
};

using Ints = std::array<GLint, 4>;
using Floats = std::array<GLfloat, 4>;

// Up to four values of a state variable; the rest stay -1.
Ints ints(GLenum what) {
    Ints v = {-1, -1, -1, -1};
    glGetIntegerv(what, v.data());
    return v;
}

Floats light(GLenum what) {
    Floats v = {};
    glGetLightfv(GL_LIGHT0, what, v.data());
    return v;
}

TEST_F(SceneState, FixedFunctionSwitches) {
    const std::pair<GLenum, bool> switches[] = {
        {GL_DEPTH_TEST, true}, {GL_COLOR_MATERIAL, true}, {GL_TEXTURE_2D, true},
        {GL_LIGHTING, true},   {GL_LIGHT0, true},         {GL_LIGHT1, false},
        {GL_BLEND, false},  // fragments must be drawn opaque
        {GL_CULL_FACE, false}};
    for (const auto& [what, on] : switches) {
        EXPECT_EQ(glIsEnabled(what), on ? GL_TRUE : GL_FALSE) << "0x" << std::hex << what;
    }
    const std::pair<GLenum, GLint> values[] = {{GL_DEPTH_FUNC, GL_LEQUAL},
                                               {GL_SHADE_MODEL, GL_SMOOTH},
                                               {GL_BLEND_SRC, GL_SRC_ALPHA},
                                               {GL_BLEND_DST, GL_ONE},
                                               {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
                                               {GL_POLYGON_MODE, GL_FILL}};
    for (const auto& [what, value] : values) {
        EXPECT_EQ(ints(what)[0], value) << "0x" << std::hex << what;
    }
    Floats clear = {-1, -1, -1, -1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
    EXPECT_EQ(clear, (Floats{0, 0, 0, 1}));
    GLdouble depth = 0.0;
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0);
    EXPECT_EQ(ints(GL_VIEWPORT), (Ints{0, 0, 640, 480}));
}

TEST_F(SceneState, LeavesIdentityModelviewCurrent) {
    EXPECT_EQ(ints(GL_MATRIX_MODE)[0], GL_MODELVIEW);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << "element " << i;
}

// The GL keeps the light position in eye coordinates, so reading back the
// given values shows it was given under the identity, even though the
// modelview held a turn and a shift before setup_scene ran.
TEST_F(SceneState, LightSitsFixedInEyeSpace) {
    EXPECT_EQ(light(GL_POSITION), (Floats{-7, 8, -6, 1}));
    EXPECT_EQ(light(GL_AMBIENT), (Floats{0.5f, 0.5f, 0.5f, 1.0f}));
    EXPECT_EQ(light(GL_DIFFUSE), (Floats{0.5f, 0.5f, 0.5f, 1.0f}));
    // Left at its initial white, the highlight colour.
    EXPECT_EQ(light(GL_SPECULAR), (Floats{1, 1, 1, 1}));
}

TEST_F(SceneState, MaterialAndSeparateSpecular) {
    Floats specular = {}, shininess = {};
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular.data());
    glGetMaterialfv(GL_FRONT, GL_SHININESS, shininess.data());
    EXPECT_EQ(specular, (Floats{1, 1, 1, 1}));
    EXPECT_EQ(shininess[0], 10.0f);
    EXPECT_EQ(ints(GL_LIGHT_MODEL_COLOR_CONTROL)[0], GL_SEPARATE_SPECULAR_COLOR);
    // Colour tracking keeps the GL's own setting: both faces' ambient and
    // diffuse follow the current colour.
    EXPECT_EQ(ints(GL_COLOR_MATERIAL_FACE)[0], GL_FRONT_AND_BACK);
    EXPECT_EQ(ints(GL_COLOR_MATERIAL_PARAMETER)[0], GL_AMBIENT_AND_DIFFUSE);
    EXPECT_EQ(ints(GL_LIGHT_MODEL_LOCAL_VIEWER)[0], GL_FALSE);
    EXPECT_EQ(ints(GL_LIGHT_MODEL_TWO_SIDE)[0], GL_FALSE);
}

TEST_F(SceneState, ProjectionIsFortyDegreePerspective) {
    GLfloat got[16];
    glGetFloatv(GL_PROJECTION_MATRIX, got);

    // What GLU builds for the same request, on a scratch stack entry.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(40.0, 1.33333333333333, 1.0, 200.0);
    GLfloat want[16];
    glGetFloatv(GL_PROJECTION_MATRIX, want);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    // And from the textbook form, so a GLU-free stand-in would be held to
    // the same picture. Column-major: element 4 * column + row.
    const double f = 1.0 / std::tan(20.0 * 3.14159265358979323846 / 180.0);
    const double near = 1.0, far = 200.0;
    const double zz = (far + near) / (near - far), zw = 2.0 * far * near / (near - far);
    const double formula[16] = {
        f / 1.33333333333333, 0, 0, 0, 0, f, 0, 0, 0, 0, zz, -1, 0, 0, zw, 0};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(got[i], want[i]) << "element " << i;
        EXPECT_NEAR(got[i], formula[i], 1e-6 * std::fabs(formula[i])) << "element " << i;
    }
}

}  // namespace
}  // namespace solidmorph
