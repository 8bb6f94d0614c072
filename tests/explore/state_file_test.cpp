// The explorer's state file through its own reading and writing, without a
// window: every form a path can take where explore.ini belongs, values that
// cannot be taken, and a round trip in which no value can stand in for
// another.
#include <gtest/gtest.h>
#include <imgui.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <bit>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "explore/explore_panel.h"
#include "explore/explore_state.h"
#include "support/work_folder.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

template <size_t words, class T>
std::array<uint32_t, words> bits(const T& value) {
    return std::bit_cast<std::array<uint32_t, words>>(value);
}

// The state folder pointed at a scratch one for the test's length, with an
// ImGui context to read through; both given back at the end.
struct StateFolder {
    test::WorkFolder folder{false};
    std::optional<std::string> before;
    ImGuiContext* context = ImGui::CreateContext();

    StateFolder() {
        if (const char* was = getenv("XDG_STATE_HOME")) before = was;
        setenv("XDG_STATE_HOME", folder.path.c_str(), 1);
        ImGui::GetIO().IniFilename = nullptr;
        fs::create_directories(file().parent_path());
    }
    ~StateFolder() {
        ImGui::DestroyContext(context);
        before ? setenv("XDG_STATE_HOME", before->c_str(), 1) : unsetenv("XDG_STATE_HOME");
    }
    fs::path file() const { return folder.path / "solidmorph" / "explore.ini"; }
    void write(const std::string& text) const { std::ofstream(file(), std::ios::binary) << text; }
};

const std::string header = "[Solidmorph][State]\n";

struct FileForm {
    const char* what;
    std::function<void(const StateFolder&)> make;
    bool loads;          // something of ours is taken
    const char* says;    // in the one line of what was ignored; "" for nothing
    uint64_t frame = 0;  // the frame taken, when it loads
};

TEST(StateFile, EveryFormStartsAtOnceTakesWhatIsReadableAndSaysWhatItIgnored) {
    const FileForm forms[] = {
        {"missing", [](const StateFolder&) {}, false, ""},
        {"empty", [](const StateFolder& s) { s.write(""); }, false, ""},
        {"a folder", [](const StateFolder& s) { fs::create_directory(s.file()); }, false,
         "is not a plain file"},
        {"a named pipe", [](const StateFolder& s) { mkfifo(s.file().c_str(), 0644); }, false,
         "is not a plain file"},
        {"a link to /dev/zero",
         [](const StateFolder& s) { fs::create_symlink("/dev/zero", s.file()); }, false,
         "is not a plain file"},
        {"a huge file, ours at its start",
         [](const StateFolder& s) {
             s.write(header + "Frame=41\n");
             fs::resize_file(s.file(), uintmax_t(8) << 30);
         },
         true, "only its beginning was read", 41},
        {"binary bytes",
         [](const StateFolder& s) {
             s.write(
                 std::string("\x7f"
                             "ELF\x02\x01\0\0\x01\xff",
                             10));
         },
         false, "1 line that cannot be read"},
        {"a 10 MB line among ours",
         [](const StateFolder& s) {
             s.write(header + std::string(10 << 20, 'x') + "\nFrame=42\n");
         },
         true, "1 line that cannot be read", 42},
        {"values that are not finite or not there",
         [](const StateFolder& s) {
             s.write(header +
                     "Source=shape\nShape=1,1,nan,1,1,1\nDistance=nan\nTurn=nan,0,0,1\n"
                     "Frame=-7\nPreset=12\nSize=-3\nFlatBase=100%\nWindow=1,1\n");
         },
         true,
         "values that were ignored: Shape, Distance, Turn, Frame, Preset, Size, FlatBase, Window, "
         "Source"},
    };
    for (const FileForm& form : forms) {
        SCOPED_TRACE(form.what);
        StateFolder folder;
        form.make(folder);
        SavedState saved;
        saved.frame = 7;
        std::string ignored;
        const auto start = std::chrono::steady_clock::now();
        const bool loaded = load_state(saved, ignored);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(loaded, form.loads);
        EXPECT_NE(ignored.find(form.says), std::string::npos) << ignored;
        EXPECT_EQ(ignored.empty(), *form.says == '\0') << ignored;
        // Never a shape of its own without a shape to show.
        EXPECT_NE(saved.shown.source, ShapeSource::shape);
        EXPECT_EQ(saved.frame, form.loads && form.frame != 0 ? form.frame : 7);
    }
}

