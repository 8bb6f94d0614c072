// The studio's rules without a window: which check's answer may be shown,
// what Export takes from the fields however they changed meanwhile, and
// what each key does.
#include "explore/studio_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace solidmorph {
namespace {

// Frames as the flow runs them, with a check worker that answers only the
// newest request, as the real one does, and names what it was asked about.
// The line shown must always be the answer for what is on screen.
TEST(StudioState, ThePrintableLineAndExportTakeWhatIsShownAtThatMoment) {
    struct Step {
        float m, lon_m;     // the shape shown this frame; lon_m 0: linked
        const char* size;   // the size field this frame
        bool answers;       // the worker finishes what it was last asked
        const char* shown;  // the line shown after the frame; "" while checking
    };
    // Checked at size 10; then the shape moves while the size goes to 1 and
    // back; held again, it is checked afresh, never shown as at 1 mm. Then
    // the longitude alone changes: the latitude's answer is not shown for it.
    const Step steps[] = {
        {1, 0, "10", false, ""}, {1, 0, "10", false, ""},         {1, 0, "10", true, "1/1 at 10"},
        {2, 0, "10", true, ""},  {3, 0, "1", true, ""},           {4, 0, "10", false, ""},
        {4, 0, "1", true, ""},   {4, 0, "1", true, "4/4 at 1"},   {4, 0, "10", false, ""},
        {4, 0, "10", false, ""}, {4, 0, "10", true, "4/4 at 10"}, {4, 0, "10", true, "4/4 at 10"},
        {4, 7, "10", true, ""},  {4, 7, "10", true, "4/7 at 10"},
    };
    Studio studio;
    studio.shown.source = ShapeSource::shape;
    std::string asked;  // what the worker was last handed
    int told = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(std::to_string(&step - steps));
        studio.shown.shape = {1, 1, step.m, 1, 1, 1};
        studio.shown.longitude = {1, 1, step.lon_m, 1, 1, 1};
        studio.shown.linked = step.lon_m == 0;
        std::snprintf(studio.fields.size, sizeof studio.fields.size, "%s", step.size);
        read_export_fields(studio, 0);
        const ChosenShape shown = shown_sets(studio.shown, {});
        if (check_wanted(studio.check, shown, studio.export_options)) {
            char line[64];
            std::snprintf(line, sizeof line, "%g/%g at %g", double(shown.latitude.m),
                          double(shown.longitude.m), studio.export_options.size);
            asked = line;
        }
        if (step.answers && studio.check.awaited && !asked.empty()) {
            told += answer_arrived(studio.check, asked.c_str(), true);
        }
        EXPECT_EQ(studio.check.ready ? studio.check.printable : "", std::string(step.shown));
        // Export, and the command, take the fields and both sets as they stand.
        compose_command(studio);
        EXPECT_EQ(studio.export_options.size, std::stod(step.size));
        EXPECT_TRUE(same_set(studio.export_options.longitude, shown.longitude));
        EXPECT_TRUE(std::string(studio.command).ends_with(std::string(" --size ") + step.size))
            << studio.command;
    }
    // Told to the terminal once per new answer, not once per frame.
    EXPECT_EQ(told, 4);
}

// Three hundred changes: the last 256 come back exactly, newest first, and
// go forward again to the very last; a change after an undo drops what was
// undone; the same moment is not kept twice.
TEST(StudioState, UndoBringsBackEachShapeExactlyAndRedoGoesForwardAgain) {
    std::vector<ShapeMoment> moments;
    for (int i = 0; i < 300; ++i) {
        const float f = 1.0f + float(i) / 3.0f;
        moments.push_back({ShapeSource(i % 3), 1 + i % 11, uint64_t(i) * 7919u,
                           ShapeParams{f, 1, f, 0.3f, f / 7.0f, 1},
                           ShapeParams{1, f, 2, f, 1, 0.1f}, i % 2 == 0});
    }
    UndoHistory history;
    ShapeMoment now = moments[0];
    for (size_t i = 1; i < moments.size(); ++i) {
        keep_for_undo(history, now);
        keep_for_undo(history, now);
        now = moments[i];
    }
    for (size_t back = 1; back <= undo_steps; ++back) {
        ASSERT_TRUE(undo(history, now)) << back;
        ASSERT_TRUE(same_moment(now, moments[moments.size() - 1 - back])) << back;
    }
    EXPECT_FALSE(undo(history, now));
    for (size_t i = moments.size() - undo_steps; i < moments.size(); ++i) {
        ASSERT_TRUE(redo(history, now));
        ASSERT_TRUE(same_moment(now, moments[i])) << i;
    }
    EXPECT_FALSE(redo(history, now));
    ASSERT_TRUE(undo(history, now) && undo(history, now));
    keep_for_undo(history, now);
    EXPECT_FALSE(redo(history, now));
}

