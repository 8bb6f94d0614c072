#include "explore/explore_panel.h"

#include <imgui.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "morph/morph_scheduler.h"
#include "shapes/export_options.h"

namespace solidmorph {

namespace {

float ui_scale = 1.0f;

// The sliders' reach; typed values (Ctrl+click) may go beyond it.
struct ParameterSlider {
    const char* label;
    float low, high;
};
constexpr ParameterSlider parameter_sliders[6] = {
    {"a", 0.05f, 3.0f},   {"b", 0.05f, 3.0f},   {"m", 0.0f, 20.0f},
    {"n1", 0.05f, 40.0f}, {"n2", -2.0f, 40.0f}, {"n3", -2.0f, 40.0f},
};

// What each parameter does, for its slider's tooltip.
constexpr const char* slider_tips[6] = {
    "a: stretches the radius where the cosine term rules; Ctrl+click to type any value",
    "b: stretches it where the sine term rules; Ctrl+click to type any value",
    "m: how many times the shape repeats around; whole for a closed seam",
    "n1: the overall exponent: small pinches the shape, large rounds it",
    "n2: the cosine term's exponent",
    "n3: the sine term's exponent",
};

// The hovered control's tooltip.
void tip(const char* text) {
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", text);
}

float& parameter(ShapeParams& shape, int i) {
    constexpr float ShapeParams::*fields[6] = {&ShapeParams::a,  &ShapeParams::b,
                                               &ShapeParams::m,  &ShapeParams::n1,
                                               &ShapeParams::n2, &ShapeParams::n3};
    return shape.*fields[i];
}

}  // namespace

namespace {

void morph_section(const PanelView& view, PanelRequests& requests) {
    if (ImGui::Button(view.shown->playing ? "Pause (Space)" : "Play (Space)")) {
        requests.toggle_playing = true;
    }
    tip("Play the morph on from the timeline's frame, or hold it there (Space)");
    ImGui::SameLine();
    const auto frame = static_cast<unsigned long long>(view.frame);
    switch (view.shown->source) {
        case ShapeSource::frame:
            ImGui::Text("frame %llu", frame);
            break;
        case ShapeSource::preset:
            ImGui::Text("preset %d (morph at frame %llu)", view.shown->preset, frame);
            break;
        case ShapeSource::shape:
            ImGui::Text("your shape (morph at frame %llu)", frame);
            break;
    }
    uint64_t position = view.frame - view.window.first;
    const uint64_t low = 0, high = view.window.length - 1;
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::SliderScalar("##timeline", ImGuiDataType_U64, &position, &low, &high, "")) {
        requests.seek = true;
        requests.seek_frame = view.window.first + position;
    }
    // A drag along the timeline is one step to undo, as a slider's is.
    requests.edit_began |= ImGui::IsItemActivated();
    tip("The frames of this part of the morph: drag to go to one");
    // Typed as text and read as --frame reads it: ImGui's own number field
    // would take "-7" and wrap it to a frame near 2^64.
    char typed[32];
    std::snprintf(typed, sizeof typed, "%llu", frame);
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::InputText("##frame", typed, sizeof typed, ImGuiInputTextFlags_EnterReturnsTrue)) {
        uint64_t wanted = 0;
        if (parse_frame(typed, wanted)) {
            requests.seek = true;
            requests.edit_began = true;
            requests.seek_frame = wanted;
        } else {
            std::snprintf(requests.refused_frame, sizeof requests.refused_frame, "%s", typed);
        }
    }
    tip("Type any frame of the morph, 0 to 18446744073709551615, and press Enter");
    ImGui::TextUnformatted("Go to (Left, Right):");
    for (int preset = 1; preset <= preset_count; ++preset) {
        char label[16];
        std::snprintf(label, sizeof label, preset == 1 ? "sphere" : "%d", preset);
        if (preset > 1 && preset != 7) ImGui::SameLine();
        if (ImGui::Button(label)) {
            requests.seek = true;
            requests.edit_began = true;
            requests.seek_frame = arrival_in_window(view.frame, preset);
        }
        tip("Where this part of the morph reaches this preset (Left and Right step along them)");
    }
}

