// The explorer's story: open the window, build the solid and its texture,
// come back to where the user left it, then draw, panel and swap until
// asked to stop, and keep the state for next time.
#include "explore/explore_flow.h"

#include <GL/gl.h>
#include <imgui.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "explore/explore_panel.h"
#include "explore/explore_state.h"
#include "explore/explore_window.h"
#include "explore/morph_timeline.h"
#include "explore/solid_check_worker.h"
#include "export/export_job.h"
#include "export/mesh_files.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/morph_scheduler.h"
#include "morph/surface_setup.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"
#include "render/frame.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "render/texture_loader.h"
#include "render/view_control.h"

namespace solidmorph {

namespace {

ExplorerState shown;
bool remember = true;
GLuint texture_name = 0;
bool texture_usable = false;
std::string texture_path;    // shown, and written beside an .obj
std::string texture_option;  // as given on the command line, for a .glb

char message[1024] = "";
char printable[256] = "";
char printed[sizeof printable] = "";  // the last one told to the terminal
bool printable_ready = false;
char command[2048] = "";
char export_folder[4096] = "";  // where the file named in the field goes
// What is wrong with the export fields this frame, or null (in problem_text).
char problem_text[160] = "";
const char* field_problem = nullptr;

// Files this studio has written since it started: writing one again needs
// no asking. Any other file already there is replaced only when Export is
// asked for twice in a row for it.
std::set<std::string> written_here;
std::string replace_asked;

// What the check was last asked about, and what the last frame showed.
ShapeParams checked_shape{};
// The size and flat base fields as one text, "size|flat base".
constexpr size_t fields_key_bytes = sizeof ExportFields::size + sizeof ExportFields::flat_base;
char checked_fields[fields_key_bytes] = "\x01";  // never a real text
ShapeParams last_frame_shape{};
char last_frame_fields[fields_key_bytes] = "\x01";
char fields_now[fields_key_bytes] = "";
double size_mm = 0.0;

// One line for the panel, and for a terminal the explorer was started from.
__attribute__((format(printf, 1, 2))) void say(const char* format, ...) {
    va_list values;
    va_start(values, format);
    std::vsnprintf(message, sizeof message, format, values);
    va_end(values);
    std::printf("solidmorph-explore: %s\n", message);
    std::fflush(stdout);
}

ShapeParams shape_on_screen() {
    return shown.source == ShapeSource::frame ? current_shape : shown.shape;
}

bool same_bits(const ShapeParams& a, const ShapeParams& b) {
    return std::bit_cast<std::array<uint32_t, 6>>(a) == std::bit_cast<std::array<uint32_t, 6>>(b);
}

// The texture the user named, else the installed one, read as the exporter
// reads it. Without it the solid is drawn lit but bare, and the panel says
// why in the exporter's words.
void load_texture(const ExploreSettings& settings) {
    texture_option = settings.options.texture;
    texture_path = texture_option.empty() ? find_installed_texture() : texture_option;
    create_texture_object(texture_name);
    DecodedImage image;
    std::string error;
    texture_usable = read_texture(texture_option, image, error);
    if (texture_usable && !upload_mipmapped_texture(image)) {
        texture_usable = false;
        error = "the GL cannot take the texture " + texture_path;
    }
    if (!texture_usable) say("%s; the solid is shown without it", error.c_str());
}

void show_frame(uint64_t frame) {
    seek_frame(frame);
    shown.source = ShapeSource::frame;
}

void show_shape(const ShapeParams& shape) {
    shown.source = ShapeSource::shape;
    shown.shape = shape;
    shown.playing = false;
}

// Where the user left off, then what the command line asks for.
void come_back(const ExploreSettings& settings) {
    SavedState saved;
    std::snprintf(saved.output, sizeof saved.output, "%s", export_fields.output);
    std::string ignored;
    const bool loaded = remember && load_state(saved, ignored);
    if (!ignored.empty()) say("%s", ignored.c_str());
    if (loaded) {
        shown = saved.shown;
        restore_view(saved.pose);
        std::snprintf(export_fields.size, sizeof export_fields.size, "%s", saved.size);
        std::snprintf(export_fields.flat_base, sizeof export_fields.flat_base, "%s",
                      saved.flat_base);
        std::snprintf(export_fields.output, sizeof export_fields.output, "%s", saved.output);
        // The timeline stays where it was, to play on from there.
        seek_frame(saved.frame);
        if (saved.window_width > 0) set_window_size(saved.window_width, saved.window_height);
        if (saved.full_screen) set_full_screen(true);
        if (shown.source == ShapeSource::preset) shown.shape = preset_shape(shown.preset);
    }
    const ExportOptions& options = settings.options;
    if (settings.seen.shape) {
        shown.source = options.source;
        shown.playing = false;
        shown.spin = true;
        if (options.source == ShapeSource::frame) seek_frame(options.frame);
        if (options.source == ShapeSource::preset) {
            shown.preset = options.preset;
            shown.shape = preset_shape(options.preset);
        }
        if (options.source == ShapeSource::shape) shown.shape = options.shape;
    }
    if (settings.seen.output) {
        std::snprintf(export_fields.output, sizeof export_fields.output, "%s",
                      options.output.c_str());
    }
    if (options.size > 0.0) {
        char text[32];
        *std::to_chars(text, text + sizeof text - 1, options.size).ptr = '\0';
        std::snprintf(export_fields.size, sizeof export_fields.size, "%s", text);
    }
    if (options.flat_base > 0.0) {
        char text[32];
        char* stop = std::to_chars(text, text + sizeof text - 2, options.flat_base).ptr;
        if (options.flat_base_percent) *stop++ = '%';
        *stop = '\0';
        std::snprintf(export_fields.flat_base, sizeof export_fields.flat_base, "%s", text);
    }
}

void keep_state() {
    SavedState saved;
    saved.shown = shown;
    saved.frame = timeline_frame;
    saved.pose = view_pose;
    std::snprintf(saved.size, sizeof saved.size, "%s", export_fields.size);
    std::snprintf(saved.flat_base, sizeof saved.flat_base, "%s", export_fields.flat_base);
    std::snprintf(saved.output, sizeof saved.output, "%s", export_fields.output);
    window_size(saved.window_width, saved.window_height);
    saved.full_screen = full_screen();
    char reason[512];
    if (!save_state(saved, reason, sizeof reason)) {
        std::fprintf(stderr, "solidmorph-explore: cannot keep the state: %s\n", reason);
    }
}

// Appends text to the command, in single quotes where a shell would
// otherwise split or expand it.
void append_word(char*& at, const char* end, const char* word) {
    bool plain = word[0] != '\0';
    for (const char* c = word; *c != '\0'; ++c) {
        plain = plain && (std::strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789._/-+,=:@%",
                                      *c) != nullptr);
    }
    const auto put = [&](char c) {
        if (at < end - 1) *at++ = c;
    };
    put(' ');
    if (!plain) put('\'');
    for (const char* c = word; *c != '\0'; ++c) {
        if (*c == '\'' && !plain) {
            for (const char q : {'\'', '\\', '\'', '\''}) put(q);
        } else {
            put(*c);
        }
    }
    if (!plain) put('\'');
    *at = '\0';
}

void append_number(char*& at, const char* end, float value, char separator) {
    char text[32];
    char* stop = std::to_chars(text, text + sizeof text - 2, value).ptr;
    *stop++ = separator;
    *stop = '\0';
    for (const char* c = text; *c != '\0' && at < end - 1; ++c) *at++ = *c;
    *at = '\0';
}

bool wants_obj() {
    MeshFormat format = MeshFormat::glb;
    return format_for_path(export_fields.output, format) && format == MeshFormat::obj;
}

// The file name as a shell would read it: a leading "~/" is the home
// folder. In a buffer of its own, as the command is composed every frame.
const char* output_path() {
    const char* name = export_fields.output;
    const char* home = std::getenv("HOME");
    if (name[0] == '~' && name[1] == '/' && home != nullptr && home[0] == '/') {
        static char path[sizeof ExportFields::output + 1024];
        std::snprintf(path, sizeof path, "%s%s", home, name + 1);
        return path;
    }
    return name;
}

// The folder the file goes to, as the panel shows it: a relative name is in
// the working folder.
void compose_export_folder() {
    const char* path = output_path();
    const char* slash = std::strrchr(path, '/');
    char cwd[2048] = "";
    if (path[0] != '/' && getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    const int name_part = slash != nullptr ? int(slash - path) : 0;
    std::snprintf(export_folder, sizeof export_folder, "%s%s%.*s", cwd,
                  cwd[0] != '\0' && name_part > 0 ? "/" : "", name_part, path);
    if (export_folder[0] == '\0') std::snprintf(export_folder, sizeof export_folder, "/");
}

// The exporter's command line for the shape on screen and the fields; while
// a field cannot be read, what to fix instead, as no command would write
// the file the fields describe.
void compose_command() {
    if (field_problem != nullptr) {
        const char* colon = std::strchr(field_problem, ':');
        const int field = colon != nullptr ? int(colon - field_problem) : 0;
        std::snprintf(command, sizeof command, "(no command while the %.*s field cannot be read)",
                      field, field_problem);
        return;
    }
    char* at = command;
    const char* end = command + sizeof command;
    at += std::snprintf(command, sizeof command, "solidmorph-export");
    char text[64];
    if (shown.source == ShapeSource::frame) {
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(timeline_frame));
        append_word(at, end, "--frame");
        append_word(at, end, text);
    } else if (shown.source == ShapeSource::preset) {
        std::snprintf(text, sizeof text, "%d", shown.preset);
        append_word(at, end, "--preset");
        append_word(at, end, text);
    } else {
        append_word(at, end, "--shape");
        *at++ = ' ';
        const ShapeParams& p = shown.shape;
        const float values[6] = {p.a, p.b, p.m, p.n1, p.n2, p.n3};
        for (int i = 0; i < 6; ++i) append_number(at, end, values[i], i < 5 ? ',' : '\0');
    }
    append_word(at, end, "-o");
    append_word(at, end, output_path());
    if (export_fields.size[0] != '\0') {
        append_word(at, end, "--size");
        append_word(at, end, export_fields.size);
    }
    if (export_fields.flat_base[0] != '\0') {
        append_word(at, end, "--flat-base");
        append_word(at, end, export_fields.flat_base);
    }
    const bool obj = wants_obj();
    if (!texture_option.empty() || (obj && !texture_path.empty())) {
        append_word(at, end, "--texture");
        append_word(at, end,
                    obj && texture_option.empty() ? texture_path.c_str() : texture_option.c_str());
    }
}

// The size field as the exporter's --size reads it; blank is generator units.
// Read afresh wherever it is used, so that the check and the export always
// take what the field says at that moment.
void read_size_field() {
    double size = 0.0;
    size_mm = parse_size(export_fields.size, size) ? size : 0.0;
}

// The line says "checking" until the answer for the very shape, size and
// flat base on screen arrives. A check takes tens of milliseconds of the other core; a
// shape that changes every frame (the morph under way, a slider being
// dragged) is gone long before its answer, and checking it would only take
// that core from the GL driver's threads. So a check starts once the shape
// has held for one frame.
void check_shape_on_screen() {
    read_size_field();
    std::snprintf(fields_now, sizeof fields_now, "%s|%s", export_fields.size,
                  export_fields.flat_base);
    const ShapeParams shape = shape_on_screen();
    const bool held =
        same_bits(shape, last_frame_shape) && std::strcmp(last_frame_fields, fields_now) == 0;
    last_frame_shape = shape;
    std::snprintf(last_frame_fields, sizeof last_frame_fields, "%s", fields_now);
    const bool asked =
        same_bits(shape, checked_shape) && std::strcmp(checked_fields, fields_now) == 0;
    if (!asked) printable_ready = false;
    if (!asked && held) {
        checked_shape = shape;
        std::snprintf(checked_fields, sizeof checked_fields, "%s", fields_now);
        // The solid Export would write: cut flat when the field asks for a
        // base it can take (a height in mm needs a size).
        double flat_base = 0.0;
        bool percent = false;
        if (!parse_flat_base(export_fields.flat_base, flat_base, percent) ||
            (!percent && !(size_mm > 0.0))) {
            flat_base = 0.0;
        }
        request_check(mesh.positions, size_mm, flat_base, percent);
    }
    if (!printable_ready && asked && take_check_line(printable, sizeof printable)) {
        printable_ready = true;
        if (!shown.playing && std::strcmp(printable, printed) != 0) {
            std::snprintf(printed, sizeof printed, "%s", printable);
            std::printf("solidmorph-explore: printable: %s\n", printable);
            std::fflush(stdout);
        }
    }
}

// Writes what solidmorph-export writes for the same shape and fields,
// through the same library. The export runs the solid's own start-up,
// which moves the scheduler and the texture's drift: both are put back.
void export_shape() {
    read_size_field();
    ExportOptions options;
    options.source = shown.source;
    options.preset = shown.preset;
    options.frame = timeline_frame;
    options.shape = shown.shape;
    options.output = output_path();
    // The fields as the panel checks them while they are typed.
    field_problem = export_fields_problem(problem_text, sizeof problem_text);
    if (field_problem != nullptr) {
        say("cannot export: %s", field_problem);
        return;
    }
    format_for_path(options.output, options.format);
    options.size = size_mm;
    if (export_fields.flat_base[0] != '\0') {
        parse_flat_base(export_fields.flat_base, options.flat_base, options.flat_base_percent);
    }
    if (options.format == MeshFormat::obj) {
        options.texture = texture_option.empty() ? texture_path : texture_option;
    } else if (options.format == MeshFormat::glb) {
        options.texture = texture_option;
    }
    std::error_code unknown;
    if (std::filesystem::exists(options.output, unknown) &&
        !written_here.contains(options.output) && replace_asked != options.output) {
        replace_asked = options.output;
        say("%s already exists: Export again to replace it", options.output.c_str());
        return;
    }
    replace_asked.clear();
    const MorphState kept = save_morph();
    const float scroll = texture_scroll;
    ExportFiles out;
    std::string error;
    const bool written =
        build_export_files(options, out, error) && write_files_atomically(out.files, error);
    restore_morph(kept);
    restore_texture_scroll(scroll);
    if (written) {
        written_here.insert(options.output);
        say("wrote %s%s", options.output.c_str(), out.summary.c_str());
    } else {
        say("cannot export: %s; nothing written", error.c_str());
    }
}

// The picture without the panel, as PNG in the working folder.
void save_screenshot(int32_t width, int32_t height) {
    if (width < 1 || height < 1) return;
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.components = 3;
    image.pixels.resize(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, image.pixels.data());
    char name[64];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(name, sizeof name, "solidmorph-explore-%Y%m%d-%H%M%S.png", &local);
    std::vector<uint8_t> png;
    std::string error = "cannot encode the picture";
    if (png_bytes(image, png, true) && write_file_atomically(name, png.data(), png.size(), error)) {
        say("saved the picture as %s", name);
    } else {
        say("cannot save the picture: %s", error.c_str());
    }
}

void toggle_playing() {
    if (shown.playing) {
        shown.playing = false;
        return;
    }
    // Play goes on along the timeline from its frame, whatever was edited.
    shown.source = ShapeSource::frame;
    shown.playing = true;
}

bool screenshot_key_pressed = false;

bool act_on_keys() {
    ExploreKey keys[16];
    const int32_t count = take_key_presses(keys, 16);
    // While a field is typed into, its letters are text; Ctrl+S still
    // exports what the fields say.
    const bool typing = ImGui::GetIO().WantTextInput;
    for (int32_t i = 0; i < count; ++i) {
        if (typing && keys[i] != ExploreKey::s_with_ctrl) continue;
        switch (keys[i]) {
            case ExploreKey::escape:
                return false;
            case ExploreKey::space:
                toggle_playing();
                break;
            case ExploreKey::left:
                show_frame(neighbour_arrival(timeline_frame, -1));
                break;
            case ExploreKey::right:
                show_frame(neighbour_arrival(timeline_frame, 1));
                break;
            case ExploreKey::r:
                shown.spin = !shown.spin;
                break;
            case ExploreKey::w:
                shown.wireframe = !shown.wireframe;
                break;
            case ExploreKey::t:
                shown.textured = !shown.textured;
                break;
            case ExploreKey::f:
            case ExploreKey::f11:
                set_full_screen(!full_screen());
                break;
            case ExploreKey::h:
                shown.panel = !shown.panel;
                break;
            case ExploreKey::s_with_ctrl:
                export_shape();
                break;
            case ExploreKey::f12:
                screenshot_key_pressed = true;
                break;  // once it is drawn
        }
    }
    return true;
}

void act_on_panel(const PanelRequests& r) {
    if (r.toggle_playing) toggle_playing();
    if (r.toggle_spin) shown.spin = !shown.spin;
    if (r.toggle_wireframe) shown.wireframe = !shown.wireframe;
    if (r.toggle_texture) shown.textured = !shown.textured;
    if (r.toggle_full_screen) set_full_screen(!full_screen());
    if (r.reset_view) reset_view();
    if (r.seek) show_frame(r.seek_frame);
    if (r.refused_frame[0] != '\0') {
        say("cannot go to frame '%s': a frame is a whole number from 0 to 18446744073709551615",
            r.refused_frame);
    }
    if (r.edit_shape) show_shape(r.shape);
    if (r.copy_command) ImGui::SetClipboardText(command);
    if (r.export_file) export_shape();
}

// Left-drag turns, the wheel zooms, a double-click starts over; only over
// the picture, and only when the panel does not want the mouse. A drag
// belongs to the picture when it was pressed there, wherever it goes.
void act_on_mouse(float view_width, float view_height) {
    float press_x = 0.0f, dx = 0.0f, dy = 0.0f;
    if (take_left_drag(press_x, dx, dy) && press_x >= 0.0f && press_x < view_width) {
        turn_view(dx, dy, view_height);
    }
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantCaptureMouse || io.MousePos.x < 0.0f || io.MousePos.x >= view_width) return;
    if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) reset_view();
    if (io.MouseWheel != 0.0f) zoom_view(io.MouseWheel);
}

