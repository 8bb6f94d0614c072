// The saver's story: read the texture, open the drawable, set the program's
// scene at the drawable's size, build the solid, then draw, swap and poll
// until a stop, and shut down. Hosts start and end it without a console, so
// every failure is one line on standard error and an exit code, never a wait.
#include "saver/saver_flow.h"

#include <GL/gl.h>
#include <errno.h>
#include <malloc.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "image/tga_file.h"
#include "morph/morph_scheduler.h"
#include "morph/shape_tour.h"
#include "morph/surface_setup.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "render/frame.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "render/texture_loader.h"
#include "render/view_control.h"
#include "saver/fps_overlay.h"
#include "saver/x_glue.h"
#include "shapes/export_options.h"
#include "shapes/kept_shapes.h"

namespace solidmorph {

namespace {

constexpr const char* program_name = "solidmorph-saver";

// TGA sides are 16-bit; the decoder's own limit on pixel bytes still holds.
// A texture larger than the GL takes is scaled down when it is uploaded.
constexpr int32_t max_texture_side = 65535;

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
    return 1;
}

// Names what is wrong with a texture file, in the words a user can act on.
std::string texture_problem(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "no texture file '" + path + "'";
        return "cannot read the texture '" + path + "': " + std::generic_category().message(errno);
    }
    if (S_ISDIR(status.st_mode)) return "the texture '" + path + "' is a folder, not a file";
    if (!S_ISREG(status.st_mode)) return "the texture '" + path + "' is not a regular file";
    if (access(path.c_str(), R_OK) != 0) return "cannot read the texture '" + path + "'";
    return "the texture '" + path + "' is not a TGA image this program reads";
}

// The drawable is gone, or the server: nothing left to draw on or give
// back. A destroyed window is how some hosts end their hacks, so that ends
// quietly with 0; a lost connection or a broken drawable is one line and 1.
// A lost connection may also be noticed inside a signal handler (a fault in
// the GL library), so its line is written without stdio.
void quit_on_loss(XLoss loss) {
    switch (loss) {
        case XLoss::window_gone:
            _exit(0);
        case XLoss::connection_lost: {
            static constexpr char line[] = "solidmorph-saver: lost the display connection\n";
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
            _exit(1);
        }
        case XLoss::protocol_error:
            std::fprintf(stderr, "%s: the X server refused a request on the window\n",
                         program_name);
            _exit(1);
    }
}

// The size of the saver's own window, as XScreenSaver's hacks open theirs.
constexpr int32_t own_window_width = 640;
constexpr int32_t own_window_height = 480;

// Where the options and the host say to draw: a hack told --root draws on
// the window its host names in XSCREENSAVER_WINDOW, else on the root. False
// when that variable holds no window id.
bool find_target(const SaverOptions& options, XTarget& target) {
    target.display = options.display;
    switch (options.target) {
        case SaverTarget::window:
            target.width = own_window_width;
            target.height = own_window_height;
            break;
        case SaverTarget::fullscreen:
            target.fullscreen = true;
            break;
        case SaverTarget::window_id:
            target.window_id = options.window_id;
            break;
        case SaverTarget::root: {
            const char* host_window = std::getenv("XSCREENSAVER_WINDOW");
            if (host_window == nullptr || *host_window == '\0') {
                target.use_root = true;
                break;
            }
            uint32_t host_id = 0;
            if (!parse_window_id(host_window, host_id)) return false;
            target.window_id = host_id;
            break;
        }
    }
    return true;
}

