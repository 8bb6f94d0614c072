// Renders a solid the exporter wrote, as a slicer would show it: standing on
// a print plate with a 10 mm grid, flat-shaded so every facet and the cut
// base read clearly, seen from the front and a little above. For the
// README's picture of a solid on its flat base; on whatever X display is
// current (a private Xvfb will do).
// Usage: plate_picture MESH.stl OUTPUT.png
#include <CGAL/IO/STL.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/display.h"
#include "app/program_flow.h"

namespace {

using namespace solidmorph;
using Point = std::array<double, 3>;
using Facet = std::array<int, 3>;

constexpr int width = 640;
constexpr int height = 480;

struct Solid {
    std::vector<Point> points;
    std::vector<Facet> facets;
    Point low{}, high{};
};

// CGAL's reader, not one of ours: the picture shows what a slicer would
// read from the file.
bool read_solid(const char* path, Solid& solid) {
    std::ifstream in(path, std::ios::binary);
    if (!in || !CGAL::IO::read_STL(in, solid.points, solid.facets) || solid.facets.empty()) {
        return false;
    }
    solid.low = solid.high = solid.points.front();
    for (const Point& p : solid.points) {
        for (int k = 0; k < 3; ++k) {
            solid.low[k] = std::min(solid.low[k], p[k]);
            solid.high[k] = std::max(solid.high[k], p[k]);
        }
    }
    return true;
}

// The plate's grid is centred under the solid and reaches a little past it,
// in whole centimetres, so its squares measure the solid.
void draw_plate(const Solid& solid) {
    const double cx = std::round((solid.low[0] + solid.high[0]) / 20) * 10;
    const double cy = std::round((solid.low[1] + solid.high[1]) / 20) * 10;
    const double reach =
        10 *
        std::ceil(0.7 * std::max(solid.high[0] - solid.low[0], solid.high[1] - solid.low[1]) / 10);
    glDisable(GL_LIGHTING);
    // Pushed back in depth, so that the base lying on it is seen, not the
    // plate through it.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(2, 2);
    glColor3ub(62, 64, 70);
    glBegin(GL_QUADS);
    glVertex3d(cx - reach, cy - reach, 0);
    glVertex3d(cx + reach, cy - reach, 0);
    glVertex3d(cx + reach, cy + reach, 0);
    glVertex3d(cx - reach, cy + reach, 0);
    glEnd();
    glDisable(GL_POLYGON_OFFSET_FILL);
    glColor3ub(98, 102, 110);
    glBegin(GL_LINES);
    for (double d = -reach; d <= reach; d += 10) {
        glVertex3d(cx + d, cy - reach, 0);
        glVertex3d(cx + d, cy + reach, 0);
        glVertex3d(cx - reach, cy + d, 0);
        glVertex3d(cx + reach, cy + d, 0);
    }
    glEnd();
}

void draw_solid_facets(const Solid& solid) {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glColor3ub(232, 120, 40);
    glBegin(GL_TRIANGLES);
    for (const Facet& f : solid.facets) {
        const Point& a = solid.points[size_t(f[0])];
        const Point& b = solid.points[size_t(f[1])];
        const Point& c = solid.points[size_t(f[2])];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        glNormal3d(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]);
        glVertex3dv(a.data());
        glVertex3dv(b.data());
        glVertex3dv(c.data());
    }
    glEnd();
    glDisable(GL_LIGHTING);
}

void draw_scene(const Solid& solid) {
    glViewport(0, 0, width, height);
    glClearColor(0.16f, 0.17f, 0.19f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glEnable(GL_NORMALIZE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);

    const double extent = std::max(
        {solid.high[0] - solid.low[0], solid.high[1] - solid.low[1], solid.high[2] - solid.low[2]});
    // Aimed a little below the solid's middle, so the plate around its base
    // is in the picture.
    const Point centre = {(solid.low[0] + solid.high[0]) / 2, (solid.low[1] + solid.high[1]) / 2,
                          solid.low[2] + 0.4 * (solid.high[2] - solid.low[2])};
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30, double(width) / height, extent * 0.2, extent * 20);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Lights fixed to the eye: a key from the upper left, a weak fill.
    const GLfloat key[] = {-0.5f, 0.8f, 1.0f, 0}, fill[] = {0.6f, -0.2f, 0.5f, 0};
    const GLfloat key_colour[] = {0.85f, 0.85f, 0.85f, 1}, fill_colour[] = {0.3f, 0.3f, 0.32f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, key);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, key_colour);
    glLightfv(GL_LIGHT1, GL_POSITION, fill);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, fill_colour);
    // Front and a little above, the plate's y axis going away from the eye.
    const double distance = 2.7 * extent;
    const double rise = 14 * M_PI / 180, turn = -30 * M_PI / 180;
    gluLookAt(centre[0] + distance * std::cos(rise) * std::sin(turn),
              centre[1] - distance * std::cos(rise) * std::cos(turn),
              centre[2] + distance * std::sin(rise), centre[0], centre[1], centre[2], 0, 0, 1);
    draw_plate(solid);
    draw_solid_facets(solid);
}

bool write_picture(const char* path) {
    std::vector<unsigned char> rows(size_t(width) * height * 3), upright(rows.size());
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    const size_t stride = size_t(width) * 3;
    for (int y = 0; y < height; ++y) {
        std::copy_n(&rows[size_t(height - 1 - y) * stride], stride, &upright[size_t(y) * stride]);
    }
    return stbi_write_png(path, width, height, 3, upright.data(), int(stride)) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: plate_picture MESH.stl OUTPUT.png\n");
        return 2;
    }
    Solid solid;
    if (!read_solid(argv[1], solid)) {
        std::fprintf(stderr, "plate_picture: cannot read a solid from %s\n", argv[1]);
        return 1;
    }
    WindowSettings settings{};
    fill_window_request(settings);
    if (open_display_window(settings) != DisplayOpen::opened) {
        std::fprintf(stderr, "plate_picture: cannot open the display\n");
        return 1;
    }
    draw_scene(solid);
    const bool written = write_picture(argv[2]);
    terminate_display();
    if (!written) std::fprintf(stderr, "plate_picture: cannot write %s\n", argv[2]);
    return written ? 0 : 1;
}
