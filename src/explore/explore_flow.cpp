// The explorer's story: open the window, build the solid and its texture,
// come back to where the user left it, then draw, panel and swap until
// asked to stop, and keep the state for next time.
#include "explore/explore_flow.h"

#include <GL/gl.h>
#include <imgui.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "explore/clip_writer.h"
#include "explore/explore_panel.h"
#include "explore/explore_state.h"
#include "explore/explore_window.h"
#include "explore/export_command.h"
#include "explore/morph_timeline.h"
#include "explore/screenshot.h"
#include "explore/solid_check_worker.h"
#include "explore/studio_state.h"
#include "export/export_job.h"
#include "export/export_surface.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/surface_setup.h"
#include "platform/clock.h"
#include "platform/file_output.h"
#include "platform/stop_signal.h"
#include "render/frame.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "render/texture_loader.h"
#include "render/view_control.h"

namespace solidmorph {

namespace {

// The studio, as this flow alone writes it.
Studio studio;

// The clip being recorded, and room for one of its frames, made at its
// start.
ClipWriter clip;
std::vector<uint8_t> clip_pixels;

// One line for the panel, and for a terminal the explorer was started from.
__attribute__((format(printf, 1, 2))) void say(const char* format, ...) {
    va_list values;
    va_start(values, format);
    std::vsnprintf(studio.message, sizeof studio.message, format, values);
    va_end(values);
    std::printf("solidmorph-explore: %s\n", studio.message);
    std::fflush(stdout);
}

ChosenShape shape_on_screen() { return shown_sets(studio.shown, timeline_shape()); }

// The texture the user named, else the installed one, read as the exporter
// reads it. Without it the solid is drawn lit but bare, and the panel says
// why in the exporter's words.
void load_texture(const ExploreSettings& settings) {
    studio.texture_option = settings.options.texture;
    studio.texture_path =
        studio.texture_option.empty() ? find_installed_texture() : studio.texture_option;
    create_texture_object(studio.texture_name);
    DecodedImage image;
    std::string error;
    studio.texture_usable = read_texture(studio.texture_option, image, error);
    if (studio.texture_usable && !upload_mipmapped_texture(image)) {
        studio.texture_usable = false;
        error = "the GL cannot take the texture " + studio.texture_path;
    }
    if (!studio.texture_usable) say("%s; the solid is shown without it", error.c_str());
}

ShapeMoment moment_now() {
    const ExplorerState& s = studio.shown;
    return {s.source, s.preset, timeline_frame(), s.shape, s.longitude, s.linked};
}

// A moment undone or redone, paused on it.
void show_moment(const ShapeMoment& m) {
    ExplorerState& s = studio.shown;
    seek_frame(m.frame);
    s.source = m.source;
    s.preset = m.preset;
    s.shape = m.shape;
    s.longitude = m.longitude;
    s.linked = m.linked;
    s.playing = false;
}

void step_history(bool back) {
    ShapeMoment m = moment_now();
    if (back ? undo(studio.history, m) : redo(studio.history, m)) show_moment(m);
}

void show_frame(uint64_t frame) {
    seek_frame(frame);
    studio.shown.source = ShapeSource::frame;
}

void show_shape(const ShapeParams& latitude, const ShapeParams& longitude, bool linked) {
    studio.shown.source = ShapeSource::shape;
    studio.shown.shape = latitude;
    studio.shown.longitude = longitude;
    studio.shown.linked = linked;
    studio.shown.playing = false;
}

// No larger than the screen, so that the panel is never out of reach.
void fit_screen(int32_t& width, int32_t& height) {
    int32_t screen_width = 0, screen_height = 0;
    if (!screen_size(screen_width, screen_height)) return;
    width = std::min(width, screen_width);
    height = std::min(height, screen_height);
}

// A number as its option takes it, in the fewest digits that read back.
void number_field(char (&field)[32], double value, bool percent = false) {
    const auto [stop, failed] = std::to_chars(field, field + sizeof field - 2, value);
    char* end = failed == std::errc() ? stop : field;
    if (percent) *end++ = '%';
    *end = '\0';
}

// Where the user left off, then what the command line asks for.
void come_back(const ExploreSettings& settings) {
    SavedState saved;
    saved.fields = studio.fields;
    std::string ignored;
    const bool loaded = studio.remember && load_state(saved, ignored);
    if (!ignored.empty()) say("%s", ignored.c_str());
    if (loaded) {
        studio.shown = saved.shown;
        restore_view(saved.pose);
        studio.fields = saved.fields;
        // The timeline stays where it was, to play on from there.
        seek_frame(saved.frame);
        if (saved.window_width > 0) {
            fit_screen(saved.window_width, saved.window_height);
            set_window_size(saved.window_width, saved.window_height);
        }
        if (saved.full_screen) set_full_screen(true);
        if (studio.shown.source == ShapeSource::preset) {
            studio.shown.shape = timeline_preset(studio.shown.preset);
        }
    }
    const ExportOptions& options = settings.options;
    if (settings.seen.shape) {
        studio.shown.source = options.source;
        studio.shown.playing = false;
        studio.shown.spin = true;
        if (options.source == ShapeSource::frame) seek_frame(options.frame);
        if (options.source == ShapeSource::preset) {
            studio.shown.preset = options.preset;
            studio.shown.shape = timeline_preset(options.preset);
        }
        if (options.source == ShapeSource::shape) {
            show_shape(options.shape, options.longitude,
                       same_set(options.shape, options.longitude));
        }
    }
    ExportFields& fields = studio.fields;
    if (settings.seen.output) {
        std::snprintf(fields.output, sizeof fields.output, "%s", options.output.c_str());
    }
    if (options.size > 0.0) number_field(fields.size, options.size);
    if (settings.seen.detail) {
        std::snprintf(fields.detail, sizeof fields.detail, "%d", int(options.detail));
    }
    if (options.flat_base > 0.0) {
        number_field(fields.flat_base, options.flat_base, options.flat_base_percent);
    }
}

void keep_state() {
    SavedState saved;
    saved.shown = studio.shown;
    saved.frame = timeline_frame();
    saved.pose = view_pose();
    saved.fields = studio.fields;
    window_size(saved.window_width, saved.window_height);
    saved.full_screen = full_screen();
    char reason[512];
    if (!save_state(saved, reason, sizeof reason)) {
        std::fprintf(stderr, "solidmorph-explore: cannot keep the state: %s\n", reason);
    }
}

// A draw of Random, both sets unless linked; one press takes up to
// random_tries of them.
void draw_random(bool linked) {
    const ShapeParams latitude = random_shape(studio.random_draws);
    const ShapeParams longitude = linked ? latitude : random_shape(studio.random_draws);
    show_shape(latitude, longitude, linked);
    studio.random_left = studio.random_left > 0 ? studio.random_left - 1 : random_tries - 1;
}

// After the frame: the check asked about the solid Export would write for
// the shape on screen, once it has held, and its answer taken when it comes.
void check_shape_on_screen() {
    CheckBook& check = studio.check;
    const ExportOptions& o = studio.export_options;
    const ChosenShape shown = shape_on_screen();
    if (check_wanted(check, shown, o)) {
        request_check(mesh.positions, shown, o.detail, o.size, o.flat_base, o.flat_base_percent);
    }
    char line[check_line_bytes];
    if (!check.awaited || !take_check_line(line, sizeof line)) return;
    // A random draw the check refuses is drawn again, unseen by the terminal.
    const bool draw_again = studio.random_left > 0 && studio.shown.source == ShapeSource::shape &&
                            std::strncmp(line, "sound solid", 11) != 0;
    if (answer_arrived(check, line, !studio.shown.playing && !draw_again)) {
        std::printf("solidmorph-explore: printable: %s\n", line);
        std::fflush(stdout);
    }
    if (draw_again) {
        draw_random(studio.shown.linked);
    } else {
        studio.random_left = 0;
    }
}

struct ExportRun {
    const ExportOptions* options;
    ExportFiles out;
    std::string error;
    bool written = false;
};

void run_export(void* context) {
    ExportRun& run = *static_cast<ExportRun*>(context);
    run.written = build_export_files(*run.options, run.out, run.error) &&
                  write_files_atomically(run.out.files, run.error);
}

// Writes what solidmorph-export writes for the same shape and fields,
// through the same library.
void export_shape() {
    Studio& s = studio;
    read_export_fields(s, timeline_frame());
    if (s.field_problem != nullptr) {
        say("cannot export: %s", s.field_problem);
        return;
    }
    const std::string& output = s.export_options.output;
    std::error_code unknown;
    if (!may_write(s, output, std::filesystem::exists(output, unknown))) {
        say("%s already exists: Export again to replace it", output.c_str());
        return;
    }
    ExportRun run{&s.export_options, {}, {}, false};
    beside_timeline(run_export, &run);
    if (run.written) {
        s.written_here.insert(output);
        say("wrote %s%s", output.c_str(), run.out.summary.c_str());
    } else {
        say("cannot export: %s; nothing written", run.error.c_str());
    }
}

// The picture without the panel.
void take_screenshot(int32_t width, int32_t height) {
    char name[64];
    std::string error;
    if (save_screenshot(width, height, name, sizeof name, error)) {
        say("saved the picture as %s", name);
    } else {
        say("cannot save the picture: %s", error.c_str());
    }
}

// A clip of the picture `width` x `height` as the clip's fields ask, from
// the frame shown: that frame is drawn again as the first.
void start_recording(int32_t width, int32_t height) {
    Recording& r = studio.recording;
    uint64_t frames = 0;
    const char* problem = clip_fields_problem(studio.clip_fields, frames, studio.clip_problem_text,
                                              sizeof studio.clip_problem_text);
    expand_home(studio.clip_fields.output, r.path, sizeof r.path);
    r.written = false;
    if (problem != nullptr) {
        say("cannot record: %s", problem);
        return;
    }
    std::error_code unknown;
    if (!r.unattended && !may_write(studio, r.path, std::filesystem::exists(r.path, unknown))) {
        say("%s already exists: Record again to replace it", r.path);
        return;
    }
    ClipFormat format = ClipFormat::mp4;
    clip_format_for_path(r.path, format);
    r.width = width;
    r.height = height;
    clip_frame_size(format, r.width, r.height);
    std::string error;
    if (!clip.open(r.path, format, r.width, r.height, error)) {
        say("cannot record: %s; nothing written", error.c_str());
        return;
    }
    clip_pixels.resize(size_t(r.width) * size_t(r.height) * 3);
    r.frames = frames;
    r.done = 0;
    r.active = true;
    r.hold = true;
    r.started = clock_seconds();
    say("recording %s: %llu frame%s of %d x %d; Escape cancels", r.path,
        static_cast<unsigned long long>(frames), frames == 1 ? "" : "s", int(r.width),
        int(r.height));
}

void cancel_recording(const char* why) {
    Recording& r = studio.recording;
    if (!r.active) return;
    clip.cancel();
    r.active = false;
    say("%s: %s not recorded, nothing written", why, r.path);
}

// After the picture is drawn: it joins the clip, and the last one ends it.
void record_frame(int32_t width, int32_t height) {
    Recording& r = studio.recording;
    r.hold = false;
    if (!r.active) return;
    int32_t clip_width = width, clip_height = height;
    ClipFormat format = ClipFormat::mp4;
    clip_format_for_path(r.path, format);
    clip_frame_size(format, clip_width, clip_height);
    if (clip_width != r.width || clip_height != r.height) {
        cancel_recording("the picture changed size");
        return;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, r.width, r.height, GL_RGB, GL_UNSIGNED_BYTE, clip_pixels.data());
    std::string error;
    if (!clip.add_frame(clip_pixels.data(), error)) {
        r.active = false;
        say("cannot record %s: %s; nothing written", r.path, error.c_str());
        return;
    }
    if (++r.done < r.frames) return;
    r.active = false;
    if (!clip.finish(error)) {
        say("cannot record %s: %s; nothing written", r.path, error.c_str());
        return;
    }
    r.written = true;
    studio.written_here.insert(r.path);
    const double seconds = clock_seconds() - r.started;
    say("recorded %s: %llu frame%s of %d x %d in %.1f s (%.1f ms a frame)", r.path,
        static_cast<unsigned long long>(r.frames), r.frames == 1 ? "" : "s", int(r.width),
        int(r.height), seconds, seconds * 1000.0 / double(r.frames));
}

// The shapes kept, read again after every change (another program may
// have changed the file too); what could not be read is said once.
void read_kept() {
    std::string ignored;
    read_kept_shapes(studio.kept, ignored);
    if (!ignored.empty() && ignored != studio.kept_said) say("%s", ignored.c_str());
    studio.kept_said = ignored;
}

void start_naming(const char* renaming) {
    studio.naming = true;
    std::snprintf(studio.renaming, sizeof studio.renaming, "%s", renaming);
    if (renaming[0] != '\0') {
        std::snprintf(studio.name, sizeof studio.name, "%s", renaming);
    } else {
        std::snprintf(studio.name, sizeof studio.name, "%s",
                      unused_shape_name(studio.kept).c_str());
    }
}

void finish_naming(const char* name) {
    std::string error;
    if (studio.renaming[0] != '\0') {
        if (std::strcmp(name, studio.renaming) == 0 ||
            rename_kept_shape(studio.renaming, name, error)) {
            studio.naming = false;
            say("renamed '%s' to '%s'", studio.renaming, name);
        } else {
            say("cannot rename it: %s", error.c_str());
        }
    } else {
        read_export_fields(studio, timeline_frame());
        KeptAs as{};
        if (keep_shape(name, kept_options(studio.export_options), as, error)) {
            studio.naming = false;
            say("%s '%s'", as == KeptAs::added ? "kept" : "kept again, in place of the old,", name);
        } else {
            say("cannot keep it: %s", error.c_str());
        }
    }
    read_kept();
}

// A kept shape shown, as one step to undo, paused on it; its detail goes to
// the export's field.
void load_kept(const char* name) {
    const KeptShape* shape = find_kept_shape(studio.kept, name);
    ExportOptions options;
    std::string why;
    if (shape == nullptr || !parse_kept_options(shape->options, options, why)) {
        say("cannot load '%s': %s", name, shape == nullptr ? "it is no longer kept" : why.c_str());
        read_kept();
        return;
    }
    keep_for_undo(studio.history, moment_now());
    ExplorerState& shown = studio.shown;
    if (options.source == ShapeSource::frame) {
        show_frame(options.frame);
        shown.playing = false;
    } else if (options.source == ShapeSource::preset) {
        shown.source = ShapeSource::preset;
        shown.preset = options.preset;
        shown.shape = timeline_preset(options.preset);
        shown.playing = false;
    } else {
        show_shape(options.shape, options.longitude, same_set(options.shape, options.longitude));
    }
    ExportFields& fields = studio.fields;
    if (options.detail == program_detail) {
        fields.detail[0] = '\0';
    } else {
        std::snprintf(fields.detail, sizeof fields.detail, "%d", int(options.detail));
    }
    say("showing the kept shape '%s'", name);
}

void delete_kept(const char* name) {
    std::string error;
    if (delete_kept_shape(name, error)) {
        say("deleted the kept shape '%s'", name);
    } else {
        say("cannot delete it: %s", error.c_str());
    }
    read_kept();
}

void act_on_kept(const PanelRequests& r) {
    if (r.keep_asked) start_naming("");
    if (r.rename_asked) start_naming(r.chosen);
    if (r.name_typed) std::snprintf(studio.name, sizeof studio.name, "%s", r.name);
    if (r.name_done) finish_naming(r.name);
    if (r.name_cancelled) studio.naming = false;
    if (r.load_asked) load_kept(r.chosen);
    if (r.delete_asked) delete_kept(r.chosen);
}

void toggle_playing() {
    ExplorerState& shown = studio.shown;
    if (shown.playing) {
        shown.playing = false;
        return;
    }
    keep_for_undo(studio.history, moment_now());
    // Play goes on along the timeline from its frame, whatever was edited.
    shown.source = ShapeSource::frame;
    shown.playing = true;
}

// As far as the solid reaches from its centre, which it spins about.
void fit_solid() {
    double farthest = 0.0;
    for (const Vec3& p : mesh.positions) {
        farthest = std::max(farthest, double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
    }
    fit_view(float(std::sqrt(farthest)));
}

bool act_on_keys() {
    KeyPress keys[16];
    const int32_t count = take_key_presses(keys, 16);
    // While a field is typed into, its letters are text; Ctrl+S still
    // exports what the fields say.
    const bool typing = ImGui::GetIO().WantTextInput;
    ExplorerState& shown = studio.shown;
    const Recording& recording = studio.recording;
    for (int32_t i = 0; i < count; ++i) {
        KeyAction action = key_action(keys[i]);
        // Without a person, only Escape counts; while a clip is recorded,
        // nothing may change the picture's size.
        const bool resizes = action == KeyAction::full_screen || action == KeyAction::panel;
        if ((recording.unattended && action != KeyAction::quit) || (recording.active && resizes)) {
            action = KeyAction::none;
        }
        if (typing && action != KeyAction::export_file &&
            !((studio.naming || recording.active) && action == KeyAction::quit)) {
            continue;
        }
        switch (action) {
            case KeyAction::none:
                break;
            case KeyAction::quit:
                // Escape while a clip is recorded cancels the clip; while a
                // name is typed, drops the name; else ends the studio.
                if (recording.active) {
                    cancel_recording("cancelled");
                    if (recording.unattended) return false;
                    break;
                }
                if (!studio.naming) return false;
                studio.naming = false;
                break;
            case KeyAction::record:
                if (!recording.active) studio.record_wanted = true;
                break;
            case KeyAction::help:
                studio.help = !studio.help;
                break;
            case KeyAction::keep:
                if (!studio.naming) start_naming("");
                break;
            case KeyAction::play:
                toggle_playing();
                break;
            case KeyAction::back:
            case KeyAction::on:
                studio.random_left = 0;
                keep_for_undo(studio.history, moment_now());
                show_frame(neighbour_arrival(timeline_frame(), action == KeyAction::on ? 1 : -1));
                break;
            case KeyAction::undo:
            case KeyAction::redo:
                studio.random_left = 0;
                step_history(action == KeyAction::undo);
                break;
            case KeyAction::spin:
                shown.spin = !shown.spin;
                break;
            case KeyAction::wireframe:
                shown.wireframe = !shown.wireframe;
                break;
            case KeyAction::texture:
                shown.textured = !shown.textured;
                break;
            case KeyAction::full_screen:
                set_full_screen(!full_screen());
                break;
            case KeyAction::panel:
                shown.panel = !shown.panel;
                break;
            case KeyAction::export_file:
                export_shape();
                break;
            case KeyAction::screenshot:
                studio.screenshot_wanted = true;
                break;
        }
    }
    return true;
}

void act_on_panel(const PanelRequests& r) {
    ExplorerState& shown = studio.shown;
    if (r.cancel_record) {
        cancel_recording("cancelled");
        return;
    }
    if (studio.recording.unattended) return;
    if (r.edit_clip) {
        std::snprintf(studio.clip_fields.output, sizeof studio.clip_fields.output, "%s",
                      r.clip_output);
        std::snprintf(studio.clip_fields.frames, sizeof studio.clip_fields.frames, "%s",
                      r.clip_frames);
    }
    if (r.record && !studio.recording.active) studio.record_wanted = true;
    if (studio.recording.active && r.toggle_full_screen) return;
    if (r.toggle_playing) toggle_playing();
    if (r.toggle_spin) shown.spin = !shown.spin;
    if (r.toggle_wireframe) shown.wireframe = !shown.wireframe;
    if (r.toggle_texture) shown.textured = !shown.textured;
    if (r.toggle_full_screen) set_full_screen(!full_screen());
    if (r.reset_view) reset_view();
    if (r.fit_view) fit_solid();
    // A control taken hold of is one step to undo, kept at its first change.
    if (r.edit_began) {
        studio.edit_before = moment_now();
        studio.edit_open = true;
    }
    if ((r.seek || r.edit_shape) && studio.edit_open) {
        keep_for_undo(studio.history, studio.edit_before);
        studio.edit_open = false;
    }
    if (r.undo || r.redo) step_history(r.undo);
    if (r.random_asked) {
        keep_for_undo(studio.history, moment_now());
        studio.random_left = 0;
        draw_random(r.linked);
    }
    if (r.seek) show_frame(r.seek_frame);
    if (r.refused_frame[0] != '\0') {
        say("cannot go to frame '%s': a frame is a whole number from 0 to 18446744073709551615",
            r.refused_frame);
    }
    // Any other change of shape ends a Random press's drawing.
    if (r.edit_shape || r.seek || r.undo || r.redo || r.load_asked) studio.random_left = 0;
    if (r.edit_shape) show_shape(r.shape, r.longitude, r.linked);
    if (r.edit_fields) studio.fields = r.fields;
    if (r.copy_command) ImGui::SetClipboardText(studio.command);
    if (r.screenshot) studio.screenshot_wanted = true;
    if (r.export_file) export_shape();
    if (r.toggle_help) studio.help = !studio.help;
    act_on_kept(r);
}

// Left-drag turns, the wheel zooms, a double-click frames the solid; only
// over the picture, and only when the panel does not want the mouse. A drag
// belongs to the picture when it was pressed there, wherever it goes.
void act_on_mouse(float view_width, float view_height) {
    float press_x = 0.0f, dx = 0.0f, dy = 0.0f;
    if (take_left_drag(press_x, dx, dy) && press_x >= 0.0f && press_x < view_width) {
        turn_view(dx, dy, view_height);
    }
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantCaptureMouse || io.MousePos.x < 0.0f || io.MousePos.x >= view_width) return;
    if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) fit_solid();
    if (io.MouseWheel != 0.0f) zoom_view(io.MouseWheel);
}

// One frame of the program's own steps, with the morph, the drift and the
// spin held as the user asks, drawn in the picture's part of the window.
void draw_picture(int32_t width, int32_t height) {
    const ExplorerState& shown = studio.shown;
    const Recording& recording = studio.recording;
    // A clip's first frame is the one shown, drawn again as it was.
    const bool held = recording.active && recording.hold;
    begin_frame();
    if (shown.playing && !held) step_timeline();
    const bool drift = shown.playing && !held && !(recording.active && recording.held_drift);
    set_frame_clock(drift ? clock_seconds() : 0.0);
    const ChosenShape shape = shape_on_screen();
    generate_grid_surface(shape.latitude, shape.longitude);
    if (shown.spin && !held) count_frame();
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
    if (!shown.textured || !studio.texture_usable) glDisable(GL_TEXTURE_2D);
    draw_solid(current_view());
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
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

// --record: the frames asked for, as the program shows them: the morph
// played from the first (or the shape asked for, held), spinning one
// degree a frame from the first frame's own angle, the drift held, then
// the end.
void record_unattended(const ExploreSettings& settings) {
    ExplorerState& shown = studio.shown;
    shown.spin = true;
    shown.playing = shown.source == ShapeSource::frame;
    seek_frame(settings.first);
    frame_count = int32_t(settings.first % uint64_t(spin_wrap_frames));
    Recording& r = studio.recording;
    r.unattended = true;
    r.held_drift = true;
    std::snprintf(studio.clip_fields.output, sizeof studio.clip_fields.output, "%s",
                  settings.record.c_str());
    std::snprintf(studio.clip_fields.frames, sizeof studio.clip_fields.frames, "%llu",
                  static_cast<unsigned long long>(settings.last - settings.first));
    sync_to_display(false);
    studio.record_wanted = true;
}

}  // namespace

bool start_explorer(const ExploreSettings& settings) {
    install_stop_handlers();
    ignore_closed_output();
    int32_t width = settings.width, height = settings.height;
    const bool connected = start_window_system();
    if (connected) fit_screen(width, height);
    const WindowRequest request{
        width, height, "Solidmorph Explorer", "solidmorph-explore", 8, 8, 8, 8, 32, 8};
    if (!connected || !open_explore_window(request)) {
        close_explore_window();
        std::fprintf(stderr, "solidmorph-explore: cannot open a window (is DISPLAY set?)\n");
        return false;
    }
    studio.remember = settings.remember;
    scale_panel(window_content_scale());
    setup_scene(program_viewport_width, program_viewport_height, program_aspect);
    create_surface();
    load_texture(settings);
    create_timeline();
    start_check_worker(mesh.positions.size(), triangle_corners());
    come_back(settings);
    read_kept();
    if (!settings.record.empty()) record_unattended(settings);
    return true;
}

bool explore_frame() {
    // Nothing moves: wait for the user instead, or, while the check works
    // on the shape shown, for a moment, leaving it the processor.
    const bool still = !studio.shown.playing && !studio.shown.spin && !studio.recording.active &&
                       !studio.record_wanted;
    process_window_events(!still ? 0.0 : studio.check.ready ? 0.25 : 0.01);
    if (stop_requested() || window_close_requested() || !act_on_keys()) return false;
    int32_t width = 0, height = 0;
    framebuffer_size(width, height);
    if (width < 1 || height < 1) return true;  // minimised: nothing to draw on

    begin_ui_frame();
    const ImGuiIO& io = ImGui::GetIO();
    const float scale = io.DisplayFramebufferScale.x > 0.0f ? io.DisplayFramebufferScale.x : 1.0f;
    const int32_t panel = studio.shown.panel ? int32_t(panel_width() * scale) : 0;
    const int32_t picture_width = width > panel ? width - panel : 0;
    if (!studio.recording.unattended) act_on_mouse(float(picture_width) / scale, io.DisplaySize.y);
    read_export_fields(studio, timeline_frame());
    compose_command(studio);
    uint64_t clip_frames = 0;
    studio.clip_problem = clip_fields_problem(
        studio.clip_fields, clip_frames, studio.clip_problem_text, sizeof studio.clip_problem_text);
    const Recording& recording = studio.recording;
    const ClipFieldsView clip_view{studio.clip_fields.output,
                                   studio.clip_fields.frames,
                                   studio.clip_problem,
                                   recording.active,
                                   recording.done,
                                   recording.frames};
    PanelRequests requests;
    if (studio.shown.panel) {
        const Studio& s = studio;
        const PanelView view{&s.shown,
                             &s.fields,
                             shape_on_screen(),
                             timeline_frame(),
                             timeline_window(timeline_frame()),
                             s.check.ready ? s.check.printable : nullptr,
                             s.message,
                             s.command,
                             s.folder,
                             s.field_problem,
                             full_screen(),
                             !s.history.back.empty(),
                             !s.history.forward.empty(),
                             &s.kept,
                             s.naming ? s.name : nullptr,
                             s.naming && s.renaming[0] != '\0' ? s.renaming : nullptr,
                             &clip_view};
        draw_panel(view, io.DisplaySize.x, io.DisplaySize.y, requests);
    } else if (recording.active) {
        draw_recording_hint(clip_view, io.DisplaySize.x, io.DisplaySize.y);
    } else {
        draw_panel_hint(io.DisplaySize.x, io.DisplaySize.y);
    }
    if (studio.help) draw_help(io.DisplaySize.x, io.DisplaySize.y, requests);
    act_on_panel(requests);
    if (studio.record_wanted) start_recording(picture_width, height);
    studio.record_wanted = false;

    // The solid's clears and drawing stay in its part of the window.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, picture_width, height);
    draw_picture(picture_width, height);
    if (panel > 0) clear_panel(picture_width, width - picture_width, height);
    glDisable(GL_SCISSOR_TEST);
    // Read back before the panel is drawn over it.
    record_frame(picture_width, height);
    read_export_fields(studio, timeline_frame());
    check_shape_on_screen();
    if (studio.screenshot_wanted) take_screenshot(picture_width, height);
    studio.screenshot_wanted = false;
    end_ui_frame();
    swap_window();
    // Without a person, the studio ends with its clip.
    return !(studio.recording.unattended && !studio.recording.active);
}

void end_explorer() {
    cancel_recording("stopped");
    if (studio.remember) keep_state();
    stop_check_worker();
    glDeleteTextures(1, &studio.texture_name);
    close_explore_window();
}

int run_explorer(const ExploreSettings& settings) {
    if (!start_explorer(settings)) return 1;
    while (explore_frame()) {
    }
    end_explorer();
    if (settings.record.empty()) return 0;
    if (!studio.recording.written) std::fprintf(stderr, "solidmorph-explore: %s\n", studio.message);
    return studio.recording.written ? 0 : 1;
}

}  // namespace solidmorph