std::string open_problem(XOpen result, const SaverOptions& options) {
    switch (result) {
        case XOpen::opened:
            break;
        case XOpen::no_display:
            if (!options.display.empty()) {
                return "cannot open the display '" + options.display + "'";
            }
            return "cannot open the display (is DISPLAY set?)";
        case XOpen::no_glx:
            return "the display has no GLX, so no OpenGL";
        case XOpen::no_window:
            if (options.target == SaverTarget::window_id) {
                char text[64];
                std::snprintf(text, sizeof text, "no window 0x%lx on the display",
                              static_cast<unsigned long>(options.window_id));
                return text;
            }
            return "the window in XSCREENSAVER_WINDOW does not exist";
        case XOpen::no_gl_visual:
            return options.target == SaverTarget::window ||
                           options.target == SaverTarget::fullscreen
                       ? "the display offers no OpenGL visual with a depth buffer"
                       : "the window's visual cannot carry OpenGL with a depth buffer";
        case XOpen::no_context:
            return "cannot make an OpenGL context for the window";
    }
    return "cannot open the window";
}

// The program's vertical field of view at the drawable's aspect, so the
// solid is centred and never stretched. A 4:3 drawable gets the program's
// own aspect, so that its frames are the program's to the bit.
void fit_view(const XSurface& surface) {
    const int32_t width = surface.width > 0 ? surface.width : 1;
    const int32_t height = surface.height > 0 ? surface.height : 1;
    const bool four_by_three = int64_t(width) * 3 == int64_t(height) * 4;
    const double aspect = four_by_three ? program_aspect : double(width) / double(height);
    set_view(width, height, aspect);
}

// Escape or q ends it in a window of its own, as XScreenSaver's hacks do;
// so does the window manager's close.
bool asks_to_end(const XEvents& events) {
    for (int32_t i = 0; i < events.key_count; ++i) {
        if (events.keys[i] == '\x1b' || events.keys[i] == 'q') return true;
    }
    return events.close_asked;
}

// Space, or a left click, starts the next morph at once ("change it up");
// a left drag turns the solid on top of its spin. Only the saver's own
// windows report either.
void act_on_input(const XEvents& events, const XSurface& surface, bool touring, int32_t& travel) {
    bool next = false;
    for (int32_t i = 0; i < events.key_count; ++i) next = next || events.keys[i] == ' ';
    if (events.left_presses > 0) travel = 0;
    travel += std::abs(events.drag_dx) + std::abs(events.drag_dy);
    if (events.drag_dx != 0 || events.drag_dy != 0) {
        turn_view(float(events.drag_dx), float(events.drag_dy), float(surface.height));
    }
    // A press and release that hardly moved is a click, not a drag.
    if (events.left_releases > 0 && travel < 5) next = true;
    if (!next) return;
    if (touring) {
        tour_to_next_now();
    } else {
        morph_to_next_now();
    }
}

// Interrupted by a stop signal (sleeps are never restarted), which the
// loop then sees at once.
void pause_for(int64_t microseconds) {
    if (microseconds <= 0) return;
    timespec pause{time_t(microseconds / 1'000'000), long(microseconds % 1'000'000) * 1000};
    nanosleep(&pause, nullptr);
}

// The program's frame, its steps in run_frame's order, drawn indexed (the
// same pixels for a fraction of the vertex work) through the user's turn;
// on a tour of kept shapes, the tour's step and both its sets instead.
void draw_frame(double clock_reading, bool touring) {
    begin_frame();
    if (touring) {
        advance_tour();
    } else {
        advance_morph();
    }
    set_frame_clock(clock_reading);
    if (touring) {
        generate_grid_surface(tour_shape.latitude, tour_shape.longitude);
    } else {
        generate_grid_surface(current_shape);
    }
    count_frame();
    draw_solid_indexed(current_view());
}

// The kept shapes as the tour's stops, in file order. A host starts the
// saver unattended, so a shapes file that cannot be read, or holds nothing
// to show, never stops it: one line says what was left out, and with no
// stop at all the presets are shown. Frames are resolved here, before the
// solid's start-up, which resolving one puts back to its start.
std::vector<ChosenShape> kept_stops() {
    KeptShapes kept;
    std::string said;
    read_kept_shapes(kept, said);
    std::vector<ChosenShape> stops;
    for (const KeptShape& shape : kept.shapes) {
        ExportOptions options;
        std::string why;
        if (parse_kept_options(shape.options, options, why)) {
            stops.push_back(chosen_shape(options));
        }
    }
    if (stops.empty()) {
        const std::string path = kept_shapes_path();
        if (said.empty()) {
            said = path.empty() ? "no home folder to keep shapes in"
                                : "no kept shape to show in " + path;
        }
        said += ", so the presets are shown";
    }
    if (!said.empty()) std::fprintf(stderr, "%s: %s\n", program_name, said.c_str());
    return stops;
}

}  // namespace

