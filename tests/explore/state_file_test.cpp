// The explorer's state file through its own reading and writing, without a
// window: every form a path can take where explore.ini belongs, values that
// cannot be taken, and a round trip in which no value can stand in for
// another.
#include <gtest/gtest.h>
#include <imgui.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "explore/explore_panel.h"
#include "explore/explore_state.h"
#include "explore/studio_state.h"
#include "support/work_folder.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

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

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

enum class Form { missing, text, folder, pipe, dev_zero, huge };

struct FileForm {
    Form form;
    std::string text;    // the file's bytes, for text and huge (its start)
    bool loads;          // something of ours is taken
    const char* says;    // in the one line of what was ignored; "" for nothing
    uint64_t frame = 7;  // the frame after loading
};

TEST(StateFile, EveryFormStartsAtOnceTakesWhatIsReadableAndSaysWhatItIgnored) {
    const FileForm forms[] = {
        {Form::missing, "", false, ""},
        {Form::text, "", false, ""},
        {Form::folder, "", false, "is not a plain file"},
        {Form::pipe, "", false, "is not a plain file"},
        {Form::dev_zero, "", false, "is not a plain file"},
        {Form::huge, header + "Frame=41\n", true, "only its beginning was read", 41},
        {Form::text,
         std::string("\x7f"
                     "ELF\x02\x01\0\0\x01\xff",
                     10),
         false, "1 line that"},
        {Form::text, header + std::string(10 << 20, 'x') + "\nFrame=42\n", true, "1 line that", 42},
        {Form::text,
         header + "Source=shape\nShape=1,1,nan,1,1,1\nDistance=nan\nTurn=nan,0,0,1\nFrame=-7\n"
                  "Preset=12\nSize=-3\nFlatBase=100%\nWindow=1,1\nScale=0\nDetail=7\n",
         true,
         "values that were ignored: Shape, Distance, Turn, Frame, Preset, Size, FlatBase, Window, "
         "Scale, Detail, Source"},
    };
    for (const FileForm& form : forms) {
        SCOPED_TRACE(form.text.substr(0, 40));
        StateFolder folder;
        const fs::path file = folder.file();
        if (form.form == Form::text || form.form == Form::huge) folder.write(form.text);
        if (form.form == Form::huge) fs::resize_file(file, uintmax_t(8) << 30);
        if (form.form == Form::folder) fs::create_directory(file);
        if (form.form == Form::pipe) mkfifo(file.c_str(), 0644);
        if (form.form == Form::dev_zero) fs::create_symlink("/dev/zero", file);
        SavedState saved;
        saved.frame = 7;
        std::string ignored;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(load_state(saved, ignored), form.loads);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_NE(ignored.find(form.says), std::string::npos) << ignored;
        EXPECT_EQ(ignored.empty(), *form.says == '\0') << ignored;
        // Never a shape of its own without a shape to show.
        EXPECT_NE(saved.shown.source, ShapeSource::shape);
        EXPECT_EQ(saved.frame, form.frame);
    }
}

