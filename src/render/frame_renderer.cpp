#include "render/frame_renderer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"

namespace solidmorph {

int32_t frame_count = 0;

namespace {

// The triangle list's corners in its order, for draw_solid_indexed, and
// the highest vertex they name.
std::vector<GLuint> corner_indices;
GLuint highest_corner = 0;

// Normal and texture coordinate go first: glVertex emits the vertex with
// whatever attributes are current.
void send_corner(int32_t k) {
    glNormal3fv(&mesh.normals[k].x);
    glTexCoord2fv(&mesh.texcoords[k].u);
    glVertex3fv(&mesh.positions[k].x);
}

// Clears what `buffers` names and sets the modelview both draws share, so
// that they turn the solid by the very same matrix.
void place_solid(const SolidView* view, GLbitfield buffers) {
    const GLfloat angle = static_cast<GLfloat>(frame_count);

    glClear(buffers);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (view == nullptr) {
        glTranslatef(0.0f, 0.0f, -5.0f);
    } else {
        glTranslatef(0.0f, 0.0f, -view->distance);
        glMultMatrixf(view->rotation);
        // Scaled normals would light the solid brighter or darker: GL puts
        // them back to unit length, only while a scale is drawn.
        if (view->scale != 1.0f) {
            glScalef(view->scale, view->scale, view->scale);
            glEnable(GL_RESCALE_NORMAL);
        } else {
            glDisable(GL_RESCALE_NORMAL);
        }
    }
    // Issued x, y, z: a vertex turns about z first, then y, then x.
    glRotatef(angle, 1.0f, 0.0f, 0.0f);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
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
    place_solid(view, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    for (const Triangle& t : triangle_list) {
        send_corner(t.index1);
        send_corner(t.index2);
        send_corner(t.index3);
    }
    glEnd();
}

void build_solid_indices() {
    corner_indices.clear();
    corner_indices.reserve(std::size_t(3) * triangle_list.size());
    highest_corner = 0;
    for (const Triangle& t : triangle_list) {
        for (const int32_t k : {t.index1, t.index2, t.index3}) {
            corner_indices.push_back(GLuint(k));
            if (GLuint(k) > highest_corner) highest_corner = GLuint(k);
        }
    }
}

// The stencil, which nothing uses, is cleared as well: a depth buffer that
// shares its words with the stencil is then filled whole, where clearing the
// depth alone has Mesa's software renderer keep every word's stencil bits
// (about a third of a millisecond a frame at 1024 x 768).
//
// The arrays are named afresh every frame, since the mesh may have been
// sized again since the last one; a mesh too small for the indices draws
// nothing rather than have the GL read past its arrays. The arrays are
// turned off again afterwards, as draw_solid leaves them, so that
// immediate-mode drawing after this one is unaffected. The range spares the
// GL a scan of the indices for it.
void draw_solid_indexed(const SolidView* view) {
    place_solid(view, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    const std::size_t room =
        std::min({mesh.positions.size(), mesh.normals.size(), mesh.texcoords.size()});
    if (corner_indices.empty() || room <= highest_corner) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(Vec3), mesh.positions.data());
    glNormalPointer(GL_FLOAT, sizeof(Vec3), mesh.normals.data());
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vec2), mesh.texcoords.data());
    glDrawRangeElements(GL_TRIANGLES, 0, highest_corner, GLsizei(corner_indices.size()),
                        GL_UNSIGNED_INT, corner_indices.data());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace solidmorph