// One frame of the program's own steps, with the morph, the drift and the
// spin held as the user asks, drawn in the picture's part of the window.
void draw_picture(int32_t width, int32_t height) {
    begin_frame();
    if (shown.playing) step_timeline();
    set_frame_clock(shown.playing ? clock_seconds() : 0.0);
    generate_grid_surface(shape_on_screen());
    if (shown.spin) count_frame();
    if (width < 1 || height < 1) return;
    // Never narrower than 4:3: a narrower frustum cuts the solid at its
    // sides, and a software renderer's clipping costs more than the rest of
    // the frame. The middle of a wider view, centred on the picture, shows
    // the very same pixels. At 4:3, the program's own aspect.
    const int32_t view_width = std::max(width, int32_t(int64_t(height) * 4 / 3));
    const double aspect = int64_t(view_width) * 3 == int64_t(height) * 4
                              ? program_aspect
                              : double(view_width) / height;
    set_view(view_width, height, aspect);
    glViewport((width - view_width) / 2, 0, view_width, height);
    if (shown.wireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    if (!shown.textured || !texture_usable) glDisable(GL_TEXTURE_2D);
    draw_solid(current_view());
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
}

}  // namespace

bool start_explorer(const ExploreSettings& settings) {
    install_stop_handlers();
    ignore_closed_output();
    if (!open_explore_window(settings.width, settings.height)) {
        std::fprintf(stderr, "solidmorph-explore: cannot open a window (is DISPLAY set?)\n");
        return false;
    }
    remember = settings.remember;
    scale_panel(window_content_scale());
    setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    create_surface();
    load_texture(settings);
    create_timeline();
    start_check_worker(mesh.positions.size(), triangle_corners());
    come_back(settings);
    return true;
}

