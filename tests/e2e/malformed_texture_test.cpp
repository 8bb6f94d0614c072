// The real program with a bad "vein.tga": every broken or foreign file, and
// every kind of thing that can stand in the file's place, must end in the
// texture failure path (the message, a key, exit 0), never in a signal, a
// hang or a picture made of garbage.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

constexpr const char* failure_line = "Failed to load image!!!\r\n";
constexpr int message_timeout_ms = 15000;
constexpr int exit_timeout_ms = 3000;
// Exit code of a child that could not take on another user's identity.
constexpr int no_identity_code = 125;

using test::WorkFolder;

fs::path texture_of(const WorkFolder& folder) { return folder.path / "vein.tga"; }

PtyOptions options_for(const WorkFolder& folder) {
    PtyOptions options;
    options.cwd = folder.path.string();
    return options;
}

// Runs the program to its failure message, answers with a key and checks
// that it ends cleanly; `what` names the case in every failure.
void expect_failure_path(PtyChild& child, const std::string& what) {
    ASSERT_GT(child.pid, 0) << what;
    const bool got_line = pty_read_until(child, "\n", message_timeout_ms);
    EXPECT_TRUE(got_line) << what << ": no message; output so far: " << child.output;
    EXPECT_EQ(child.output, failure_line) << what;
    EXPECT_TRUE(pty_send(child, "x")) << what;
    const ExitStatus status = pty_wait_exit(child, exit_timeout_ms);
    EXPECT_TRUE(status.exited) << what << ": still running or killed by signal " << status.signal;
    EXPECT_EQ(status.code, 0) << what;
    // A key typed before the program has switched off the terminal's echo
    // shows up once; nothing else may follow the message.
    if (child.output != failure_line) {
        EXPECT_EQ(child.output, std::string(failure_line) + "x") << what;
    }
    pty_close(child);
}

void expect_program_refuses(const WorkFolder& folder, const std::string& what) {
    PtyChild child = pty_spawn({SOLIDMORPH_BINARY}, options_for(folder));
    expect_failure_path(child, what);
}

TEST(MalformedTexture, EveryBrokenOrForeignFileEndsInTheFailurePath) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(SOLIDMORPH_TEST_DATA) / "malformed")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        WorkFolder folder(false);
        fs::copy_file(file, texture_of(folder));
        expect_program_refuses(folder, file.filename().string());
    }
}

TEST(MalformedTexture, WhatIsNoFileEndsInTheFailurePath) {
    {
        WorkFolder folder(false);
        fs::create_directory(texture_of(folder));
        expect_program_refuses(folder, "a directory");
    }
    {
        // Nobody ever writes to it: opening it must not wait for a writer.
        WorkFolder folder(false);
        ASSERT_EQ(mkfifo(texture_of(folder).c_str(), 0644), 0);
        expect_program_refuses(folder, "a named pipe");
    }
    {
        // Endless bytes: a loader that reads to the end would never stop.
        WorkFolder folder(false);
        fs::create_symlink("/dev/zero", texture_of(folder));
        expect_program_refuses(folder, "a link to /dev/zero");
    }
}

// The other side of the line: small files of unusual but accepted kinds
// (odd sides, run-length packets, colour maps with wide indexes, grey with
// alpha, right-to-left rows) give a picture, not the failure path.
TEST(MalformedTexture, UnusualButValidFilesShowTheSolid) {
    const fs::path seeds = fs::path(SOLIDMORPH_TEST_DATA) / ".." / ".." / "fuzz" / "corpus";
    for (const char* name : {"rle_mapped_i16_m32_bottom_left_rgba.tga",
                             "rle_grey_16_bottom_right_greya.tga", "true_15_top_right_rgb.tga"}) {
        WorkFolder folder(false);
        fs::copy_file(seeds / name, texture_of(folder));
        PtyChild child = pty_spawn({SOLIDMORPH_BINARY}, options_for(folder));
        ASSERT_NE(test::wait_for_window_of(child.pid, message_timeout_ms), 0UL)
            << name << ": " << child.output;
        int64_t lit = 0;
        for (int attempt = 0; attempt < 100 && lit <= 1000; ++attempt) {
            pty_sleep_ms(50);
            lit = test::lit_pixels_in_centre();
        }
        EXPECT_GT(lit, 1000) << name;
        ASSERT_TRUE(test::press_escape());
        const ExitStatus status = pty_wait_exit(child, exit_timeout_ms);
        EXPECT_TRUE(status.exited && status.code == 0) << name;
        EXPECT_EQ(child.output, "") << name;
        pty_close(child);
    }
}

// Starts the program as the unprivileged user nobody, where permission bits
// bind; when that identity cannot be had, the child exits no_identity_code.
PtyChild spawn_as_nobody(const WorkFolder& folder) {
    return pty_run(
        [] {
            const gid_t group = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(65534) != 0) {
                return no_identity_code;
            }
            execl(SOLIDMORPH_BINARY, SOLIDMORPH_BINARY, static_cast<char*>(nullptr));
            return 127;
        },
        options_for(folder));
}

// A perfectly good texture that the program may not read. Root reads past
// permission bits, so as root the program runs as nobody instead.
TEST(MalformedTexture, UnreadableFileEndsInTheFailurePath) {
    WorkFolder folder(false);
    fs::copy_file(fs::path(SOLIDMORPH_ASSETS) / "vein.tga", texture_of(folder));
    fs::permissions(texture_of(folder), fs::perms::none);
    // Only the file may stand in the way, not the folder around it.
    fs::permissions(folder.path, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    if (geteuid() != 0) {
        expect_program_refuses(folder, "a file without read permission");
        return;
    }
    PtyChild child = spawn_as_nobody(folder);
    ASSERT_GT(child.pid, 0);
    pty_read_for(child, 200);
    if (child.output.empty() && pty_wait_exit(child, 0).code == no_identity_code) {
        pty_close(child);
        GTEST_SKIP() << "running as root and cannot become user 65534, so permission bits "
                        "cannot be tested here";
    }
    expect_failure_path(child, "a file without read permission, run as nobody");
}

}  // namespace
}  // namespace solidmorph
