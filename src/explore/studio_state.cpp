#include "explore/studio_state.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "explore/clip_writer.h"
#include "explore/explore_panel.h"
#include "explore/export_command.h"

namespace solidmorph {

namespace {

bool same_bits(const ShapeParams& a, const ShapeParams& b) {
    return std::bit_cast<std::array<uint32_t, 6>>(a) == std::bit_cast<std::array<uint32_t, 6>>(b);
}

bool same_sets(const ChosenShape& a, const ChosenShape& b) {
    return same_bits(a.latitude, b.latitude) && same_bits(a.longitude, b.longitude);
}

bool same_export(const ExportOptions& a, const ExportOptions& b) {
    return a.source == b.source && a.preset == b.preset && a.frame == b.frame &&
           same_bits(a.shape, b.shape) && same_bits(a.longitude, b.longitude) &&
           a.detail == b.detail && a.output == b.output && a.format == b.format &&
           a.texture == b.texture && a.size == b.size && a.flat_base == b.flat_base &&
           a.flat_base_percent == b.flat_base_percent;
}

}  // namespace

ChosenShape shown_sets(const ExplorerState& shown, const ShapeParams& timeline) {
    if (shown.source == ShapeSource::frame) return {timeline, timeline};
    return {shown.shape, shown.linked ? shown.shape : shown.longitude};
}

void read_export_fields(Studio& s, uint64_t frame) {
    expand_home(s.fields.output, s.path, sizeof s.path);
    s.field_problem = export_fields_problem(s.fields, s.problem_text, sizeof s.problem_text);
    ExportOptions& o = s.export_options;
    o.source = s.shown.source;
    o.preset = s.shown.preset;
    o.frame = frame;
    o.shape = s.shown.shape;
    o.longitude = s.shown.linked ? s.shown.shape : s.shown.longitude;
    o.detail = program_detail;
    parse_detail(s.fields.detail, o.detail);
    o.output = s.path;
    o.format = MeshFormat::glb;
    format_for_path(o.output, o.format);
    double size = 0.0;
    o.size = parse_size(s.fields.size, size) ? size : 0.0;
    // A base it can take: a height in mm needs a size.
    double height = 0.0;
    bool percent = false;
    const bool cut =
        parse_flat_base(s.fields.flat_base, height, percent) && (percent || o.size > 0.0);
    o.flat_base = cut ? height : 0.0;
    o.flat_base_percent = cut && percent;
    if (o.format == MeshFormat::obj) {
        o.texture = s.texture_option.empty() ? s.texture_path : s.texture_option;
    } else if (o.format == MeshFormat::glb) {
        o.texture = s.texture_option;
    } else {
        o.texture.clear();
    }
}

void compose_command(Studio& s) {
    const char* problem = s.field_problem != nullptr ? s.field_problem : "";
    if (same_export(s.export_options, s.composed_for) &&
        std::strcmp(problem, s.composed_problem) == 0) {
        return;
    }
    s.composed_for = s.export_options;
    std::snprintf(s.composed_problem, sizeof s.composed_problem, "%s", problem);
    folder_of(s.path, s.folder, sizeof s.folder);
    if (s.field_problem != nullptr) {
        const char* colon = std::strchr(problem, ':');
        const int field = colon != nullptr ? int(colon - problem) : 0;
        std::snprintf(s.command, sizeof s.command,
                      "(no command while the %.*s field cannot be read)", field, problem);
        return;
    }
    const ShapeOptionsSeen seen{true, true, !s.export_options.texture.empty()};
    compose_export_command(s.export_options, seen, s.command, sizeof s.command);
}

bool check_wanted(CheckBook& c, const ChosenShape& shown, const ExportOptions& o) {
    const double fit[4] = {o.size, o.flat_base, o.flat_base_percent ? 1.0 : 0.0, double(o.detail)};
    const auto same_fit = [&](const double(&other)[4]) {
        return std::equal(std::begin(fit), std::end(fit), std::begin(other));
    };
    const bool held = same_sets(shown, c.last_frame) && same_fit(c.last_frame_fit);
    c.last_frame = shown;
    std::copy(std::begin(fit), std::end(fit), std::begin(c.last_frame_fit));
    const bool asked = same_sets(shown, c.asked) && same_fit(c.asked_fit);
    if (!asked) c.ready = false;
    c.awaited = asked && !c.ready;
    if (asked || !held) return false;
    c.asked = shown;
    std::copy(std::begin(fit), std::end(fit), std::begin(c.asked_fit));
    c.awaited = true;
    return true;
}

bool answer_arrived(CheckBook& c, const char* line, bool settled) {
    std::snprintf(c.printable, sizeof c.printable, "%s", line);
    c.ready = true;
    c.awaited = false;
    if (!settled || std::strcmp(c.printable, c.printed) == 0) return false;
    std::snprintf(c.printed, sizeof c.printed, "%s", c.printable);
    return true;
}

ShapeParams random_shape(std::mt19937& generator) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto spread = [&](double low, double high) {
        return float(low * std::pow(high / low, unit(generator)));
    };
    const float m = float(16.0 * unit(generator));
    return {spread(0.25, 4.0), spread(0.25, 4.0), m,
            spread(0.1, 20.0), spread(0.1, 20.0), spread(0.1, 20.0)};
}

