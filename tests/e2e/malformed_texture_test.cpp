// The real program with a bad "vein.tga": every broken or foreign file, and
// every kind of thing that can stand in the file's place, must end in the
// texture failure path (the message, a key, exit 0), never in a signal, a
// hang or a picture made of garbage.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "support/running_program.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;
using test::RunningProgram;

constexpr const char* failure_line = "Failed to load image!!!\r\n";
constexpr int exit_timeout_ms = 3000;
// Exit code of a child that could not take on another user's identity.
constexpr int no_identity_code = 125;

// Runs the program to its failure message, answers with a key and checks
// that it ends cleanly.
void expect_failure_path(RunningProgram& run) {
    ASSERT_GT(run.child.pid, 0);
    EXPECT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms))
        << "no message; output so far: " << run.child.output;
    EXPECT_EQ(run.child.output, failure_line);
    EXPECT_TRUE(pty_send(run.child, "x"));
    run.expect_clean_exit(exit_timeout_ms);
    // A key typed before the program has switched off the terminal's echo
    // shows up once; nothing else may follow the message.
    if (run.child.output != failure_line) {
        EXPECT_EQ(run.child.output, std::string(failure_line) + "x");
    }
}

TEST(MalformedTexture, EveryBrokenForeignOrNonFileEndsInTheFailurePath) {
    std::map<std::string, std::function<void(const fs::path&)>> cases = {
        {"a directory", [](const fs::path& to) { fs::create_directory(to); }},
        // Nobody ever writes to it: opening it must not wait for a writer.
        {"a named pipe", [](const fs::path& to) { ASSERT_EQ(mkfifo(to.c_str(), 0644), 0); }},
        // Endless bytes: a loader that reads to the end would never stop.
        {"a link to /dev/zero", [](const fs::path& to) { fs::create_symlink("/dev/zero", to); }},
    };
    for (const auto& entry : fs::directory_iterator(fs::path(SOLIDMORPH_TEST_DATA) / "malformed")) {
        cases[entry.path().filename().string()] = [file = entry.path()](const fs::path& to) {
            fs::copy_file(file, to);
        };
    }
    ASSERT_GT(cases.size(), 3u) << "no malformed files";
    for (const auto& [what, setup] : cases) {
        SCOPED_TRACE(what);
        RunningProgram run(false);
        setup(run.texture());
        run.start();
        expect_failure_path(run);
    }
}

// The other side of the line: small files of unusual but accepted kinds
// (odd sides, run-length packets, colour maps with wide indexes, grey with
// alpha, right-to-left rows) give a picture, not the failure path.
TEST(MalformedTexture, UnusualButValidFilesShowTheSolid) {
    const fs::path seeds = fs::path(SOLIDMORPH_TEST_DATA) / ".." / ".." / "fuzz" / "corpus";
    for (const char* name : {"rle_mapped_i16_m32_bottom_left_rgba.tga",
                             "rle_grey_16_bottom_right_greya.tga", "true_15_top_right_rgb.tga"}) {
        SCOPED_TRACE(name);
        RunningProgram run(false);
        fs::copy_file(seeds / name, run.texture());
        run.start();
        run.expect_picture_then_escape(exit_timeout_ms);
    }
}

// A perfectly good texture that the program may not read. Root reads past
// permission bits, so as root the program runs as the unprivileged user
// nobody instead; when that identity cannot be had, the test is skipped.
TEST(MalformedTexture, UnreadableFileEndsInTheFailurePath) {
    RunningProgram run(true);
    fs::permissions(run.texture(), fs::perms::none);
    // Only the file may stand in the way, not the folder around it.
    fs::permissions(run.folder.path, fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    if (geteuid() != 0) {
        run.start();
        expect_failure_path(run);
        return;
    }
    PtyOptions options;
    options.cwd = run.folder.path.string();
    run.child = pty_run(
        [] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
                return no_identity_code;
            }
            execl(SOLIDMORPH_BINARY, SOLIDMORPH_BINARY, static_cast<char*>(nullptr));
            return 127;
        },
        options);
    ASSERT_GT(run.child.pid, 0);
    pty_read_for(run.child, 200);
    if (run.child.output.empty() && pty_wait_exit(run.child, 0).code == no_identity_code) {
        GTEST_SKIP() << "running as root and cannot become user 65534, so permission bits "
                        "cannot be tested here";
    }
    SCOPED_TRACE("run as nobody");
    expect_failure_path(run);
}

}  // namespace
}  // namespace solidmorph
