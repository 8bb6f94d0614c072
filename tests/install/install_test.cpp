// The program as its users get it: installed from the build, found by the
// menu through its desktop entry, documented by its manual page.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
    int code = -1;  // -1: did not exit normally
    std::string out;
    std::string err;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a command found on PATH with extra environment, keeping its standard
// output and error apart: a warning on stderr is a failure of its own.
CommandResult run_command(std::vector<std::string> argv, const fs::path& scratch,
                          std::vector<EnvChange> env = {}) {
    argv.insert(argv.begin(), {"/bin/sh", "-c", R"(exec "$0" "$@" >command.out 2>command.err)"});
    PtyOptions options;
    options.stdin_mode = PtyStdin::dev_null;
    options.cwd = scratch.string();
    options.env = std::move(env);
    PtyChild child = pty_spawn(argv, options);
    const ExitStatus status = pty_wait_exit(child, 60000);
    pty_close(child);
    return {status.exited ? status.code : -1, read_file(scratch / "command.out"),
            read_file(scratch / "command.err")};
}

// Installs the build with the given prefix, staged under destdir when one is
// given, the way a package build does.
void install_build(const test::WorkFolder& scratch, const std::string& prefix,
                   const std::string& destdir = "") {
    const CommandResult result = run_command(
        {SOLIDMORPH_CMAKE, "--install", SOLIDMORPH_BUILD_DIR, "--prefix", prefix}, scratch.path,
        {{"DESTDIR", destdir.empty() ? std::nullopt : std::optional(destdir)}});
    ASSERT_EQ(result.code, 0) << result.out << result.err;
}

// The keys of the [Desktop Entry] group, values still escaped.
std::map<std::string, std::string> read_desktop_entry(const fs::path& path) {
    std::map<std::string, std::string> keys;
    std::istringstream in(read_file(path));
    bool in_group = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[') {
            in_group = line == "[Desktop Entry]";
        } else if (const size_t eq = line.find('='); in_group && eq != std::string::npos) {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return keys;
}

// Undoes the escapes every string value may carry.
std::string unescape_string(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        text += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return text;
}

// Splits an Exec= value into the arguments a launcher passes to exec: double
// quotes group, a backslash inside them takes the next character literally,
// and %% is a single percent sign.
std::vector<std::string> exec_arguments(const std::string& value) {
    const std::string line = unescape_string(value);
    std::vector<std::string> args;
    std::string arg;
    bool quoted = false, started = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' && !quoted) {
            if (started) args.push_back(arg);
            arg.clear();
            started = false;
            continue;
        }
        started = true;
        if (c == '"') {
            quoted = !quoted;
        } else if (i + 1 < line.size() &&
                   ((quoted && c == '\\') || (c == '%' && line[i + 1] == '%'))) {
            arg += line[++i];
        } else {
            arg += c;
        }
    }
    if (started) args.push_back(arg);
    return args;
}

std::set<std::string> files_under(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
    }
    return files;
}

const char* const desktop_entry = "share/applications/solidmorph.desktop";
const char* const manual_page = "share/man/man6/solidmorph.6.gz";

TEST(InstalledTree, PutsEachFileWhereTheMenuAndManLookForIt) {
    const test::WorkFolder scratch(false);
    const fs::path stage = scratch.path / "stage";
    install_build(scratch, "/usr", stage.string());
    const fs::path usr = stage / "usr";

    // Exactly these, so a stray or a lost file both show.
    EXPECT_EQ(files_under(stage),
              (std::set<std::string>{"usr/bin/solidmorph", "usr/share/solidmorph/vein.tga",
                                     "usr/share/applications/solidmorph.desktop",
                                     "usr/share/icons/hicolor/256x256/apps/solidmorph.png",
                                     "usr/share/man/man6/solidmorph.6.gz",
                                     "usr/bin/solidmorph-export",
                                     "usr/share/man/man1/solidmorph-export.1.gz"}));
    EXPECT_EQ(access((usr / "bin/solidmorph").c_str(), X_OK), 0);
    EXPECT_EQ(read_file(usr / "share/solidmorph/vein.tga"),
              read_file(fs::path(SOLIDMORPH_ASSETS) / "vein.tga"));

    // The theme's 256x256 folder promises a PNG of that size.
    const std::string icon = read_file(usr / "share/icons/hicolor/256x256/apps/solidmorph.png");
    ASSERT_GE(icon.size(), 24u);
    EXPECT_EQ(icon.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(icon.substr(16, 8), std::string("\0\0\1\0\0\0\1\0", 8)) << "width and height";

    // The entry names the final paths, not the staging folder.
    auto keys = read_desktop_entry(usr / desktop_entry);
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "solidmorph");
    EXPECT_EQ(keys["Exec"], "/usr/bin/solidmorph");
    EXPECT_EQ(keys["Path"], "/usr/share/solidmorph");
    EXPECT_EQ(keys["Icon"], "solidmorph");
    EXPECT_EQ(keys["Terminal"], "false");
}

