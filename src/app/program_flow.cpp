// The program's story: open the display, set the scene, build the solid and
// its texture, then draw, swap and poll until Escape, and shut down cleanly.
#include "app/program_flow.h"

#include <GL/gl.h>

#include <cstdint>
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

constexpr float surface_scale = 1.0f;
constexpr float surface_lat_steps = 64.0f;
constexpr float surface_lon_steps = 64.0f;
constexpr int32_t list_rows = 64;
constexpr int32_t list_lon_steps = 64;

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
    if (!create_texture("vein.tga", texture_name)) {
        fail_texture_load();
    }
}

void draw_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    advance_morph();
    frame_clock = static_cast<float>(clock_seconds() / 100.0);
    generate_current_surface();
    render_frame();
}

// Escape ends the loop; so do the window system closing the window and the
// stop signals, each through the same shutdown.
bool keep_running() { return !escape_pressed() && !display_close_requested() && !stop_requested(); }

void shut_down() {
    glDeleteTextures(1, &texture_name);
    terminate_display();
}

}  // namespace

void generate_current_surface() {
    generate_supershape(mesh.positions, mesh.texcoords, surface_scale, surface_lat_steps,
                        surface_lon_steps, current_shape.a, current_shape.b, current_shape.m,
                        current_shape.n1, current_shape.n2, current_shape.n3);
}

void create_surface() {
    // Sized once here and rewritten in place every frame, so the loop never
    // allocates.
    mesh.positions.assign(mesh_vertex_count, Vec3{});
    mesh.texcoords.assign(mesh_vertex_count, Vec2{});
    mesh.normals.assign(mesh_vertex_count, Vec3{});
    current_shape = start_shape;
    generate_current_surface();
    triangle_list.assign(2, Triangle{});
    build_triangle_list(triangle_list, list_rows, list_lon_steps);
}

bool create_texture(const char* file_name, unsigned int& name) {
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    return load_texture_2d(file_name);
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
        draw_frame();
        swap_buffers();
    } while (keep_running());
    shut_down();
    return 0;
}

}  // namespace solidmorph
