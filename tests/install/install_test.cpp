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
                   const std::string& destdir = "", std::vector<EnvChange> env = {}) {
    env.push_back({"DESTDIR", destdir.empty() ? std::nullopt : std::optional(destdir)});
    const CommandResult result =
        run_command({SOLIDMORPH_CMAKE, "--install", SOLIDMORPH_BUILD_DIR, "--prefix", prefix},
                    scratch.path, std::move(env));
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
        if (!entry.is_directory()) files.insert(entry.path().lexically_relative(root).string());
    }
    return files;
}

const char* const desktop_entry = "share/applications/solidmorph.desktop";
const char* const manual_page = "share/man/man6/solidmorph.6.gz";

// The package build asks for Debian's places for games through the
// environment, as CPack does.
const EnvChange package_places[] = {{"SOLIDMORPH_PACKAGE_BINDIR", "games"},
                                    {"SOLIDMORPH_PACKAGE_LIBEXECDIR", "lib/games"}};

TEST(InstalledTree, PutsEachFileWhereTheMenuAndManLookForIt) {
    struct Layout {
        const char* name;
        std::vector<EnvChange> env;
        std::string command, program;
    };
    const Layout layouts[] = {
        {"cmake --install", {}, "bin/solidmorph", "libexec/solidmorph/solidmorph"},
        {"Debian package",
         {std::begin(package_places), std::end(package_places)},
         "games/solidmorph",
         "lib/games/solidmorph/solidmorph"},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const test::WorkFolder scratch(false);
        const fs::path stage = scratch.path / "stage";
        install_build(scratch, "/usr", stage.string(), layout.env);
        const fs::path usr = stage / "usr";

        // Exactly these, so a stray or a lost file both show.
        EXPECT_EQ(
            files_under(stage),
            (std::set<std::string>{
                "usr/" + layout.command, "usr/" + layout.program, "usr/share/solidmorph/vein.tga",
                "usr/share/applications/solidmorph.desktop",
                "usr/share/icons/hicolor/256x256/apps/solidmorph.png",
                "usr/share/man/man6/solidmorph.6.gz", "usr/bin/solidmorph-export",
                "usr/share/man/man1/solidmorph-export.1.gz", "usr/bin/solidmorph-saver",
                "usr/libexec/xscreensaver/solidmorph",
                "usr/share/xscreensaver/config/solidmorph.xml",
                "usr/share/applications/solidmorph-saver.desktop",
                "usr/share/applications/screensavers/solidmorph.desktop",
                "usr/share/man/man6/solidmorph-saver.6.gz", "usr/bin/solidmorph-explore",
                "usr/share/man/man1/solidmorph-explore.1.gz",
                "usr/share/applications/solidmorph-explore.desktop",
                "usr/share/doc/solidmorph/copyright", "usr/share/doc/solidmorph/changelog.gz"}));
        // The commands in bin/ run as installed, without the build tree's
        // library paths.
        for (const std::string command :
             {"solidmorph-export", "solidmorph-saver", "solidmorph-explore"}) {
            const CommandResult version =
                run_command({(usr / "bin" / command).string(), "--version"}, scratch.path);
            EXPECT_EQ(version.code, 0) << command << version.err;
            EXPECT_EQ(version.out.rfind(command + " ", 0), 0u) << version.out;
        }
        // Debian's hardening in every program, the control flow marks
        // included (stack clash probes it finds only in frames sized at run
        // time, which none has, and calls that "unknown" rather than a
        // failure). The program's few checkable glibc calls are all proven
        // safe or unsized when compiling, which hardening-check takes for
        // unchecked ones.
        const std::pair<std::string, bool> programs[] = {{"bin/solidmorph-export", true},
                                                         {"bin/solidmorph-saver", true},
                                                         {"bin/solidmorph-explore", true},
                                                         {layout.program, false}};
        for (auto [program, checked_calls] : programs) {
            SCOPED_TRACE(program);
            std::vector<std::string> check = {"hardening-check"};
#if defined(__SANITIZE_ADDRESS__)
            checked_calls = false;  // the sanitizer checks them instead
#endif
            if (!checked_calls) check.push_back("--nofortify");
            check.push_back(usr / program);
            const CommandResult hardening = run_command(check, scratch.path);
            EXPECT_EQ(hardening.code, 0) << hardening.out << hardening.err;
        }
        // XScreenSaver's hack is the saver on the PATH, through a relative
        // link that still holds once the staged tree is moved into place.
        EXPECT_EQ(fs::read_symlink(usr / "libexec/xscreensaver/solidmorph"),
                  "../../bin/solidmorph-saver");
        const std::string settings = read_file(usr / "share/xscreensaver/config/solidmorph.xml");
        for (const char* part : {R"(<screensaver name="solidmorph" _label="Solidmorph" gl="yes">)",
                                 R"(<command arg="--root"/>)", R"(arg="--delay %")"}) {
            EXPECT_NE(settings.find(part), std::string::npos) << part;
        }
        EXPECT_EQ(read_desktop_entry(usr / "share/applications/solidmorph-saver.desktop")["Exec"],
                  "/usr/bin/solidmorph-saver --window");
        EXPECT_EQ(access((usr / layout.command).c_str(), X_OK), 0);
        EXPECT_EQ(access((usr / layout.program).c_str(), X_OK), 0);
        EXPECT_EQ(read_file(usr / layout.program).substr(0, 4),
                  "\x7f"
                  "ELF");
        // The command starts the program with the final paths, not the
        // staging folder's.
        const std::string launcher = read_file(usr / layout.command);
        EXPECT_EQ(launcher.substr(0, 10), "#!/bin/sh\n");
        EXPECT_NE(launcher.find("cd '/usr/share/solidmorph'"), std::string::npos) << launcher;
        EXPECT_NE(launcher.find("exec '/usr/" + layout.program + "' \"$@\""), std::string::npos)
            << launcher;
        EXPECT_EQ(launcher.find(stage.string()), std::string::npos) << launcher;
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
        EXPECT_EQ(keys["Exec"], "/usr/" + layout.command);
        EXPECT_EQ(keys["Path"], "/usr/share/solidmorph");
        EXPECT_EQ(keys["Icon"], "solidmorph");
        EXPECT_EQ(keys["Terminal"], "false");
        EXPECT_EQ(keys["StartupWMClass"], "solidmorph");
    }
}

