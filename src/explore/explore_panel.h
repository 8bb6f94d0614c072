#pragma once

#include <cstddef>
#include <cstdint>

#include "explore/explore_state.h"
#include "explore/morph_timeline.h"
#include "export/export_job.h"
#include "geometry/geometry_types.h"
#include "shapes/kept_shapes.h"

namespace solidmorph {

// The clip's part of the panel.
struct ClipFieldsView {
    const char* output;
    const char* frames;
    const char* problem;
    bool recording;
    uint64_t done, frames_to_record;
};

// What the panel shows: the studio's state as the flow keeps it, read
// only, filled in every frame.
struct PanelView {
    const ExplorerState* shown;
    const ExportFields* fields;  // as typed
    ChosenShape shape;           // the shape on screen: its latitude and longitude sets
    uint64_t frame;              // the timeline's frame
    TimelineWindow window;       // the part of the timeline the slider covers
    const char* printable;       // the check's line, or null while checking
    const char* message;         // the last export's or failure's line
    const char* command;         // the exporter's command line for the shape
    const char* folder;          // the folder the export goes to
    const char* problem;         // what is wrong with the export fields, or null
    bool full_screen;
    bool can_undo, can_redo;
    const KeptShapes* kept;  // the shapes kept, in the file's order
    // A name being typed: for a shape to keep (renaming empty), or a kept
    // shape's new name; null when none is.
    const char* naming;
    const char* renaming;
    // The clip's fields as typed and what is wrong with them (or null); the
    // clip being recorded, when one is, frame `done` of `frames` next.
    const ClipFieldsView* clip;
};

// What the user asked for this frame; the flow decides what it does.
struct PanelRequests {
    bool toggle_playing = false, toggle_spin = false, toggle_wireframe = false;
    bool toggle_texture = false, toggle_full_screen = false, reset_view = false;
    bool fit_view = false;
    bool seek = false;
    uint64_t seek_frame = 0;
    char refused_frame[32] = "";  // typed in the frame field, but not a frame
    bool edit_began = false;      // a control that changes the shape was taken hold of
    bool undo = false, redo = false;
    bool random_asked = false;
    bool toggle_help = false;  // a random shape, both sets unless `linked`
    bool edit_shape = false;   // the shape, as now edited
    ShapeParams shape{}, longitude{};
    bool linked = true;
    bool edit_fields = false;  // the export fields, as now typed
    ExportFields fields;
    bool export_file = false, screenshot = false, copy_command = false;
    // Kept shapes: the name field opened (to keep the shape shown, or to
    // rename `chosen`), its text, its Enter or cancel; a kept shape chosen
    // to load or to delete.
    bool keep_asked = false, rename_asked = false, name_typed = false;
    bool name_done = false, name_cancelled = false;
    bool load_asked = false, delete_asked = false;
    char name[longest_shape_name + 1] = "";
    char chosen[longest_shape_name + 1] = "";
    // The clip's fields as now typed (into `clip_output`, `clip_frames`),
    // Record, and its Cancel.
    bool edit_clip = false, record = false, cancel_record = false;
    char clip_output[1024] = "";
    char clip_frames[24] = "";
};

// What is wrong with the export fields as they stand, the first field's
// problem first, in `text`; null when Export can go ahead. The panel shows
// it as the fields are typed, rather than only on Export.
const char* export_fields_problem(const ExportFields& fields, char* text, size_t capacity);

// Text in exactly `rows` rows of the space left in the current ImGui
// window, broken only between words, so that a number is never split and
// nothing below moves as the text changes; what does not fit ends in "..."
// and shows whole on hover.
void fixed_rows(const char* text, int rows);

// The panel's width in screen pixels at the window's content scale, and
// its style sized for that scale (call once, before the first frame).
float panel_width();
void scale_panel(float content_scale);

// The panel's background colour. ImGui draws none: its blended rectangle
// over the whole panel cost more in a software renderer than the solid, so
// the flow clears the panel's part of the window to this colour instead.
void panel_background(float rgb[3]);

// Draws the panel along the right edge of a window `width` x `height` in
// screen pixels, between ImGui's begin and end of frame.
void draw_panel(const PanelView& view, float width, float height, PanelRequests& requests);

// Every key and mouse action, in a window of its own in the middle of a
// window `width` x `height`; closing it asks for toggle_help.
void draw_help(float width, float height, PanelRequests& requests);

// While a clip is recorded with the panel hidden: its progress, and how to
// cancel it, along the window's foot. Never part of the clip.
void draw_recording_hint(const ClipFieldsView& clip, float width, float height);

// With the panel hidden: one quiet line in the window's lower right corner
// saying how to bring it back.
void draw_panel_hint(float width, float height);

}  // namespace solidmorph