// Every value is written where its key says, and read back into its own
// place: written again, the file is the same.
TEST(StateFile, EveryValueComesBackInItsOwnPlace) {
    StateFolder folder;
    SavedState kept;
    kept.shown = {ShapeSource::shape,
                  7,
                  {1.25f, 2.5f, 3.75f, 0.3125f, 0.625f, 0.9375f},
                  {1.5f, 2.75f, 4, 0.375f, 0.75f, 1.125f},
                  false,
                  false,
                  true,
                  true,
                  false,
                  false};
    kept.frame = 123456789012345;
    kept.pose = {{0.1f, 0.3f, 0.5f, 0.7f}, 7.25f, 0.0078125f};
    std::snprintf(kept.fields.size, sizeof kept.fields.size, "80");
    std::snprintf(kept.fields.flat_base, sizeof kept.fields.flat_base, "20%%");
    std::snprintf(kept.fields.detail, sizeof kept.fields.detail, "256");
    std::snprintf(kept.fields.output, sizeof kept.fields.output, "a b.3mf");
    kept.window_width = 1601;
    kept.window_height = 899;
    kept.full_screen = true;
    char reason[256] = "";
    ASSERT_TRUE(save_state(kept, reason, sizeof reason)) << reason;
    const std::string written = read(folder.file());
    EXPECT_NE(
        written.find("Source=shape\nFrame=123456789012345\nPreset=7\n"
                     "Shape=1.25,2.5,3.75,0.3125,0.625,0.9375,1.5,2.75,4,0.375,0.75,1.125\n"
                     "Linked=0\nPlaying=0\nSpin=1\nWireframe=1\nTexture=0\nPanel=0\n"
                     "Turn=0.1,0.3,0.5,0.7\nDistance=7.25\nScale=0.0078125\nSize=80\n"
                     "FlatBase=20%\nDetail=256\nOutput=a b.3mf\nWindow=1601,899\nFullScreen=1\n"),
        std::string::npos)
        << written;
    SavedState back;
    std::string ignored;
    ASSERT_TRUE(load_state(back, ignored));
    EXPECT_EQ(ignored, "");
    ASSERT_TRUE(save_state(back, reason, sizeof reason)) << reason;
    EXPECT_EQ(read(folder.file()), written);
    // Linked, the one set is written once, and read back for both.
    kept.shown.linked = true;
    ASSERT_TRUE(save_state(kept, reason, sizeof reason)) << reason;
    EXPECT_NE(read(folder.file()).find("Shape=1.25,2.5,3.75,0.3125,0.625,0.9375\nLinked=1\n"),
              std::string::npos)
        << read(folder.file());
    ASSERT_TRUE(load_state(back, ignored));
    EXPECT_EQ(ignored, "");
}

// Each row of fields as Export takes it: refused with the field named, or
// the exporter's command that writes the same file, shell-quoted, with
// "~/" expanded as the export expands it.
TEST(ExportFields, AreRefusedAsTheyAreTypedWithTheFieldNamedOrGiveTheExportersCommand) {
    struct Row {
        const char* size;
        const char* flat_base;
        const char* output;
        const char* says;  // "" when Export can go ahead
        const char* command;
    };
    const Row rows[] = {
        {"80", "2", "a.3MF", "", " --preset 3 -o a.3MF --size 80 --flat-base 2"},
        {"080.50", "20%", "~/b c.stl", "",
         " --preset 3 -o '/h/b c.stl' --size 80.5 --flat-base 20%"},
        {"", "", "it's.obj", "", " --preset 3 -o 'it'\\''s.obj' --texture /t/v.tga"},
        {"", "", "~x.glb", "", " --preset 3 -o '~x.glb'"},
        {"-3", "", "a.stl", "size:", "(no command while the size field cannot be read)"},
        {"80", "100%", "a.stl", "flat base:", "(no command while the flat base field"},
        {"", "2", "a.stl", "needs a size", "(no command while the flat base field"},
        {"80", "", "a.ply", "file:", "(no command while the file field cannot be read)"},
        {"80", "20%", "a.glb", "for .stl and .3mf only", "(no command while the flat base"},
    };
    const std::optional<std::string> home =
        getenv("HOME") != nullptr ? std::optional<std::string>(getenv("HOME")) : std::nullopt;
    setenv("HOME", "/h", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.size) + " " + row.flat_base + " " + row.output);
        Studio studio;
        studio.shown.source = ShapeSource::preset;
        studio.shown.preset = 3;
        studio.texture_path = "/t/v.tga";
        ExportFields& f = studio.fields;
        std::snprintf(f.size, sizeof f.size, "%s", row.size);
        std::snprintf(f.flat_base, sizeof f.flat_base, "%s", row.flat_base);
        std::snprintf(f.output, sizeof f.output, "%s", row.output);
        read_export_fields(studio, 0);
        compose_command(studio);
        const char* problem = studio.field_problem;
        EXPECT_NE(std::string(problem != nullptr ? problem : "").find(row.says), std::string::npos);
        EXPECT_EQ(problem == nullptr, *row.says == '\0');
        const std::string command = studio.command;
        EXPECT_EQ(command.find(row.command),
                  problem != nullptr ? 0 : std::string("solidmorph-export").size())
            << command;
    }
    home ? setenv("HOME", home->c_str(), 1) : unsetenv("HOME");
}

}  // namespace
}  // namespace solidmorph
