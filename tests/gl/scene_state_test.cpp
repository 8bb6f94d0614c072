#include "render/scene_state.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>

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
        setup_scene();
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
};

void expect_vector(GLenum what, const float* got, const float* want, int n) {
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(got[i], want[i]) << "component " << i << " of 0x" << std::hex << what;
    }
}

TEST_F(SceneState, FixedFunctionSwitches) {
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "fragments must be drawn opaque";
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));

    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    GLint polygon_mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, polygon_mode);
    EXPECT_EQ(polygon_mode[0], GL_FILL);

    GLfloat clear[4] = {-1, -1, -1, -1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const float black[4] = {0, 0, 0, 1};
    expect_vector(GL_COLOR_CLEAR_VALUE, clear, black, 4);
    GLdouble depth = 0.0;
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0);

    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
}

TEST_F(SceneState, LeavesIdentityModelviewCurrent) {
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << "element " << i;
    }
}

// The GL keeps the light position in eye coordinates, so reading back the
// given values shows it was given under the identity, even though the
// modelview held a turn and a shift before setup_scene ran.
TEST_F(SceneState, LightSitsFixedInEyeSpace) {
    GLfloat v[4] = {0, 0, 0, 0};
    glGetLightfv(GL_LIGHT0, GL_POSITION, v);
    const float position[4] = {-7, 8, -6, 1};
    expect_vector(GL_POSITION, v, position, 4);

    const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
    expect_vector(GL_AMBIENT, v, grey, 4);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, v);
    expect_vector(GL_DIFFUSE, v, grey, 4);
    // Left at its initial white, the highlight colour.
    const float white[4] = {1, 1, 1, 1};
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, v);
    expect_vector(GL_SPECULAR, v, white, 4);
}

TEST_F(SceneState, MaterialAndSeparateSpecular) {
    GLfloat v[4] = {0, 0, 0, 0};
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, v);
    const float white[4] = {1, 1, 1, 1};
    expect_vector(GL_SPECULAR, v, white, 4);
    GLfloat shininess = 0;
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 10.0f);

    GLint control = 0;
    glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &control);
    EXPECT_EQ(control, GL_SEPARATE_SPECULAR_COLOR);

    // Colour tracking keeps the GL's own setting: both faces' ambient and
    // diffuse follow the current colour.
    GLint face = 0, parameter = 0;
    glGetIntegerv(GL_COLOR_MATERIAL_FACE, &face);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &parameter);
    EXPECT_EQ(face, GL_FRONT_AND_BACK);
    EXPECT_EQ(parameter, GL_AMBIENT_AND_DIFFUSE);

    GLboolean local_viewer = GL_TRUE, two_side = GL_TRUE;
    glGetBooleanv(GL_LIGHT_MODEL_LOCAL_VIEWER, &local_viewer);
    glGetBooleanv(GL_LIGHT_MODEL_TWO_SIDE, &two_side);
    EXPECT_FALSE(local_viewer);
    EXPECT_FALSE(two_side);
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
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(got[i], want[i]) << "element " << i;
    }

    // And from the textbook form, so a GLU-free stand-in would be held to
    // the same picture. Column-major: element 4 * column + row.
    const double f = 1.0 / std::tan(20.0 * 3.14159265358979323846 / 180.0);
    const double near = 1.0, far = 200.0;
    double formula[16] = {};
    formula[0] = f / 1.33333333333333;
    formula[5] = f;
    formula[10] = (far + near) / (near - far);
    formula[11] = -1.0;
    formula[14] = 2.0 * far * near / (near - far);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(got[i], formula[i], 1e-6 * std::fabs(formula[i])) << "element " << i;
    }
}

}  // namespace
}  // namespace solidmorph