// One slider a parameter; true when one moved, and `began` when one was
// taken hold of (a drag, or a value typed, is one step to undo). `id` keeps
// the two sets' sliders apart.
bool set_sliders(ShapeParams& set, const char* id, bool& began) {
    bool moved = false;
    for (int i = 0; i < 6; ++i) {
        float value = parameter(set, i);
        const ParameterSlider& slider = parameter_sliders[i];
        char label[24];
        std::snprintf(label, sizeof label, "%s##%s", slider.label, id);
        ImGui::SetNextItemWidth(-40.0f * ui_scale);
        if (ImGui::SliderFloat(label, &value, slider.low, slider.high, "%.4g") &&
            std::isfinite(value)) {
            parameter(set, i) = value;
            moved = true;
        }
        began |= ImGui::IsItemActivated();
        tip(slider_tips[i]);
    }
    return moved;
}

void shape_section(const PanelView& view, PanelRequests& requests) {
    ShapeParams latitude = view.shape.latitude, longitude = view.shape.longitude;
    bool linked = view.shown->source != ShapeSource::shape || view.shown->linked;
    ImGui::TextUnformatted("Latitude");
    bool edited = set_sliders(latitude, "lat", requests.edit_began);
    // Unlinked, the longitude starts as a copy of the latitude.
    if (ImGui::Checkbox("Longitude: same as latitude", &linked)) {
        edited = true;
        requests.edit_began = true;
    }
    tip("One set for both directions, as every shape of the program has; unticked, the "
        "longitude (the column radius) gets a set of its own, starting as a copy");
    if (linked) {
        longitude = latitude;
    } else {
        edited |= set_sliders(longitude, "lon", requests.edit_began);
    }
    if (edited) {
        requests.edit_shape = true;
        requests.shape = latitude;
        requests.longitude = longitude;
        requests.linked = linked;
    }
    if (ImGui::Button("Random")) {
        requests.random_asked = true;
        requests.linked = linked;
    }
    tip("A shape from anywhere the sliders reach and beyond, drawn again until it makes a "
        "sound solid");
    ImGui::SameLine();
    ImGui::BeginDisabled(!view.can_undo);
    if (ImGui::Button("Undo")) requests.undo = true;
    tip("Back to the shape before the last change (Ctrl+Z)");
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(!view.can_redo);
    if (ImGui::Button("Redo")) requests.redo = true;
    tip("The change undone, again (Ctrl+Shift+Z or Ctrl+Y)");
    ImGui::EndDisabled();
    ImGui::TextDisabled("Ctrl+click a slider to type a value");
}