// Launchers split Exec= like a command line, so a prefix with a space, a
// dollar or a percent sign must still name the installed program. Every
// entry validates; a screensaver's category is not a main one, which the
// validator hints at, so that entry is allowed its hint.
TEST(InstalledTree, DesktopEntriesAreValidAndExactForAnyPrefix) {
    for (const std::string prefix : {"/usr", "/opt/solid morph $HOME 100%"}) {
        SCOPED_TRACE(prefix);
        const test::WorkFolder scratch(false);
        const fs::path stage = scratch.path / "stage";
        install_build(scratch, prefix, stage.string());
        const fs::path usr = stage / fs::path(prefix).relative_path();
        const std::vector<std::pair<std::string, std::vector<std::string>>> entries{
            {desktop_entry, {prefix + "/bin/solidmorph"}},
            {"share/applications/solidmorph-saver.desktop",
             {prefix + "/bin/solidmorph-saver", "--window"}},
            {"share/applications/screensavers/solidmorph.desktop",
             {prefix + "/libexec/xscreensaver/solidmorph", "--root"}},
            {"share/applications/solidmorph-explore.desktop", {prefix + "/bin/solidmorph-explore"}},
        };
        for (const auto& [name, exec] : entries) {
            const CommandResult check =
                run_command({"desktop-file-validate", usr / name}, scratch.path);
            EXPECT_EQ(check.code, 0) << name;
            if (name.find("screensavers") == std::string::npos) {
                EXPECT_EQ(check.out + check.err, "") << "warnings and hints count too";
            }
            EXPECT_EQ(exec_arguments(read_desktop_entry(usr / name)["Exec"]), exec);
        }
        EXPECT_EQ(unescape_string(read_desktop_entry(usr / desktop_entry)["Path"]),
                  prefix + "/share/solidmorph");
    }
}

