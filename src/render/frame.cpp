#include "render/frame.h"

#include <GL/gl.h>

#include "geometry/surface_mesh.h"
#include "morph/morph_scheduler.h"
#include "render/frame_renderer.h"
#include "render/texture_loader.h"

namespace solidmorph {

void create_texture_object(unsigned int& name) {
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
}

bool create_texture(const char* file_name, unsigned int& name) {
    create_texture_object(name);
    return load_texture_2d(file_name);
}

// render_frame clears and loads the identity again before it draws; this
// first clear leaves no trace and is kept only because the program has
// always framed its work this way.
void begin_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void run_frame(double clock_reading, FrameStepHook after_step) {
    const auto done = [after_step](FrameStep step) {
        if (after_step != nullptr) after_step(step);
    };
    begin_frame();
    done(FrameStep::cleared);
    advance_morph();
    done(FrameStep::morph_advanced);
    set_frame_clock(clock_reading);
    done(FrameStep::clock_read);
    generate_grid_surface(current_shape);
    done(FrameStep::surface_generated);
    render_frame();
    done(FrameStep::drawn);
}

}  // namespace solidmorph