// The kept shapes, each a button that loads it, with its own rename and
// delete; the name field while one is typed.
void kept_section(const PanelView& view, PanelRequests& requests) {
    if (view.naming != nullptr) {
        if (view.renaming != nullptr) {
            ImGui::Text("New name for '%s':", view.renaming);
        } else {
            ImGui::TextUnformatted("Keep the shape shown as:");
        }
        char typed[longest_shape_name + 1];
        std::snprintf(typed, sizeof typed, "%s", view.naming);
        if (!ImGui::IsAnyItemActive()) ImGui::SetKeyboardFocusHere();
        ImGui::SetNextItemWidth(-1.0f);
        const bool entered =
            ImGui::InputText("##name", typed, sizeof typed, ImGuiInputTextFlags_EnterReturnsTrue);
        if (std::strcmp(typed, view.naming) != 0) {
            requests.name_typed = true;
            std::snprintf(requests.name, sizeof requests.name, "%s", typed);
        }
        if (entered || ImGui::Button(view.renaming != nullptr ? "Rename" : "Keep")) {
            requests.name_done = true;
            std::snprintf(requests.name, sizeof requests.name, "%s", typed);
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel (Escape)")) requests.name_cancelled = true;
        return;
    }
    if (ImGui::Button("Keep (Ctrl+K)")) requests.keep_asked = true;
    tip("Keep the shape shown under a name, for this studio and the exporter's --kept NAME");
    ImGui::SameLine();
    ImGui::TextDisabled("%zu kept", view.kept->shapes.size());
    for (size_t i = 0; i < view.kept->shapes.size(); ++i) {
        const KeptShape& shape = view.kept->shapes[i];
        ImGui::PushID(int(i));
        const auto choose = [&](bool& asked) {
            asked = true;
            std::snprintf(requests.chosen, sizeof requests.chosen, "%s", shape.name.c_str());
        };
        if (ImGui::SmallButton("Rename")) choose(requests.rename_asked);
        tip("Give this kept shape another name");
        ImGui::SameLine();
        if (ImGui::SmallButton("Delete")) choose(requests.delete_asked);
        tip("Remove this shape from the kept shapes");
        ImGui::SameLine();
        if (ImGui::Selectable(shape.name.c_str())) choose(requests.load_asked);
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", shape.options.c_str());
        ImGui::PopID();
    }
}

void view_section(const PanelView& view, PanelRequests& requests) {
    bool spin = view.shown->spin, wireframe = view.shown->wireframe;
    bool textured = view.shown->textured, full = view.full_screen;
    if (ImGui::Checkbox("Spin (R)", &spin)) requests.toggle_spin = true;
    tip("Turn the solid one degree a frame about x, y and z, as the program does (R)");
    ImGui::SameLine();
    if (ImGui::Checkbox("Wireframe (W)", &wireframe)) requests.toggle_wireframe = true;
    tip("Draw the triangles' edges only (W)");
    if (ImGui::Checkbox("Texture (T)", &textured)) requests.toggle_texture = true;
    tip("The marble texture on the solid, or the bare lit solid (T)");
    ImGui::SameLine();
    if (ImGui::Checkbox("Full screen (F)", &full)) requests.toggle_full_screen = true;
    tip("The whole screen at its own resolution, and back (F or F11)");
    if (ImGui::Button("Fit")) requests.fit_view = true;
    tip("Frame the solid however large or small, keeping its turn (double-click the picture)");
    ImGui::SameLine();
    if (ImGui::Button("Reset view")) requests.reset_view = true;
    tip("The program's own view: unturned, at its distance, unscaled");
    ImGui::SameLine();
    ImGui::TextDisabled("H hides the panel");
    ImGui::TextDisabled("drag turns, wheel zooms, double-click fits");
}

}  // namespace

// Runs of whole words that fit, one row each; a word wider than a row alone
// is broken where it must be. The last row takes what is left, cut short
// with "..." when it does not fit.
void fixed_rows(const char* text, int rows) {
    const float width = ImGui::GetContentRegionAvail().x;
    const char* at = text;
    bool cut = false;
    ImGui::BeginGroup();
    for (int row = 0; row < rows; ++row) {
        while (*at == ' ') ++at;
        const char* fits = at;
        while (*fits != '\0') {
            const char* word_end = fits;
            while (*word_end == ' ') ++word_end;
            while (*word_end != '\0' && *word_end != ' ') ++word_end;
            if (ImGui::CalcTextSize(at, word_end).x > width) break;
            fits = word_end;
        }
        if (fits == at && *at != '\0') {
            while (fits[0] != '\0' && ImGui::CalcTextSize(at, fits + 1).x <= width) ++fits;
            if (fits == at) ++fits;
        }
        const char* rest = fits;
        while (*rest == ' ') ++rest;
        if (row == rows - 1 && *rest != '\0') {
            cut = true;
            const float dots = ImGui::CalcTextSize("...").x;
            while (fits > at && ImGui::CalcTextSize(at, fits).x + dots > width) --fits;
            char line[1024];
            std::snprintf(line, sizeof line, "%.*s...", int(fits - at), at);
            ImGui::TextUnformatted(line);
        } else {
            ImGui::TextUnformatted(at, fits);
        }
        at = fits;
    }
    ImGui::EndGroup();
    if (cut && ImGui::IsItemHovered()) ImGui::SetTooltip("%s", text);
}

