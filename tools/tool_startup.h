#pragma once

// The program's start-up for the tools that draw through its modules: the
// same scene, mesh, triangle list, texture and shape table, so what they
// measure or picture is what the program shows.
#include <GL/gl.h>

#include <cstdio>

#include "app/display.h"
#include "app/program_flow.h"
#include "morph/surface_setup.h"
#include "render/frame.h"
#include "render/scene_state.h"

namespace solidmorph {

// False, with a message naming the tool, when the display or the texture
// cannot be had.
inline bool start_like_program(const char* tool, const char* texture_path, GLuint& texture) {
    WindowSettings settings{};
    fill_window_request(settings);
    if (open_display_window(settings) != DisplayOpen::opened) {
        std::fprintf(stderr, "%s: cannot open the display\n", tool);
        return false;
    }
    setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    create_surface();
    if (!create_texture(texture_path, texture)) {
        std::fprintf(stderr, "%s: cannot load %s\n", tool, texture_path);
        terminate_display();
        return false;
    }
    start_shapes();
    return true;
}

}  // namespace solidmorph