// The package as cpack builds it: no error or warning from Debian's checker.
TEST(InstalledTree, DebianPackagePassesLintian) {
    const test::WorkFolder scratch(false);
    const CommandResult cpack =
        run_command({SOLIDMORPH_CPACK, "-G", "DEB", "--config",
                     SOLIDMORPH_BUILD_DIR "/CPackConfig.cmake", "-B", scratch.path / "deb"},
                    scratch.path);
    ASSERT_EQ(cpack.code, 0) << cpack.out << cpack.err;
    const CommandResult lintian = run_command(
        {"/bin/sh", "-c", "exec lintian --no-cfg --fail-on error,warning deb/*.deb"}, scratch.path);
    EXPECT_EQ(lintian.code, 0) << lintian.out << lintian.err;
    EXPECT_EQ(lintian.out, "");
}

// The exporter needs no display: it links none of the GL or window
// libraries, so it runs where they are not installed.
TEST(InstalledTree, ExporterLinksNoGraphicsLibrary) {
    const test::WorkFolder scratch(false);
    const CommandResult ldd =
        run_command({"ldd", SOLIDMORPH_BUILD_DIR "/solidmorph-export"}, scratch.path);
    EXPECT_EQ(ldd.code, 0);
    for (const char* library : {"libGL", "libGLU", "libglfw", "libX11", "libOpenGL", "libGLX"}) {
        EXPECT_EQ(ldd.out.find(library), std::string::npos) << library << " in\n" << ldd.out;
    }
}