namespace {

void export_section(const PanelView& view, PanelRequests& requests) {
    ImGui::TextUnformatted("Printable as .stl or .3mf:");
    fixed_rows(view.printable != nullptr ? view.printable : "checking", 2);
    // Typed into a copy: ImGui writes it as keys change it, and the flow,
    // which owns the fields, takes it from the requests.
    ExportFields typed = *view.fields;
    bool changed = false;
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputTextWithHint("size (mm)", "generator units", typed.size,
                                        sizeof typed.size, ImGuiInputTextFlags_CharsScientific);
    tip("The largest extent in millimetres (--size); blank: the generator's units");
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputTextWithHint("flat base", "mm or % (.stl)", typed.flat_base,
                                        sizeof typed.flat_base);
    tip("Cut an .stl or .3mf flat this many mm, or this percent of its height, above its lowest "
        "point (--flat-base)");
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputTextWithHint("detail", "64 steps", typed.detail, sizeof typed.detail,
                                        ImGuiInputTextFlags_CharsDecimal);
    tip("Latitude and longitude steps of the grid written, 8 to 1024 (--detail); blank: the "
        "program's 64");
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputText("file", typed.output, sizeof typed.output);
    tip("The file to write: .glb, .obj, .stl or .3mf picks the format; ~/ is the home folder");
    if (changed) {
        requests.edit_fields = true;
        requests.fields = typed;
    }
    // One row however long the folder's name: the whole of it on hover.
    ImGui::TextDisabled("in %s", view.folder);
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", view.folder);
    // Always one row, blank when all is well, so nothing below it moves.
    if (view.problem != nullptr) {
        ImGui::TextColored(ImVec4(1.0f, 0.55f, 0.45f, 1.0f), "%s", view.problem);
    } else {
        ImGui::TextUnformatted("");
    }
    if (ImGui::Button("Export (Ctrl+S)")) requests.export_file = true;
    tip("Write the file exactly as solidmorph-export would (Ctrl+S)");
    ImGui::SameLine();
    if (ImGui::Button("Screenshot (F12)")) requests.screenshot = true;
    tip("Save the picture, without the panel, as a PNG in the working folder (F12)");
    fixed_rows(view.command, 3);
    if (ImGui::Button("Copy command")) requests.copy_command = true;
    tip("Copy the exporter's command line for this shape and these fields");
    ImGui::SameLine();
    if (ImGui::Button("Help (F1)")) requests.toggle_help = true;
    tip("Every key and mouse action");
}

void clip_section(const PanelView& view, PanelRequests& requests) {
    const ClipFieldsView& clip = *view.clip;
    ImGui::BeginDisabled(clip.recording);
    char output[sizeof requests.clip_output], frames[sizeof requests.clip_frames];
    std::snprintf(output, sizeof output, "%s", clip.output);
    std::snprintf(frames, sizeof frames, "%s", clip.frames);
    bool changed = false;
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputText("clip file", output, sizeof output);
    tip("The clip to record: .gif (50 frames a second, 256 colours) or .mp4 (H.264, 60 frames a "
        "second); ~/ is the home folder");
    ImGui::SetNextItemWidth(-90.0f * ui_scale);
    changed |= ImGui::InputText("frames", frames, sizeof frames, ImGuiInputTextFlags_CharsDecimal);
    tip("How many frames, from the one shown; 400 is one morph and its rest");
    ImGui::EndDisabled();
    if (changed) {
        requests.edit_clip = true;
        std::snprintf(requests.clip_output, sizeof requests.clip_output, "%s", output);
        std::snprintf(requests.clip_frames, sizeof requests.clip_frames, "%s", frames);
    }
    if (clip.problem != nullptr) {
        ImGui::TextColored(ImVec4(1.0f, 0.55f, 0.45f, 1.0f), "%s", clip.problem);
    } else {
        ImGui::TextUnformatted("");
    }
    if (clip.recording) {
        if (ImGui::Button("Cancel (Escape)")) requests.cancel_record = true;
        tip("Stop recording and write nothing (Escape)");
    } else {
        if (ImGui::Button("Record (Ctrl+R)")) requests.record = true;
        tip("Record what the picture shows, without the panel, from the frame shown (Ctrl+R)");
    }
}

// The clip's progress: a bar, and the frames done of all.
void recording_progress(const ClipFieldsView& clip, float width) {
    char overlay[64];
    std::snprintf(overlay, sizeof overlay, "recording frame %llu of %llu",
                  static_cast<unsigned long long>(clip.done),
                  static_cast<unsigned long long>(clip.frames_to_record));
    const float done =
        clip.frames_to_record > 0 ? float(double(clip.done) / double(clip.frames_to_record)) : 0.0f;
    ImGui::ProgressBar(done, ImVec2(width, 0.0f), overlay);
}

}  // namespace