// The panel's part of the window, in the panel's background colour.
void clear_panel(int32_t left, int32_t width, int32_t height) {
    float rgb[3];
    panel_background(rgb);
    glScissor(left, 0, width, height);
    GLfloat scene[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, scene);
    glClearColor(rgb[0], rgb[1], rgb[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(scene[0], scene[1], scene[2], scene[3]);
}

bool explore_frame() {
    // Nothing moves: wait for the user instead, or, while the check works
    // on the shape shown, for a moment, leaving it the processor.
    const bool still = !shown.playing && !shown.spin;
    process_window_events(!still ? 0.0 : printable_ready ? 0.25 : 0.01);
    if (stop_requested() || window_close_requested() || !act_on_keys()) return false;
    int32_t width = 0, height = 0;
    framebuffer_size(width, height);
    if (width < 1 || height < 1) return true;  // minimised: nothing to draw on

    begin_ui_frame();
    const ImGuiIO& io = ImGui::GetIO();
    const float scale = io.DisplayFramebufferScale.x > 0.0f ? io.DisplayFramebufferScale.x : 1.0f;
    const int32_t panel = shown.panel ? int32_t(panel_width() * scale) : 0;
    const int32_t picture_width = width > panel ? width - panel : 0;
    act_on_mouse(float(picture_width) / scale, io.DisplaySize.y);
    field_problem = export_fields_problem(problem_text, sizeof problem_text);
    compose_command();
    compose_export_folder();
    PanelRequests requests;
    if (shown.panel) {
        const PanelView view{&shown,
                             shape_on_screen(),
                             timeline_frame,
                             timeline_window(timeline_frame),
                             printable_ready ? printable : nullptr,
                             message,
                             command,
                             export_folder,
                             field_problem,
                             full_screen()};
        draw_panel(view, io.DisplaySize.x, io.DisplaySize.y, requests);
    } else {
        draw_panel_hint(io.DisplaySize.x, io.DisplaySize.y);
    }
    act_on_panel(requests);

    // The solid's clears and drawing stay in its part of the window.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, picture_width, height);
    draw_picture(picture_width, height);
    if (panel > 0) clear_panel(picture_width, width - picture_width, height);
    glDisable(GL_SCISSOR_TEST);
    check_shape_on_screen();
    if (requests.screenshot || screenshot_key_pressed) save_screenshot(picture_width, height);
    screenshot_key_pressed = false;
    end_ui_frame();
    swap_window();
    return true;
}

void end_explorer() {
    if (remember) keep_state();
    stop_check_worker();
    glDeleteTextures(1, &texture_name);
    close_explore_window();
}

int run_explorer(const ExploreSettings& settings) {
    if (!start_explorer(settings)) return 1;
    while (explore_frame()) {
    }
    end_explorer();
    return 0;
}

}  // namespace solidmorph