std::string kept_options(const ExportOptions& options) {
    ExportOptions shape = options;
    shape.output.clear();
    shape.texture.clear();
    shape.size = shape.flat_base = 0.0;
    std::string text;
    for (const std::string& word : shape_option_args(shape, ShapeOptionsSeen{true})) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

bool same_moment(const ShapeMoment& a, const ShapeMoment& b) {
    return a.source == b.source && a.preset == b.preset && a.frame == b.frame &&
           same_bits(a.shape, b.shape) && same_bits(a.longitude, b.longitude) &&
           a.linked == b.linked;
}

void keep_for_undo(UndoHistory& h, const ShapeMoment& now) {
    if (!h.back.empty() && same_moment(h.back.back(), now)) return;
    if (h.back.size() == undo_steps) h.back.erase(h.back.begin());
    h.back.push_back(now);
    h.forward.clear();
}

namespace {

bool step(std::vector<ShapeMoment>& from, std::vector<ShapeMoment>& to, ShapeMoment& now) {
    if (from.empty()) return false;
    if (to.size() == undo_steps) to.erase(to.begin());
    to.push_back(now);
    now = from.back();
    from.pop_back();
    return true;
}

}  // namespace

bool undo(UndoHistory& h, ShapeMoment& now) { return step(h.back, h.forward, now); }
bool redo(UndoHistory& h, ShapeMoment& now) { return step(h.forward, h.back, now); }

const char* clip_fields_problem(const ClipFields& fields, uint64_t& frames, char* text,
                                size_t capacity) {
    ClipFormat format = ClipFormat::mp4;
    uint64_t length = 0;
    if (!clip_format_for_path(fields.output, format)) {
        std::snprintf(text, capacity, "clip: the name must end in .gif or .mp4");
    } else if (!parse_frame(fields.frames, length) || length == 0) {
        std::snprintf(text, capacity, "frames: a whole number of frames above 0");
    } else {
        frames = length;
        return nullptr;
    }
    return text;
}

bool may_write(Studio& s, const std::string& output, bool exists) {
    if (exists && !s.written_here.contains(output) && s.replace_asked != output) {
        s.replace_asked = output;
        return false;
    }
    s.replace_asked.clear();
    return true;
}

// Letters with Control or Alt are shortcuts of their own, not ours, but
// Ctrl+S and the undo keys; a key held down repeats only for the arrows
// and the undo keys, as a typist expects.
KeyAction key_action(const KeyPress& press) {
    const bool undo_key = press.key == 'Z' || press.key == 'Y';
    if (press.repeat && press.key != key_left && press.key != key_right && !undo_key) {
        return KeyAction::none;
    }
    const bool control = (press.mods & mod_control) != 0;
    if (press.key == 'S') return control ? KeyAction::export_file : KeyAction::none;
    if (control && (press.mods & mod_alt) == 0) {
        if (press.key == 'Z') {
            return (press.mods & mod_shift) != 0 ? KeyAction::redo : KeyAction::undo;
        }
        if (press.key == 'Y') return KeyAction::redo;
        if (press.key == 'K' && !press.repeat) return KeyAction::keep;
        if (press.key == 'R' && !press.repeat) return KeyAction::record;
    }
    if ((press.mods & (mod_control | mod_alt)) != 0) return KeyAction::none;
    switch (press.key) {
        case key_escape:
            return KeyAction::quit;
        case ' ':
            return KeyAction::play;
        case key_left:
            return KeyAction::back;
        case key_right:
            return KeyAction::on;
        case 'R':
            return KeyAction::spin;
        case 'W':
            return KeyAction::wireframe;
        case 'T':
            return KeyAction::texture;
        case 'F':
        case key_f11:
            return KeyAction::full_screen;
        case 'H':
            return KeyAction::panel;
        case key_f12:
            return KeyAction::screenshot;
        case key_f1:
            return KeyAction::help;
        default:
            return KeyAction::none;
    }
}

}  // namespace solidmorph