// Read as the exporter reads its options.
const char* export_fields_problem(const ExportFields& fields, char* text, size_t capacity) {
    double size = 0.0, height = 0.0;
    bool percent = false;
    MeshFormat format = MeshFormat::glb;
    const bool sized = parse_size(fields.size, size);
    if (fields.size[0] != '\0' && !sized) {
        std::snprintf(text, capacity, "size: a number of millimetres above 0");
    } else if (fields.flat_base[0] != '\0' && !parse_flat_base(fields.flat_base, height, percent)) {
        std::snprintf(text, capacity, "flat base: mm above 0, or a percent below 100");
    } else if (fields.flat_base[0] != '\0' && !percent && !sized) {
        std::snprintf(text, capacity, "flat base: in mm it needs a size; or give a percent");
    } else if (int32_t detail = 0;
               fields.detail[0] != '\0' && !parse_detail(fields.detail, detail)) {
        std::snprintf(text, capacity, "detail: a whole number of steps from %d to %d",
                      int(least_detail), int(most_detail));
    } else if (!format_for_path(fields.output, format)) {
        std::snprintf(text, capacity, "file: the name must end in .glb, .stl, .obj or .3mf");
    } else if (fields.flat_base[0] != '\0' && !solid_format(format)) {
        std::snprintf(text, capacity, "flat base: for .stl and .3mf only");
    } else {
        return nullptr;
    }
    return text;
}

float panel_width() { return 380.0f * ui_scale; }

void scale_panel(float content_scale) {
    ui_scale = content_scale > 0.5f ? content_scale : 1.0f;
    ImGui::GetStyle().ScaleAllSizes(ui_scale);
    ImGui::GetIO().FontGlobalScale = ui_scale;
    ImVec4& background = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    // Opaque as it looked over the black clear, then left to the flow.
    background = ImVec4(background.x * background.w, background.y * background.w,
                        background.z * background.w, 0.0f);
}

void panel_background(float rgb[3]) {
    const ImVec4& background = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    rgb[0] = background.x;
    rgb[1] = background.y;
    rgb[2] = background.z;
}