TEST(InstalledTree, ManualPageRendersWithoutWarningsAndTellsTheEssentials) {
    const test::WorkFolder scratch(false);
    install_build(scratch, "/usr/local", (scratch.path / "stage").string());
    const std::vector<std::pair<std::string, std::vector<const char*>>> pages = {
        {manual_page,
         {"SOLIDMORPH(6)", "Escape", "vein.tga", "current working directory",
          "/usr/local/share/solidmorph", "Failed to initialize GLFW!", "Failed to load image!!!",
          "EXIT STATUS", "Always 0", "/usr/local/bin/solidmorph is a small launcher",
          "that file wins", "/usr/local/libexec/solidmorph/solidmorph", "SIGQUIT",
          "writes no files of its own", "ON WAYLAND DESKTOPS", "solidmorph-saver --fullscreen"}},
        {"share/man/man1/solidmorph-export.1.gz",
         {"SOLIDMORPH-EXPORT(1)", "--preset N", "--frame F", "--shape a,b,m,n1,n2,n3", ".glb",
          ".stl", ".obj", "texture scroll at 0", "EXIT STATUS", "Bad usage", "--flat-base H|P%",
          "steepest overhang"}},
        {"share/man/man6/solidmorph-saver.6.gz",
         {"SOLIDMORPH-SAVER(6)", "--window", "--root", "XSCREENSAVER_WINDOW", "--fullscreen",
          "--window-id ID", "--texture FILE", "--delay MICROSECONDS", "SIGTERM", "EXIT STATUS",
          "GL: solidmorph --root \\n\\"}},
        {"share/man/man1/solidmorph-explore.1.gz",
         {"SOLIDMORPH-EXPLORE(1)", "--shape a,b,m,n1,n2,n3", "Ctrl+S", "F12", "Printable",
          "$XDG_STATE_HOME/solidmorph/explore.ini", "EXIT STATUS", "Ctrl+R",
          "--record CLIP.gif|CLIP.mp4", "--frames FIRST:LAST"}},
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

// Escape ends a program showing its window through the clean shutdown, with
// nothing printed.
void expect_clean_end_on_escape(PtyChild& child, const test::WorkFolder& scratch) {
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

// What a menu does: run the entry's Exec= in its Path= folder (the
// saver's entry has none: the scratch folder, holding no texture), with no
// console. The prefix has a space so the entry's quoting is used for real.
TEST(InstalledProgram, StartedAsTheMenuDoesItShowsTheSolidAndEndsOnEscape) {
    const test::WorkFolder scratch(false);
    const fs::path prefix = scratch.path / "home dir";
    install_build(scratch, prefix.string());
    for (const std::string entry : {desktop_entry, "share/applications/solidmorph-saver.desktop"}) {
        SCOPED_TRACE(entry);
        auto keys = read_desktop_entry(prefix / entry);
        const std::vector<std::string> argv = exec_arguments(keys["Exec"]);
        ASSERT_FALSE(argv.empty());

        PtyOptions options;
        options.stdin_mode = PtyStdin::dev_null;
        options.cwd =
            keys.count("Path") != 0 ? unescape_string(keys["Path"]) : scratch.path.string();
        PtyChild child = pty_spawn(argv, options);
        const PtyCloser closer{child};
        EXPECT_TRUE(test::wait_for_picture(child.pid, 15000))
            << "the texture was found and the solid drawn: " << child.output;
        // Docks and task switchers tie the window to the entry by its class.
        if (keys.count("StartupWMClass") != 0) {
            const std::string wm_class = keys["StartupWMClass"];
            EXPECT_EQ(test::window_class(test::wait_for_window_of(child.pid, 0)),
                      wm_class + "/" + wm_class);
        }
        expect_clean_end_on_escape(child, scratch);
    }
}

// Typed in a terminal, from any folder: a folder without vein.tga gets the
// installed one, even a folder the program cannot look into or that is gone;
// a vein.tga of the user's own wins, even a broken one, and then the
// program's own failure shows. The process the caller started is the program
// itself, in every case, with the arguments as given.
TEST(InstalledProgram, TypedInATerminalFindsTheTextureFromAnyFolder) {
    struct Case {
        const char* name;
        const char* prepare;  // run in the folder just before the command
        bool users_texture;
        bool folder_gone = false;
    };
    const Case cases[] = {
        {"folder with a space", ":", false},
        {"unreadable folder", "chmod 0 .", false},
        {"removed folder", "rmdir -- \"$PWD\"", false, true},
        {"broken vein.tga", "echo not an image >vein.tga", true},
        {"dangling vein.tga link", "ln -s nowhere.tga vein.tga", true},
    };
    const test::WorkFolder scratch(false);
    const fs::path prefix = scratch.path / "it's $HOME";
    install_build(scratch, prefix.string());
    const fs::path program = prefix / "libexec/solidmorph/solidmorph";
    const std::vector<std::string> args = {"two words", "", "*", "--help"};

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = scratch.path / (std::string("my ") + c.name);
        fs::create_directory(folder);
        std::vector<std::string> argv = {
            "/bin/sh", "-c", std::string(R"(cd -- "$0" && )") + c.prepare + R"( && exec "$@")",
            folder.string(), (prefix / "bin/solidmorph").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        PtyChild child = pty_spawn(argv);
        const PtyCloser closer{child};

        if (c.users_texture) {
            EXPECT_TRUE(pty_read_until(child, "\r\n", 15000)) << child.output;
            EXPECT_EQ(child.output, "Failed to load image!!!\r\n");
        } else {
            EXPECT_TRUE(test::wait_for_picture(child.pid, 15000)) << child.output;
        }
        const std::string proc = "/proc/" + std::to_string(child.pid);
        std::error_code error;
        EXPECT_EQ(fs::read_symlink(proc + "/exe", error), program);
        EXPECT_EQ(fs::read_symlink(proc + "/cwd", error),
                  c.users_texture ? folder : prefix / "share/solidmorph");
        const std::string cmdline = read_file(proc + "/cmdline");
        EXPECT_EQ(cmdline.substr(cmdline.find('\0') + 1),
                  std::string("two words\0\0*\0--help\0", 20));

        if (c.users_texture) {
            ASSERT_TRUE(pty_send(child, "q"));
            const ExitStatus status = pty_wait_exit(child, 10000);
            EXPECT_TRUE(status.exited);
            EXPECT_EQ(status.code, 0);
        } else {
            // The shell notes a vanished working folder before the
            // launcher's first line; that notice is the shell's, not ours.
            pty_read_for(child, 200);
            const size_t line_end = child.output.find('\n');
            if (c.folder_gone &&
                child.output.substr(0, line_end).find("getcwd") != std::string::npos) {
                child.output.erase(0, line_end + 1);
            }
            expect_clean_end_on_escape(child, scratch);
        }
        fs::permissions(folder, fs::perms::owner_all, error);
    }
}

}  // namespace
}  // namespace solidmorph