// Launchers split Exec= like a command line, so a prefix with a space, a
// dollar or a percent sign must still name the installed program.
TEST(InstalledTree, DesktopEntryIsValidAndExactForAnyPrefix) {
    for (const std::string prefix : {"/usr", "/opt/solid morph $HOME 100%"}) {
        SCOPED_TRACE(prefix);
        const test::WorkFolder scratch(false);
        const fs::path stage = scratch.path / "stage";
        install_build(scratch, prefix, stage.string());
        const fs::path entry = stage / fs::path(prefix).relative_path() / desktop_entry;

        const CommandResult check = run_command({"desktop-file-validate", entry}, scratch.path);
        EXPECT_EQ(check.code, 0);
        EXPECT_EQ(check.out + check.err, "") << "warnings and hints count too";

        auto keys = read_desktop_entry(entry);
        EXPECT_EQ(exec_arguments(keys["Exec"]),
                  std::vector<std::string>{prefix + "/bin/solidmorph"});
        EXPECT_EQ(unescape_string(keys["Path"]), prefix + "/share/solidmorph");
    }
}

TEST(InstalledTree, ManualPageRendersWithoutWarningsAndTellsTheEssentials) {
    const test::WorkFolder scratch(false);
    install_build(scratch, "/usr/local", (scratch.path / "stage").string());
    const std::vector<std::pair<std::string, std::vector<const char*>>> pages = {
        {manual_page,
         {"SOLIDMORPH(6)", "Escape", "vein.tga", "current working directory",
          "/usr/local/share/solidmorph", "Failed to initialize GLFW!", "Failed to load image!!!",
          "EXIT STATUS", "Always 0"}},
        {"share/man/man1/solidmorph-export.1.gz",
         {"SOLIDMORPH-EXPORT(1)", "--preset N", "--frame F", "--shape a,b,m,n1,n2,n3", ".glb",
          ".stl", ".obj", "texture scroll at 0", "EXIT STATUS", "Bad usage"}},
    };
    for (const auto& [name, facts] : pages) {
        SCOPED_TRACE(name);
        const fs::path page = scratch.path / "stage/usr/local" / name;
        const CommandResult man = run_command({"man", "--warnings", "-l", page}, scratch.path,
                                              {{"MANWIDTH", "80"}, {"LC_ALL", "C.UTF-8"}});
        EXPECT_EQ(man.code, 0);
        EXPECT_EQ(man.err, "");
        // Words of one phrase may sit on two lines or between padding spaces.
        std::string text;
        std::istringstream words(man.out);
        for (std::string word; words >> word;) text += word + " ";
        for (const char* fact : facts) {
            EXPECT_NE(text.find(fact), std::string::npos) << fact;
        }
    }
}

// What a menu does: run the entry's Exec= in its Path= folder, with no
// console. The prefix has a space so the entry's quoting is used for real.
TEST(InstalledProgram, StartedAsTheMenuDoesItShowsTheSolidAndEndsOnEscape) {
    const test::WorkFolder scratch(false);
    const fs::path prefix = scratch.path / "home dir";
    install_build(scratch, prefix.string());
    auto keys = read_desktop_entry(prefix / desktop_entry);
    const std::vector<std::string> argv = exec_arguments(keys["Exec"]);
    ASSERT_EQ(argv.size(), 1u);

    PtyOptions options;
    options.stdin_mode = PtyStdin::dev_null;
    options.cwd = unescape_string(keys["Path"]);
    PtyChild child = pty_spawn(argv, options);
    const PtyCloser closer{child};
    EXPECT_TRUE(test::wait_for_picture(child.pid, 15000))
        << "the texture was found and the solid drawn: " << child.output;
    // Held down like a person's press: a tap shorter than one frame can fall
    // between two polls of the key on a loaded machine.
    const CommandResult down = run_command({"xdotool", "keydown", "Escape"}, scratch.path);
    ASSERT_EQ(down.code, 0) << down.err;
    const ExitStatus status = pty_wait_exit(child, 10000);
    run_command({"xdotool", "keyup", "Escape"}, scratch.path);
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(child.output, "");
}

}  // namespace
}  // namespace solidmorph