void draw_panel(const PanelView& view, float width, float height, PanelRequests& requests) {
    const float panel = panel_width() < width ? panel_width() : width;
    ImGui::SetNextWindowPos(ImVec2(width - panel, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(panel, height));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoTitleBar;
    if (ImGui::Begin("Solidmorph Explorer", nullptr, flags)) {
        // The controls scroll above a footer that stays in sight: the last
        // export's or failure's line, however short the window.
        const float footer = 2.0f * ImGui::GetTextLineHeightWithSpacing() +
                             ImGui::GetStyle().ItemSpacing.y + ImGui::GetStyle().WindowPadding.y;
        ImGui::BeginChild("controls", ImVec2(0.0f, -footer));
        if (ImGui::CollapsingHeader("Morph", ImGuiTreeNodeFlags_DefaultOpen)) {
            morph_section(view, requests);
        }
        if (ImGui::CollapsingHeader("Shape", ImGuiTreeNodeFlags_DefaultOpen)) {
            shape_section(view, requests);
        }
        if (ImGui::CollapsingHeader("Kept shapes", ImGuiTreeNodeFlags_DefaultOpen)) {
            kept_section(view, requests);
        }
        if (ImGui::CollapsingHeader("View", ImGuiTreeNodeFlags_DefaultOpen)) {
            view_section(view, requests);
        }
        if (ImGui::CollapsingHeader("Export", ImGuiTreeNodeFlags_DefaultOpen)) {
            export_section(view, requests);
        }
        if (ImGui::CollapsingHeader("Clip", ImGuiTreeNodeFlags_DefaultOpen)) {
            clip_section(view, requests);
        }
        ImGui::EndChild();
        ImGui::Separator();
        // While a clip is recorded, its progress stays in sight instead.
        if (view.clip->recording) {
            recording_progress(*view.clip, -1.0f);
            ImGui::TextDisabled("Escape cancels; the panel is not recorded");
        } else {
            fixed_rows(view.message, 2);
        }
    }
    ImGui::End();
}

namespace {

// Every key and mouse action, as the help window lists them.
constexpr const char* help_rows[][2] = {
    {"Space", "play the morph, or hold it"},
    {"Left, Right", "the preset the morph reached last, or reaches next"},
    {"R, W, T", "spin, wireframe, texture on or off"},
    {"F or F11", "full screen at the monitor's own resolution, and back"},
    {"H", "hide or show the panel"},
    {"Ctrl+S", "export the file the fields name"},
    {"Ctrl+Z", "undo a change of shape"},
    {"Ctrl+Shift+Z, Ctrl+Y", "redo it"},
    {"Ctrl+K", "keep the shape shown under a name (Enter keeps, Escape cancels)"},
    {"Ctrl+R", "record a clip of the picture (.gif or .mp4); Escape cancels it"},
    {"F12", "screenshot of the picture, without the panel"},
    {"F1", "this help, or away with it"},
    {"Escape", "quit (closing the window does too)"},
    {"left drag", "turn the solid like a trackball"},
    {"wheel", "bring the solid nearer or farther"},
    {"double-click", "frame the solid, however large or small"},
    {"Ctrl+click a slider", "type any value"},
};

}  // namespace

void draw_help(float width, float height, PanelRequests& requests) {
    ImGui::SetNextWindowPos(ImVec2(width * 0.5f, height * 0.5f), ImGuiCond_Always,
                            ImVec2(0.5f, 0.5f));
    const ImGuiWindowFlags flags =
        ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_AlwaysAutoResize;
    bool open = true;
    // The panel's own background is cleared by the flow; this window lies
    // over the picture, so it draws its own.
    ImGui::SetNextWindowBgAlpha(1.0f);
    if (ImGui::Begin("Keys and mouse", &open, flags)) {
        if (ImGui::BeginTable("help", 2)) {
            for (const auto& row : help_rows) {
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(row[0]);
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(row[1]);
            }
            ImGui::EndTable();
        }
        if (ImGui::Button("Close (F1)")) open = false;
    }
    ImGui::End();
    if (!open) requests.toggle_help = true;
}

// In a window of no input of its own, so nothing of it can take a click.
void draw_recording_hint(const ClipFieldsView& clip, float width, float height) {
    const float bar = std::fmin(width, 360.0f * ui_scale);
    ImGui::SetNextWindowPos(ImVec2(width - bar, height), ImGuiCond_Always, ImVec2(0.0f, 1.0f));
    ImGui::SetNextWindowSize(ImVec2(bar, 0.0f));
    ImGui::SetNextWindowBgAlpha(1.0f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoFocusOnAppearing;
    if (ImGui::Begin("##recording", nullptr, flags)) {
        recording_progress(clip, -1.0f);
        ImGui::TextDisabled("Escape cancels");
    }
    ImGui::End();
}

// Drawn straight into ImGui's foreground list: no window, so nothing of it
// can take a click or the keyboard meant for the picture.
void draw_panel_hint(float width, float height) {
    const char* hint = "H shows the panel";
    const ImVec2 size = ImGui::CalcTextSize(hint);
    const float margin = ImGui::GetStyle().WindowPadding.x;
    ImGui::GetForegroundDrawList()->AddText(
        ImVec2(width - size.x - margin, height - size.y - margin), IM_COL32(255, 255, 255, 150),
        hint);
}

}  // namespace solidmorph
