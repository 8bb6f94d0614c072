#include "render/scene_state.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace solidmorph {

// The GL copies these vectors when they are given; it keeps no pointer to them.
static const GLfloat material_ambient[] = {0.5f, 0.5f, 1.0f, 0.15f};
static const GLfloat material_shininess[] = {10.0f};
static const GLfloat material_diffuse[] = {0.75f, 0.75f, 0.0f, 1.0f};
static const GLfloat material_specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
static const GLfloat light_colour[] = {0.5f, 0.5f, 0.5f, 1.0f};
static const GLfloat light_position[] = {-7.0f, 8.0f, -6.0f, 1.0f};

void set_view(int32_t width, int32_t height, double aspect) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, aspect, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void setup_scene(int32_t width, int32_t height, double aspect) {
    // The light below is given under set_view's identity modelview, so it
    // sits fixed in eye space and does not turn with the solid.
    set_view(width, height, aspect);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // No glColorMaterial: ambient and diffuse follow the current colour,
    // which stays white, so the material's own ambient and diffuse below
    // never show.
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_TEXTURE_2D);
    // Set for completeness; blending itself stays off and every fragment is
    // opaque.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPolygonMode(GL_FRONT, GL_FILL);
    glMaterialfv(GL_FRONT, GL_AMBIENT, material_ambient);
    glMaterialfv(GL_FRONT, GL_SHININESS, material_shininess);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, material_diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, material_specular);
    // Specular added after texturing keeps the highlights white over a dark
    // texture.
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_colour);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_colour);
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

}  // namespace solidmorph
