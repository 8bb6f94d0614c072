// Times the program's own frame loop on whatever X display is current (a
// private Xvfb, which never waits for a vertical blank) and splits each
// frame into generation (morph step and surface) and drawing (render and
// swap). With --saver it draws through solidmorph-saver's own window glue
// instead of the program's, at the same 640 x 480, so the two compare; with
// --explore it runs solidmorph-explore's whole frame (panel, picture and
// check hand-over), the morph playing, in a window as wide as the panel
// beside a 640 x 480 picture: the same picture, with the panel's cost on top.
// Usage: frame_bench [--saver | --explore] [FRAMES] [TEXTURE.tga]
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/display.h"
#include "explore/explore_flow.h"
#include "explore/explore_panel.h"
#include "morph/surface_setup.h"
#include "platform/clock.h"
#include "render/frame.h"
#include "render/scene_state.h"
#include "saver/x_glue.h"
#include "tool_startup.h"

namespace {

using namespace solidmorph;
using Clock = std::chrono::steady_clock;

struct FrameTimes {
    double generate_seconds;
    double draw_seconds;
};

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// When the frame's steps ended, as the program's own frame reports them.
Clock::time_point step_end[5];

void note_step(FrameStep done) { step_end[static_cast<int>(done)] = Clock::now(); }

Clock::time_point ended(FrameStep step) { return step_end[static_cast<int>(step)]; }

// How the frame is shown: the program's window, or the saver's.
void present_program() { poll_events_then_swap(); }

XSurface saver_surface{640, 480};
void present_saver() {
    XEvents events{};
    poll_x_events(saver_surface, events);
    swap_x_surface();
}
void (*present)() = present_program;

void quit_on_loss(XLoss) { std::_Exit(1); }

// The program's start-up on the saver's own window.
bool start_like_saver(const char* texture_path, GLuint& texture) {
    XTarget target;
    target.width = 640;
    target.height = 480;
    if (open_x_surface(target, quit_on_loss, saver_surface) != XOpen::opened) {
        std::fprintf(stderr, "frame_bench: cannot open the saver's window\n");
        return false;
    }
    setup_scene(saver_surface.width, saver_surface.height, program_aspect);
    create_surface();
    if (!create_texture(texture_path, texture)) {
        std::fprintf(stderr, "frame_bench: cannot load %s\n", texture_path);
        return false;
    }
    start_shapes();
    present = present_saver;
    return true;
}

// The explorer as it starts with a texture and no state of its own.
bool start_like_explorer(const char* texture_path) {
    ExploreSettings settings;
    settings.remember = false;
    settings.width = 640 + int32_t(panel_width());
    settings.height = 480;
    settings.options.texture = texture_path;
    return start_explorer(settings);
}

// One pass of the explorer's loop, timed whole.
void time_explorer_frame(FrameTimes& times) {
    const Clock::time_point start = Clock::now();
    explore_frame();
    glFinish();
    times.draw_seconds += seconds_between(start, Clock::now());
}

// One pass of the program's loop. Clearing counts as drawing. glFinish
// waits for the GL to finish the frame, so its drawing is charged to drawing
// and not to the next frame's generation.
void time_frame(FrameTimes& times) {
    const Clock::time_point start = Clock::now();
    run_frame(clock_seconds(), note_step);
    present();
    glFinish();
    const Clock::time_point shown = Clock::now();
    times.generate_seconds +=
        seconds_between(ended(FrameStep::cleared), ended(FrameStep::surface_generated));
    times.draw_seconds += seconds_between(start, ended(FrameStep::cleared)) +
                          seconds_between(ended(FrameStep::surface_generated), shown);
}

void report(const FrameTimes& times, long frames, double wall_seconds) {
    const double per_frame = 1000.0 / static_cast<double>(frames);
    const double total = times.generate_seconds + times.draw_seconds;
    std::printf("gl_renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("gl_version: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("frames: %ld\n", frames);
    std::printf("wall_seconds: %.3f\n", wall_seconds);
    std::printf("frames_per_second: %.1f\n", static_cast<double>(frames) / wall_seconds);
    std::printf("generate_ms_per_frame: %.3f (%.1f%%)\n", times.generate_seconds * per_frame,
                100.0 * times.generate_seconds / total);
    std::printf("draw_ms_per_frame: %.3f (%.1f%%)\n", times.draw_seconds * per_frame,
                100.0 * times.draw_seconds / total);
}

}  // namespace

int main(int argc, char** argv) {
    long frames = 2000;
    const bool saver = argc >= 2 && std::strcmp(argv[1], "--saver") == 0;
    const bool explorer = argc >= 2 && std::strcmp(argv[1], "--explore") == 0;
    if (saver || explorer) {
        --argc;
        ++argv;
    }
    if (argc > 3) {
        std::fprintf(stderr, "usage: frame_bench [--saver | --explore] [FRAMES] [TEXTURE.tga]\n");
        return 2;
    }
    if (argc >= 2) {
        char* end = nullptr;
        frames = std::strtol(argv[1], &end, 10);
        if (*end != '\0' || frames <= 0) {
            std::fprintf(stderr,
                         "usage: frame_bench [--saver | --explore] [FRAMES] [TEXTURE.tga]\n");
            return 2;
        }
    }
    const char* texture_path = argc >= 3 ? argv[2] : "assets/vein.tga";
    GLuint texture = 0;
    if (explorer) {
        if (!start_like_explorer(texture_path)) return 1;
        FrameTimes times{0.0, 0.0};
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < frames; ++i) time_explorer_frame(times);
        report(times, frames, seconds_between(start, Clock::now()));
        end_explorer();
        return 0;
    }
    if (saver ? !start_like_saver(texture_path, texture)
              : !start_like_program("frame_bench", texture_path, texture)) {
        return 1;
    }
    FrameTimes times{0.0, 0.0};
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < frames; ++i) {
        time_frame(times);
    }
    const double wall_seconds = seconds_between(start, Clock::now());
    report(times, frames, wall_seconds);
    glDeleteTextures(1, &texture);
    if (saver) {
        close_x_surface();
    } else {
        terminate_display();
    }
    return 0;
}