// Whatever the studio shows, kept and loaded again, is the same shape to
// the bit, at the same detail: the kept line holds the exporter's options.
TEST(StudioState, AShapeKeptComesBackAsItWas) {
    struct Row {
        ShapeMoment shown;
        const char* detail;
    };
    const Row rows[] = {
        {{ShapeSource::preset, 4, 99, {}, {}, true}, ""},
        {{ShapeSource::frame, 1, 18446744073709551615u, {}, {}, true}, "8"},
        {{ShapeSource::shape, 1, 5, {1, 1, 5.1f, 0.3f, 0.3f, 1e-7f}, {}, true}, "1024"},
        {{ShapeSource::shape,
          1,
          5,
          {1, 1, 5, 0.6f, 0.4f, 0.5f},
          {0.7f, 1.3f, 3, 4.5f, 10, 9},
          false},
         "96"},
    };
    for (const Row& row : rows) {
        Studio studio;
        const ShapeMoment& m = row.shown;
        studio.shown = {m.source, m.preset, m.shape, m.longitude, m.linked};
        std::snprintf(studio.fields.detail, sizeof studio.fields.detail, "%s", row.detail);
        read_export_fields(studio, m.frame);
        const std::string options = kept_options(studio.export_options);
        SCOPED_TRACE(options);
        ExportOptions back;
        std::string why;
        ASSERT_TRUE(parse_kept_options(options, back, why)) << why;
        const ExportOptions& o = studio.export_options;
        EXPECT_EQ(std::tie(back.source, back.detail), std::tie(o.source, o.detail));
        EXPECT_TRUE(o.source != ShapeSource::preset || back.preset == o.preset);
        EXPECT_TRUE(o.source != ShapeSource::frame || back.frame == o.frame);
        EXPECT_TRUE(o.source != ShapeSource::shape ||
                    (same_set(back.shape, o.shape) && same_set(back.longitude, o.longitude)));
    }
}

TEST(StudioState, KeysMeanWhatTheHelpSays) {
    struct Row {
        KeyPress press;
        KeyAction action;
    };
    const Row rows[] = {
        {{key_escape, 0, false}, KeyAction::quit},
        {{' ', 0, false}, KeyAction::play},
        {{' ', 0, true}, KeyAction::none},  // held: one toggle, not a flicker
        {{key_left, 0, true}, KeyAction::back},
        {{key_right, mod_shift, true}, KeyAction::on},
        {{'R', 0, false}, KeyAction::spin},
        {{'R', mod_control, false}, KeyAction::record},
        {{'R', mod_control, true}, KeyAction::none},             // held: one clip
        {{'R', mod_control | mod_alt, false}, KeyAction::none},  // someone else's shortcut
        {{'W', mod_shift, false}, KeyAction::wireframe},
        {{'T', mod_alt, false}, KeyAction::none},
        {{'F', 0, false}, KeyAction::full_screen},
        {{key_f11, 0, false}, KeyAction::full_screen},
        {{'H', 0, false}, KeyAction::panel},
        {{'S', 0, false}, KeyAction::none},
        {{'S', mod_control, false}, KeyAction::export_file},
        {{'S', mod_control | mod_shift, false}, KeyAction::export_file},
        {{'S', mod_control, true}, KeyAction::none},  // held: one file, not one a frame
        {{key_f12, 0, false}, KeyAction::screenshot},
        {{key_f1, 0, false}, KeyAction::help},
        {{'Z', mod_control, false}, KeyAction::undo},
        {{'Z', mod_control, true}, KeyAction::undo},  // held: undo after undo
        {{'Z', mod_control | mod_shift, false}, KeyAction::redo},
        {{'Y', mod_control, false}, KeyAction::redo},
        {{'K', mod_control, false}, KeyAction::keep},
        {{'K', mod_control, true}, KeyAction::none},
        {{'Z', 0, false}, KeyAction::none},
        {{'Z', mod_control | mod_alt, false}, KeyAction::none},
        {{'Q', 0, false}, KeyAction::none},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(key_action(row.press), row.action)
            << row.press.key << " mods " << row.press.mods << " repeat " << row.press.repeat;
    }
}

}  // namespace
}  // namespace solidmorph
