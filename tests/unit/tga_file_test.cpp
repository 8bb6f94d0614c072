// Reading a texture file from disk, apart from decoding it: what stands in
// the file's place, and the wait an ordinary open would make for another
// process's lease.
#include "image/tga_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/work_folder.h"

namespace solidmorph {
namespace {

constexpr int32_t max_side = 4096;

// Another process holding a lease on the file makes an ordinary open wait
// until it lets go; the read waits the same and then succeeds.
TEST(TgaFile, ReadWaitsForAnotherProcessesLease) {
    const test::WorkFolder dir(true);
    const std::string path = (dir.path / "vein.tga").string();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = open(path.c_str(), O_WRONLY);
        signal(SIGIO, SIG_IGN);  // the lease-break notice; we let go on our own time
        const char ok = fd >= 0 && fcntl(fd, F_SETLEASE, F_WRLCK) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        usleep(400'000);
        fcntl(fd, F_SETLEASE, F_UNLCK);
        _exit(0);
    }
    close(ready[1]);
    char ok = 'n';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    const auto start = std::chrono::steady_clock::now();
    DecodedImage image;
    const bool read_ok = ok == 'y' && read_tga_file(path.c_str(), max_side, image);
    const auto waited = std::chrono::steady_clock::now() - start;
    waitpid(holder, nullptr, 0);
    ASSERT_EQ(ok, 'y') << "could not take a lease here";
    EXPECT_TRUE(read_ok);
    EXPECT_EQ(image.width, 256);
    EXPECT_GE(waited, std::chrono::milliseconds(300)) << "the lease was not in force";
}

// Nothing but a regular file is read: a pipe in its place must not hang the
// open, and a folder, a device or nothing at all is refused.
TEST(TgaFile, OnlyRegularFilesAreRead) {
    const test::WorkFolder dir(false);
    ASSERT_EQ(mkfifo((dir.path / "pipe.tga").c_str(), 0600), 0);
    for (const std::string& path : {(dir.path / "pipe.tga").string(), dir.path.string(),
                                    std::string("/dev/zero"), (dir.path / "none.tga").string()}) {
        DecodedImage image;
        EXPECT_FALSE(read_tga_file(path.c_str(), max_side, image)) << path;
        EXPECT_TRUE(image.pixels.empty()) << path;
    }
    DecodedImage image;
    EXPECT_FALSE(read_tga_file(nullptr, max_side, image));
}

}  // namespace
}  // namespace solidmorph
