// The program's story: open the display, set the scene, build the solid and
// its texture, then draw, swap and poll until Escape, and shut down cleanly.
#include "app/program_flow.h"

#include <GL/gl.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "app/display.h"
#include "morph/surface_setup.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/stop_signal.h"
#include "render/frame.h"
#include "render/scene_state.h"

namespace solidmorph {

namespace {

WindowSettings window_settings{};
GLuint texture_name = 0;

// The display connection is gone (the X server ended or dropped us): the
// window, its context and the texture went with it, so there is nothing
// left to draw on or give back. Xlib's own handler would exit with status
// 1, and any further X call would only fail again, so the program leaves at
// once, with the status 0 it ends with on every path. It may run inside a
// signal handler (a fault in the GL library once the server has gone);
// nothing is left unwritten, as every console line is flushed as written.
void quit_on_display_lost() { _exit(0); }

// Without a window there is nothing to show. When the window library cannot
// start at all, say so and leave the message a moment on the console.
void open_display(WindowSettings& settings) {
    fill_window_request(settings);
    // The window taken down under the program (the server ending) ends it
    // through the normal shutdown, so the video mode still comes back while
    // the server lasts.
    on_display_losses(quit_on_display_lost, request_stop);
    switch (open_display_window(settings)) {
        case DisplayOpen::opened:
            return;
        case DisplayOpen::no_library:
            console_write_line("Failed to initialize GLFW!");
            console_pause(1000);
            std::exit(0);
        case DisplayOpen::no_window:
            std::exit(0);
    }
}

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

void fill_window_request(WindowSettings& settings) {
    settings.width = 640;
    settings.height = 480;
    settings.red_bits = 8;
    settings.green_bits = 8;
    settings.blue_bits = 8;
    settings.alpha_bits = 8;
    settings.depth_bits = 32;
    settings.stencil_bits = 8;
    settings.mode = GLFW_FULLSCREEN;
}

int run_program() {
    install_stop_handlers();
    ignore_closed_output();
    open_display(window_settings);
    setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    create_surface_or_quit();
    load_texture();
    start_shapes();
    do {
        run_frame(clock_seconds());
        poll_events_then_swap();
    } while (keep_running());
    shut_down();
    return 0;
}

}  // namespace solidmorph
