// The program's story: open the display, set the scene, build the solid and
// its texture, then draw, swap and poll until Escape, and shut down cleanly.
#include "app/program_flow.h"

#include <GL/gl.h>

#include <cstdlib>
#include <new>

#include "app/morph_scheduler.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/stop_signal.h"
#include "render/display.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "render/texture_loader.h"

namespace solidmorph {

namespace {

WindowSettings window_settings{};
GLuint texture_name = 0;

// Without its texture the program has nothing to show: say so and keep the
// message on the console until the user has read it (or asks to stop).
[[noreturn]] void fail_texture_load() {
    terminate_display();
    console_write_line("Failed to load image!!!");
    console_pause(console_wait_forever);
    std::exit(0);
}

// The mesh and the triangle list are the only large allocations besides the
// texture. Without room for them there is nothing to draw: end like a window
// that could not be opened, quietly, with the display given back.
void create_surface_or_quit() {
    try {
        create_surface();
    } catch (const std::bad_alloc&) {
        terminate_display();
        std::exit(0);
    }
}

void load_texture() {
    hold_stop_watchdog();
    const bool loaded = create_texture("vein.tga", texture_name);
    release_stop_watchdog();
    if (!loaded) {
        fail_texture_load();
    }
}

// Escape ends the loop; so do the window system closing the window and the
// stop signals, each through the same shutdown.
bool keep_running() { return !escape_pressed() && !display_close_requested() && !stop_requested(); }

void shut_down() {
    glDeleteTextures(1, &texture_name);
    terminate_display();
}

}  // namespace

// Read by the generator, which gets it from nowhere else.
float frame_clock = 0.0f;

void create_surface() {
    // Sized once here and rewritten in place every frame, so the loop never
    // allocates.
    create_mesh();
    reset_morph();
    generate_grid_surface(current_shape);
    build_grid_triangle_list();
}

bool create_texture(const char* file_name, unsigned int& name) {
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    return load_texture_2d(file_name);
}

void run_frame(double clock_reading, FrameStepHook after_step) {
    const auto done = [after_step](FrameStep step) {
        if (after_step != nullptr) after_step(step);
    };
    // render_frame clears and loads the identity again before it draws; this
    // first clear leaves no trace and is kept only because the program has
    // always framed its work this way.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    done(FrameStep::cleared);
    advance_morph();
    done(FrameStep::morph_advanced);
    frame_clock = static_cast<float>(clock_reading / 100.0);
    done(FrameStep::clock_read);
    generate_grid_surface(current_shape);
    done(FrameStep::surface_generated);
    render_frame();
    done(FrameStep::drawn);
}

int run_program() {
    install_stop_handlers();
    ignore_closed_output();
    open_display(window_settings);
    setup_scene();
    create_surface_or_quit();
    load_texture();
    fill_shape_table();
    start_morph();
    do {
        run_frame(clock_seconds());
        poll_events_then_swap();
    } while (keep_running());
    shut_down();
    return 0;
}

}  // namespace solidmorph
