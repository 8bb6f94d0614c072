#include "saver/fps_overlay.h"

#include <GL/gl.h>
#include <time.h>

#include <cstdio>
#include <cstring>

namespace solidmorph {

namespace {

struct FpsOverlay {
    uint32_t list_base = 0;
    int32_t line_height = 13;
    double since = 0.0;      // wall clock at the start of the second counted
    double cpu_since = 0.0;  // the process's CPU time then
    int64_t frames = 0;
    char lines[3][48] = {"FPS: ...", "Load: ...", "Polys: ..."};
};
FpsOverlay overlay;

double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void count_frame_at(double now, int64_t triangles) {
    ++overlay.frames;
    const double elapsed = now - overlay.since;
    if (elapsed < 1.0) return;
    const double cpu = process_cpu_seconds();
    std::snprintf(overlay.lines[0], sizeof overlay.lines[0], "FPS: %.1f",
                  double(overlay.frames) / elapsed);
    std::snprintf(overlay.lines[1], sizeof overlay.lines[1], "Load: %.1f%%",
                  100.0 * (cpu - overlay.cpu_since) / elapsed);
    std::snprintf(overlay.lines[2], sizeof overlay.lines[2], "Polys: %lld",
                  static_cast<long long>(triangles));
    overlay.since = now;
    overlay.cpu_since = cpu;
    overlay.frames = 0;
}

}  // namespace

void start_fps_overlay(uint32_t list_base, int32_t line_height, double now) {
    overlay = FpsOverlay{};
    overlay.list_base = list_base;
    if (line_height > 0) overlay.line_height = line_height;
    overlay.since = now;
    overlay.cpu_since = process_cpu_seconds();
}

void draw_fps_overlay(int32_t width, int32_t height, double now, int64_t triangles) {
    count_frame_at(now, triangles);
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIST_BIT | GL_TRANSFORM_BIT);
    // The scene's colour material would take the text's colour for good.
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width > 0 ? width : 1, 0.0, height > 0 ? height : 1, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 0.0f);
    glListBase(overlay.list_base);
    // Bottom line last, as the hacks stack theirs up from the corner.
    const int32_t margin = overlay.line_height / 2;
    for (int32_t i = 0; i < 3; ++i) {
        glRasterPos2i(margin, margin + (2 - i) * overlay.line_height);
        glCallLists(GLsizei(std::strlen(overlay.lines[i])), GL_UNSIGNED_BYTE, overlay.lines[i]);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

}  // namespace solidmorph