std::string default_saver_texture() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
    if (error) return "vein.tga";
    const fs::path installed = folder / ".." / "share" / "solidmorph" / "vein.tga";
    if (fs::exists(installed, error)) return installed.lexically_normal().string();
    return (folder / "vein.tga").string();
}

int run_saver(const SaverOptions& options) {
    // Mesa's software renderer frees and takes again some megabytes every
    // frame. glibc would hand the top of the heap back to the kernel at each
    // free and fault it in afresh at each allocation (15 brk calls a frame,
    // half a millisecond of the kernel's time at 1024 x 768); at rest that is
    // a fair part of the saver's cost, so the freed memory is kept instead.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    install_stop_handlers();
    ignore_closed_output();
    const std::string texture_path =
        options.texture.empty() ? default_saver_texture() : options.texture;
    // Read before the display opens, so a bad file is reported at once and
    // a host never sees a window come and go.
    DecodedImage image;
    if (!read_tga_file(texture_path.c_str(), max_texture_side, image)) {
        if (stop_requested()) return 0;
        return fail(texture_problem(texture_path));
    }

    const std::vector<ChosenShape> stops = options.kept ? kept_stops() : std::vector<ChosenShape>{};
    const bool touring = !stops.empty();

    XTarget target;
    if (!find_target(options, target)) return fail("XSCREENSAVER_WINDOW holds no window id");
    XSurface surface{own_window_width, own_window_height};
    const XOpen opened = open_x_surface(target, quit_on_loss, surface);
    if (opened != XOpen::opened) return fail(open_problem(opened, options));

    setup_scene(surface.width, surface.height, program_aspect);
    fit_view(surface);
    create_surface();
    build_solid_indices();
    GLuint texture_name = 0;
    create_texture_object(texture_name);
    const bool uploaded = upload_mipmapped_texture(image);
    // The GL keeps its own copy; the loop has no use for ours.
    std::vector<uint8_t>().swap(image.pixels);
    if (!uploaded) {
        close_x_surface();
        return fail("no room for the texture '" + texture_path + "' in the GL");
    }
    start_shapes();
    if (touring) {
        start_tour(stops, options.order == MorphOrder::random, uint32_t(time(nullptr)));
    } else if (options.order != MorphOrder::in_turn) {
        start_morph_in(options.order, options.preset, uint32_t(time(nullptr)));
    }
    // The texture drifts with the time since the saver started, not since
    // the system did: on a desktop that stays up for weeks the drift per
    // frame would grow into a shimmer.
    const double started = clock_seconds();
    uint32_t text_lists = 0;
    int32_t line_height = 0;
    const bool show_fps = options.show_fps && make_text_lists(text_lists, line_height);
    if (show_fps) start_fps_overlay(text_lists, line_height, started);
    if (options.wireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);

    XEvents events{};
    int32_t travel = 0;
    const double period = double(default_frame_period_us) * 1e-6;
    double due = clock_seconds();
    while (!stop_requested()) {
        poll_x_events(surface, events);
        if (asks_to_end(events)) break;
        if (events.resized) fit_view(surface);
        act_on_input(events, surface, touring, travel);
        const double now = clock_seconds();
        draw_frame(now - started, touring);
        if (show_fps) {
            draw_fps_overlay(surface.width, surface.height, now, int64_t(triangle_list.size()));
        }
        swap_x_surface();
        if (options.delay_us == paced_delay) {
            due = next_frame_due(due, period, clock_seconds());
            sleep_until(due);
        } else {
            pause_for(options.delay_us);
        }
    }
    glDeleteTextures(1, &texture_name);
    close_x_surface();
    return 0;
}

}  // namespace solidmorph
