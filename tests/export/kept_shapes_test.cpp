// The file of kept shapes through its own reading and writing: every form a
// path can take where shapes.txt belongs, a round trip that leaves what it
// cannot read where it was, and two programs keeping shapes at once.
#include "shapes/kept_shapes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>

#include "support/work_folder.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

// The data folder pointed at a scratch one for the test's length, and
// given back at the end.
struct DataFolder {
    test::WorkFolder folder{false};
    std::optional<std::string> before;

    DataFolder() {
        if (const char* was = getenv("XDG_DATA_HOME")) before = was;
        setenv("XDG_DATA_HOME", folder.path.c_str(), 1);
        fs::create_directories(file().parent_path());
    }
    ~DataFolder() {
        before ? setenv("XDG_DATA_HOME", before->c_str(), 1) : unsetenv("XDG_DATA_HOME");
    }
    fs::path file() const { return folder.path / "solidmorph" / "shapes.txt"; }
    void write(const std::string& text) const { std::ofstream(file(), std::ios::binary) << text; }
    std::string text() const {
        std::ifstream in(file(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

enum class Form { missing, text, folder, pipe, dev_zero, unreadable };

TEST(KeptShapes, EveryFormIsReadAtOnceSaysWhatItSkippedAndTheNextKeepLosesNothing) {
    const std::string huge = std::string(10 << 20, 'x');
    std::string many;  // one past the most shapes read
    for (size_t i = 0; i <= most_kept_shapes; ++i) many += std::to_string(i) + ": --frame 1\n";
    struct FileForm {
        Form form;
        std::string text;
        bool whole;        // read whole, so that a keep may change it
        size_t shapes;     // readable before the keep
        const char* says;  // in the one line of what was ignored; "" for nothing
    } const forms[] = {
        {Form::missing, "", true, 0, ""},
        {Form::text, "", true, 0, ""},
        {Form::folder, "", false, 0, "is not a plain file"},
        {Form::pipe, "", false, 0, "is not a plain file"},
        {Form::dev_zero, "", false, 0, "is not a plain file"},
        {Form::unreadable, "a: --preset 1\n", false, 0, "cannot be read ("},
        {Form::text,
         std::string("\x7f"
                     "ELF\x02\x01\0\0\x01\xff\n\0\0",
                     13),
         true, 0, "has 2 lines that are not NAME: OPTIONS, skipped (from line 1)"},
        {Form::text, huge + "\na: --preset 1", true, 1,
         "1 line that is not NAME: OPTIONS, skipped (line 1)"},
        {Form::text,
         "# mine\n\n a :  --frame 12 \r\nb: --preset 12\nc: --preset 2 -o c.stl\n#d: --preset 1\n"
         "e\xff: --preset 1\nf:\na: --preset 3\ng: --shape 1,1,5,0.3,0.3,0.3 --detail 128\n",
         true, 2,
         "has 4 lines that are not NAME: OPTIONS and 1 line that names a shape kept above"},
        {Form::text, many, true, most_kept_shapes, "1 line past the first 10000 shapes"},
    };
    for (const FileForm& form : forms) {
        SCOPED_TRACE(form.text.substr(0, 40));
        DataFolder folder;
        const fs::path file = folder.file();
        if (form.form == Form::text || form.form == Form::unreadable) folder.write(form.text);
        if (form.form == Form::folder) fs::create_directory(file);
        if (form.form == Form::pipe) mkfifo(file.c_str(), 0644);
        if (form.form == Form::dev_zero) fs::create_symlink("/dev/zero", file);
        // Root reads a file of any mode; a link to itself cannot be opened
        // by anyone, and takes the same way through.
        if (form.form == Form::unreadable && geteuid() != 0) chmod(file.c_str(), 0);
        if (form.form == Form::unreadable && geteuid() == 0) {
            fs::remove(file);
            fs::create_symlink("shapes.txt", file);
        }
        KeptShapes kept;
        std::string ignored, error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(read_kept_shapes(kept, ignored), form.whole);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_NE(ignored.find(form.says), std::string::npos) << ignored;
        EXPECT_EQ(ignored.empty(), *form.says == '\0') << ignored;
        EXPECT_EQ(ignored.find('\n'), std::string::npos);
        EXPECT_EQ(kept.shapes.size(), form.shapes);
        KeptAs as{};
        const bool room = form.whole && form.shapes < most_kept_shapes;
        EXPECT_EQ(keep_shape("new", "--preset 5", as, error), room) << error;
        if (!room) continue;
        const std::string before =
            form.text.empty() || form.text.back() == '\n' ? form.text : form.text + '\n';
        EXPECT_EQ(folder.text(), before + "new: --preset 5\n");
        ASSERT_TRUE(read_kept_shapes(kept, ignored));
        EXPECT_EQ(kept.shapes.size(), form.shapes + 1);
    }
}

// Each change rewrites its own line alone: the comment and the line that
// cannot be read stay where they were, byte for byte.
TEST(KeptShapes, KeepRenameAndDeleteChangeTheirOwnLineAndRefuseWithAReason) {
    DataFolder folder;
    folder.write("# mine\na: --preset 1\nbroken\x01 line\nshape 1: --frame 9\n");
    KeptAs as{};
    std::string error;
    ASSERT_TRUE(keep_shape("a", "--shape  1,1,5,0.3,0.3,0.3", as, error)) << error;
    EXPECT_EQ(as, KeptAs::replaced);
    ASSERT_TRUE(keep_shape("b", "--preset 2", as, error)) << error;
    EXPECT_EQ(as, KeptAs::added);
    ASSERT_TRUE(rename_kept_shape("a", "c", error)) << error;
    ASSERT_TRUE(delete_kept_shape("shape 1", error)) << error;
    EXPECT_EQ(folder.text(),
              "# mine\nc: --shape 1,1,5,0.3,0.3,0.3\nbroken\x01 line\nb: --preset 2\n");
    KeptShapes kept;
    ASSERT_TRUE(read_kept_shapes(kept, error));
    EXPECT_EQ(unused_shape_name(kept), "shape 1");
    ASSERT_NE(find_kept_shape(kept, "b"), nullptr);
    EXPECT_EQ(find_kept_shape(kept, "b")->line, 3u);

    const std::string too_long(65, 'y');
    struct Refused {
        const char *name, *options, *to, *says;  // to: rename name to it, else keep
    } const refused[] = {
        {"", "--preset 1", nullptr, "needs a name"},
        {"#x", "--preset 1", nullptr, "cannot begin with '#'"},
        {"x:y", "--preset 1", nullptr, "cannot hold ':'"},
        {" x", "--preset 1", nullptr, "space"},
        {"x\xc0\xaf", "--preset 1", nullptr, "UTF-8"},
        {"x", "--preset 1 --size 80", nullptr, "belong to an export"},
        {"x", "--preset 1\n--frame 2", nullptr, "one line"},
        {"x", "-o x.glb", nullptr, "needs --preset N"},
        {"x", "--kept b", nullptr, "cannot name another kept shape"},
        {"b", nullptr, "c", "is kept already"},
        {"z", nullptr, "y", "no kept shape is called 'z'"},
        {"b", nullptr, too_long.c_str(), "at most 64 bytes"},
    };
    const std::string kept_text = folder.text();
    for (const Refused& row : refused) {
        SCOPED_TRACE(row.name);
        const bool done = row.to != nullptr ? rename_kept_shape(row.name, row.to, error)
                                            : keep_shape(row.name, row.options, as, error);
        EXPECT_FALSE(done);
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
    }
    EXPECT_EQ(folder.text(), kept_text);

    // --kept takes a kept shape's shape and detail; --detail given wins.
    ASSERT_TRUE(keep_shape("fine", "--shape 1,1,5,0.6,0.4,0.5,1,1,3,4,1,1 --detail 96", as, error));
    ExportOptions options;
    ASSERT_TRUE(parse_export_options({"--kept", "fine", "-o", "f.stl"}, options, error)) << error;
    EXPECT_EQ(options.source, ShapeSource::shape);
    EXPECT_EQ(options.longitude.m, 3.0f);
    EXPECT_EQ(options.detail, 96);
    ASSERT_TRUE(
        parse_export_options({"--detail", "64", "--kept", "b", "-o", "b.glb"}, options, error));
    EXPECT_EQ(std::tie(options.source, options.preset, options.detail),
              std::tuple(ShapeSource::preset, 2, 64));
    EXPECT_FALSE(parse_export_options({"--kept", "a", "-o", "a.glb"}, options, error));
    EXPECT_NE(error.find("no kept shape is called 'a'"), std::string::npos) << error;
}

TEST(KeptShapes, TwoProcessesKeepingAtOnceLoseNoShape) {
    DataFolder folder;
    const auto keep_fifty = [](const std::string& who) {
        KeptAs as{};
        std::string error;
        for (int i = 0; i < 50; ++i) {
            if (!keep_shape(who + " " + std::to_string(i), "--frame " + std::to_string(i), as,
                            error))
                return false;
        }
        return true;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(keep_fifty("child") ? 0 : 1);
    EXPECT_TRUE(keep_fifty("parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    KeptShapes kept;
    std::string ignored;
    ASSERT_TRUE(read_kept_shapes(kept, ignored));
    EXPECT_EQ(kept.shapes.size(), 100u) << ignored;
}

}  // namespace
}  // namespace solidmorph