TEST(StateFile, EveryValueComesBackInItsOwnPlace) {
    StateFolder folder;
    SavedState kept;
    kept.shown = {ShapeSource::shape,
                  7,
                  {1.25f, 2.5f, 3.75f, 0.3125f, 0.625f, 0.9375f},
                  false,
                  true,
                  true,
                  false,
                  false};
    kept.frame = 123456789012345;
    kept.pose = {{0.1f, 0.3f, 0.5f, 0.80622577f}, 7.25f};
    std::snprintf(kept.size, sizeof kept.size, "80");
    std::snprintf(kept.flat_base, sizeof kept.flat_base, "20%%");
    std::snprintf(kept.output, sizeof kept.output, "a b.3mf");
    kept.window_width = 1601;
    kept.window_height = 899;
    kept.full_screen = true;
    char reason[256] = "";
    ASSERT_TRUE(save_state(kept, reason, sizeof reason)) << reason;
    SavedState back;
    std::string ignored;
    ASSERT_TRUE(load_state(back, ignored));
    EXPECT_EQ(ignored, "");
    EXPECT_EQ(back.shown.source, kept.shown.source);
    EXPECT_EQ(back.shown.preset, kept.shown.preset);
    EXPECT_EQ(bits<6>(back.shown.shape), bits<6>(kept.shown.shape));
    const auto switches = [](const ExplorerState& s) {
        return std::array{s.playing, s.spin, s.wireframe, s.textured, s.panel};
    };
    EXPECT_EQ(switches(back.shown), switches(kept.shown));
    EXPECT_EQ(back.frame, kept.frame);
    EXPECT_EQ(bits<5>(back.pose), bits<5>(kept.pose));
    EXPECT_STREQ(back.size, kept.size);
    EXPECT_STREQ(back.flat_base, kept.flat_base);
    EXPECT_STREQ(back.output, kept.output);
    const auto window = [](const SavedState& s) {
        return std::array{s.window_width, s.window_height, int32_t(s.full_screen)};
    };
    EXPECT_EQ(window(back), window(kept));
}

TEST(ExportFields, AreRefusedAsTheyAreTypedWithTheFieldNamed) {
    struct Row {
        const char* size;
        const char* flat_base;
        const char* output;
        const char* says;  // "" when Export can go ahead
    };
    const Row rows[] = {
        {"", "", "a.glb", ""},
        {"80", "20%", "a.3MF", ""},
        {"80", "2", "a.stl", ""},
        {"-3", "", "a.stl", "size:"},
        {"1e999", "", "a.stl", "size:"},
        {"80", "100%", "a.stl", "flat base:"},
        {"", "2", "a.stl", "needs a size"},
        {"80", "", "a.ply", "file:"},
        {"80", "", "", "file:"},
        {"80", "20%", "a.glb", "for .stl and .3mf only"},
    };
    const ExportFields kept = export_fields;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.size) + " " + row.flat_base + " " + row.output);
        std::snprintf(export_fields.size, sizeof export_fields.size, "%s", row.size);
        std::snprintf(export_fields.flat_base, sizeof export_fields.flat_base, "%s", row.flat_base);
        std::snprintf(export_fields.output, sizeof export_fields.output, "%s", row.output);
        char text[160];
        const char* problem = export_fields_problem(text, sizeof text);
        EXPECT_NE(std::string(problem != nullptr ? problem : "").find(row.says), std::string::npos);
        EXPECT_EQ(problem == nullptr, *row.says == '\0');
    }
    export_fields = kept;
}

// However long the text, it takes the rows it is given, so the controls
// below it stay where a second click expects them.
TEST(PanelText, TakesItsRowsWhateverTheTextsLength) {
    ImGuiContext* context = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(400, 300);
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    ImGui::NewFrame();
    ImGui::SetNextWindowSize(ImVec2(200, 300));
    ImGui::Begin("rows");
    for (const char* text :
         {"", "short",
          "sound solid: 80.0 x 68.3 x 68.4 mm, volume 6.46925 cm3, steepest "
          "overhang 74.4 degrees, base 131.8 mm2, and more words than fit in two",
          "/a/path/without/any/spaces/that/is/far/wider/than/the/panel/can/show/in/two/rows"}) {
        SCOPED_TRACE(text);
        const float top = ImGui::GetCursorPosY();
        fixed_rows(text, 2);
        EXPECT_FLOAT_EQ(ImGui::GetCursorPosY() - top, 2 * ImGui::GetTextLineHeightWithSpacing());
    }
    ImGui::End();
    ImGui::EndFrame();
    ImGui::DestroyContext(context);
}

}  // namespace
}  // namespace solidmorph
