#include "render/frame_renderer.h"

#include <GL/gl.h>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"

namespace solidmorph {

int32_t frame_count = 0;

namespace {

// Normal and texture coordinate go first: glVertex emits the vertex with
// whatever attributes are current.
void send_corner(int32_t k) {
    glNormal3fv(&mesh.normals[k].x);
    glTexCoord2fv(&mesh.texcoords[k].u);
    glVertex3fv(&mesh.positions[k].x);
}

}  // namespace

// Steps back by whole turns before the float angle runs out of integers.
// Written so the count itself can never overflow.
void count_frame() {
    if (frame_count >= spin_wrap_frames - 1) {
        frame_count -= spin_wrap_frames - 1;
    } else {
        ++frame_count;
    }
}

void render_frame() {
    count_frame();
    draw_solid();
}

void draw_solid(const SolidView* view) {
    const GLfloat angle = static_cast<GLfloat>(frame_count);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (view == nullptr) {
        glTranslatef(0.0f, 0.0f, -5.0f);
    } else {
        glTranslatef(0.0f, 0.0f, -view->distance);
        glMultMatrixf(view->rotation);
    }
    // Issued x, y, z: a vertex turns about z first, then y, then x.
    glRotatef(angle, 1.0f, 0.0f, 0.0f);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);

    glBegin(GL_TRIANGLES);
    for (const Triangle& t : triangle_list) {
        send_corner(t.index1);
        send_corner(t.index2);
        send_corner(t.index3);
    }
    glEnd();
}

}  // namespace solidmorph
