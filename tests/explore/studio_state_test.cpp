// The studio's rules without a window: which check's answer may be shown,
// what Export takes from the fields however they changed meanwhile, and
// what each key does.
#include "explore/studio_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
        {{'R', mod_control, false}, KeyAction::none},  // someone else's shortcut
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
        {{'Q', 0, false}, KeyAction::none},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(key_action(row.press), row.action)
            << row.press.key << " mods " << row.press.mods << " repeat " << row.press.repeat;
    }
}

}  // namespace
}  // namespace solidmorph
