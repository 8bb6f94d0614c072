#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "explore/explore_state.h"
#include "explore/explore_window.h"
#include "export/export_job.h"
#include "geometry/geometry_types.h"
#include "shapes/export_options.h"
#include "shapes/kept_shapes.h"

// The studio's state as one plain record, and the rules that read and
// write it, without GL or a window: the explorer's flow keeps the one
// instance and calls these; tests drive them directly.
namespace solidmorph {

// How the check's answer is kept in step with what is on screen.
constexpr size_t check_line_bytes = 256;
struct CheckBook {
    // What the check was last asked about, and what the last frame showed:
    // the shape's two sets, and the export's size, flat base and detail as
    // the check takes them.
    ChosenShape asked{};
    double asked_fit[4] = {-1.0, -1.0, -1.0, -1.0};  // never a real one
    ChosenShape last_frame{};
    double last_frame_fit[4] = {-1.0, -1.0, -1.0, -1.0};
    bool awaited = false;                   // an answer for what is shown is on its way
    char printable[check_line_bytes] = "";  // that answer, once it came
    bool ready = false;
    char printed[check_line_bytes] = "";  // the last one told to the terminal
};

// What an undo brings back: the shape shown (a frame of the timeline, a
// preset, or two sets of one's own) and where the timeline stood.
struct ShapeMoment {
    ShapeSource source = ShapeSource::frame;
    int preset = 1;
    uint64_t frame = 0;
    ShapeParams shape{}, longitude{};
    bool linked = true;
};
bool same_moment(const ShapeMoment& a, const ShapeMoment& b);

// The changes of shape that can be undone, oldest first, and those undone
// that can be done again. Room for every step is made at the start, so
// that no change allocates.
inline constexpr size_t undo_steps = 256;
struct UndoHistory {
    std::vector<ShapeMoment> back, forward;
    UndoHistory() {
        back.reserve(undo_steps);
        forward.reserve(undo_steps);
    }
};

// Before a change of shape: `now` is kept to come back to, the oldest step
// dropped past undo_steps, and what was undone can no longer be redone.
// A moment the same as the last one kept is not kept twice.
void keep_for_undo(UndoHistory& history, const ShapeMoment& now);

// Back one step, or forward one undone: true, with the moment to show in
// `now` (which is kept the other way), or false when there is none.
bool undo(UndoHistory& history, ShapeMoment& now);
bool redo(UndoHistory& history, ShapeMoment& now);

// The clip's fields as typed: its file (.gif or .mp4) and its length in
// frames, read as --record and --frames read theirs.
struct ClipFields {
    char output[1024] = "solidmorph.mp4";
    char frames[24] = "400";
};

// What is wrong with the clip's fields, in `text`, or null when Record can
// go ahead; the length in `frames` then.
const char* clip_fields_problem(const ClipFields& fields, uint64_t& frames, char* text,
                                size_t capacity);

// A clip being recorded: frame `done` of `frames` comes next. The first is
// the frame shown when it began, drawn again as it was (`hold` for that
// pass: the morph, the spin and the drift held); each after it one frame
// on, as the studio goes. Without a person (--record), the studio ends once
// the clip is written or given up, and the texture's drift is held
// throughout, so that one command line always makes the same clip.
struct Recording {
    bool active = false;
    bool hold = false;
    bool unattended = false;
    bool held_drift = false;
    uint64_t frames = 0, done = 0;
    int32_t width = 0, height = 0;  // the clip's frame, fixed at its start
    double started = 0.0;           // the clock, in seconds, at its start
    bool written = false;           // the last clip was written whole
    char path[sizeof ClipFields::output + 1024] = "";
};

// What the studio is, besides the timeline's place and the view's pose,
// which their own modules keep. The panel reads it through a PanelView and
// asks for changes in its PanelRequests.
struct Studio {
    ExplorerState shown;
    ExportFields fields;
    bool remember = true;

    // The texture: the GL's name for it, whether it could be read, its file
    // as shown (and written beside an .obj) and as given (for a .glb).
    uint32_t texture_name = 0;
    bool texture_usable = false;
    std::string texture_path;
    std::string texture_option;

