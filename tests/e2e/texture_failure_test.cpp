// The texture failure path: without a usable "vein.tga" (missing, broken,
// foreign, unreadable, too big for the memory left) the program closes its
// window, prints its one line and waits for a key without limit; a stop or
// a hang-up ends the wait too, and the terminal is left as it was. Files of
// unusual but accepted kinds still show the solid.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "support/running_program.h"
#include "support/tga_bytes.h"

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

// The header of an 8192 x 8192 RGBA image, 256 MiB once decoded.
[[maybe_unused]] test::TgaFile large_image(uint8_t image_type) {
    test::TgaFile f;
    f.image_type = image_type;
    f.width = 8192;
    f.height = 8192;
    f.pixel_bits = 32;
    f.descriptor = 8;
    return f;
}

// The large image in a small RLE file.
[[maybe_unused]] void write_large_texture(const fs::path& path) {
    test::TgaFile f = large_image(10);
    const test::Bytes run = {0x80 | 127, 10, 200, 30, 255};
    for (uint32_t i = 0; i < uint32_t(f.width) * f.height / 128; ++i) {
        f.data.insert(f.data.end(), run.begin(), run.end());
    }
    const test::Bytes bytes = test::tga_bytes(f);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(TextureFailure, MissingTextureReportsAndWaitsForAKey) {
    RunningProgram run(false);
    run.start();
    ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
    EXPECT_EQ(run.child.output, failure_line);
    // The message stays until the user has read it: no time limit.
    const ExitStatus early = pty_wait_exit(run.child, 1500);
    EXPECT_FALSE(early.exited || early.signaled) << "ended without a key";
    EXPECT_EQ(test::wait_for_window_of(run.child.pid, 0), 0UL) << "the window is closed";
    ASSERT_TRUE(pty_send(run.child, "x"));
    run.expect_clean_exit(2000);
    EXPECT_EQ(run.child.output, failure_line);
}

// The wait for a key after a failed texture load has no time limit, but a
// stop signal or the console hanging up still ends it, with status 0 and
// the terminal exactly as the program found it.
TEST(TextureFailure, WaitEndsOnStopOrHangup) {
    const termios before = pty_fresh_terminal_settings();
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, 0}) {
        SCOPED_TRACE(stop == 0 ? "console closed" : test::stop_name(stop));
        RunningProgram run(false);
        run.start();
        ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms));
        pty_read_for(run.child, 200);
        if (stop == 0) {
            close(run.child.master_fd);
            run.child.master_fd = -1;
        } else {
            ASSERT_EQ(kill(run.child.pid, stop), 0);
        }
        run.expect_clean_exit(3000);
        termios after{};
        if (stop != 0) {
            ASSERT_EQ(tcgetattr(run.child.master_fd, &after), 0);
            EXPECT_TRUE(pty_same_settings(before, after)) << "the terminal was left changed";
        }
    }
}

TEST(TextureFailure, EveryBrokenForeignOrNonFileEndsInTheFailurePath) {
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
TEST(TextureFailure, UnusualButValidFilesShowTheSolid) {
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
TEST(TextureFailure, UnreadableFileEndsInTheFailurePath) {
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

// An 8192 x 8192 RGBA image stored uncompressed: 256 MiB of file bytes to
// read before a single pixel is decoded. Sparse, so it costs no disk.
[[maybe_unused]] void write_large_file(const fs::path& path) {
    const test::Bytes header = test::tga_bytes(large_image(2));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    fs::resize_file(path, header.size() + (uintmax_t(8192) * 8192 * 4));
}

// Out of memory at start-up is never an abort. For the texture (its file's
// bytes, or its decoded pixels) it is a texture that cannot be loaded: its
// line, its wait, status 0; a big image that loads without a limit fails
// under one that still lets the program start. For the solid's mesh, built
// just after the window opens, there is nothing to show: a quiet end with 0.
TEST(TextureFailure, NoMemoryAtStartUpNeverAborts) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves, and "
                    "must see every allocation";
#else
    struct Case {
        const char* name;
        void (*write_texture)(const fs::path&);
        bool texture_failure;
    };
    const Case cases[] = {
        {"no memory for the decoded pixels", write_large_texture, true},
        {"no memory for the file's bytes", write_large_file, true},
        {"no memory for the mesh", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningProgram run(c.write_texture == nullptr);
        if (c.write_texture != nullptr) c.write_texture(run.texture());
        PtyOptions options;
        options.cwd = run.folder.path.string();
        if (!c.texture_failure) options.env = {{"LD_PRELOAD", SOLIDMORPH_SCARCE_MEMORY}};
        const bool limit = c.texture_failure;
        run.child = pty_run(
            [limit] {
                const rlimit address_space{700ul << 20, 700ul << 20};
                if (limit) setrlimit(RLIMIT_AS, &address_space);
                execl(SOLIDMORPH_BINARY, SOLIDMORPH_BINARY, static_cast<char*>(nullptr));
                return 127;
            },
            options);
        if (!c.texture_failure) {
            run.expect_clean_exit(test::window_timeout_ms);
            EXPECT_EQ(run.child.output, "");
            continue;
        }
        ASSERT_TRUE(pty_read_until(run.child, "\n", test::window_timeout_ms)) << run.child.output;
        EXPECT_EQ(run.child.output, failure_line);
        EXPECT_FALSE(pty_wait_exit(run.child, 500).exited) << "ended without a key";
        ASSERT_TRUE(pty_send(run.child, "x"));
        run.expect_clean_exit(3000);
    }
#endif
}

}  // namespace
}  // namespace solidmorph