    // What an export would take this frame: the fields read as the
    // exporter reads its options, the file name with "~/" expanded, and
    // what is wrong with the fields (in problem_text), or null.
    ExportOptions export_options;
    char path[sizeof ExportFields::output + 1024] = "";
    char problem_text[160] = "";
    const char* field_problem = nullptr;

    // The exporter's command line and the export's folder, composed again
    // only when what they are made from changes.
    char command[2048] = "";
    char folder[4096] = "";
    ExportOptions composed_for;
    char composed_problem[sizeof problem_text] = "\x01";  // never a real one

    char message[1024] = "";  // the last export's or failure's line
    CheckBook check;

    // Files this studio has written since it started: writing one again
    // needs no asking. Any other file already there is replaced only when
    // Export is asked for twice in a row for it.
    std::set<std::string> written_here;
    std::string replace_asked;

    ClipFields clip_fields;
    Recording recording;
    char clip_problem_text[96] = "";
    const char* clip_problem = nullptr;

    bool screenshot_wanted = false;  // taken once the picture is drawn
    bool record_wanted = false;      // a clip begun once the picture's size is known
    bool help = false;               // the window of keys and mouse actions shown
    UndoHistory history;
    // The moment a control that changes the shape was taken hold of: kept
    // for undo at its first change, so that a drag is one step.
    ShapeMoment edit_before;
    bool edit_open = false;

    // The shapes kept, as last read; while a name is typed, it, and the
    // kept shape it renames (empty: the shape shown is to be kept).
    KeptShapes kept;
    std::string kept_said;  // what could not be read of the file, as last said
    bool naming = false;
    // Random's own draws, and how many it may still take for this press.
    std::mt19937 random_draws{std::random_device{}()};
    int random_left = 0;
    char name[longest_shape_name + 1] = "";
    char renaming[longest_shape_name + 1] = "";
};

// One draw of Random from the whole space the sliders reach and beyond:
// any a and b (0.25 to 4, as likely above 1 as below), any m (0 to 16, whole
// or not), exponents from 0.1 to 20 (as likely small as large). Many draws
// cross themselves or leave the seam open; the studio draws again until the
// check finds a sound solid.
ShapeParams random_shape(std::mt19937& generator);

// How many draws one Random press may take before it settles for the last.
inline constexpr int random_tries = 40;

// The shape shown as a kept shape's options: the exporter's own shape
// option, and --detail where it is not the program's.
std::string kept_options(const ExportOptions& options);

// The latitude and longitude sets of the shape the studio shows, with the
// timeline's shape (one set twice) when it shows the timeline.
ChosenShape shown_sets(const ExplorerState& shown, const ShapeParams& timeline);

// The shape and the export fields as the options an export takes, with
// the timeline at `frame`. The check, the command line and Export all read
// these, so none of them can take a field otherwise than another; they
// stay the same, without allocating, until something they are made from
// changes.
void read_export_fields(Studio& studio, uint64_t frame);

// The command line and the folder for the options read last; while a field
// cannot be read, what to fix instead, as no command would write the file
// the fields describe.
void compose_command(Studio& studio);

// After a frame is drawn with `shown` on screen: true when the check
// should now be asked about it (with the export's size and flat base).
// A check takes tens of milliseconds of another core; a shape that changes
// every frame (the morph under way, a slider being dragged) is gone long
// before its answer, and checking it would only take that core from the GL
// driver's threads. So a check starts once the shape has held one frame.
bool check_wanted(CheckBook& check, const ChosenShape& shown, const ExportOptions& options);

// The check's answer has come for what is shown; true when it is new and
// the shape has settled (`settled`), so a terminal should be told.
bool answer_arrived(CheckBook& check, const char* line, bool settled);

// Export asked for `output`, which `exists` or not: true when it may be
// written now. A file the studio has not written since it started is
// replaced only when asked for twice in a row.
bool may_write(Studio& studio, const std::string& output, bool exists);

// What a key does in the studio.
enum class KeyAction {
    none,
    quit,
    play,
    back,
    on,
    spin,
    wireframe,
    texture,
    full_screen,
    panel,
    export_file,
    screenshot,
    undo,
    redo,
    keep,
    help,
    record,
};
KeyAction key_action(const KeyPress& press);

}  // namespace solidmorph
