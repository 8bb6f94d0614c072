// The real program left running on its private display for two full cycles
// of the morph: long enough for a slow leak, a stall or a drift into bad
// numbers to show, as it would in front of people after days.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "support/frame_probe.h"
#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

namespace solidmorph {
namespace {

using test::probe_value;
using test::resident_kib;

constexpr uint64_t cycle_frames = 8400;  // 21 periods of 400 frames
// The allocators and the driver settle within the first cycle; from then on
// a steady program holds its size while two more cycles run.
constexpr uint64_t warm_up_frames = cycle_frames;
constexpr uint64_t end_frame = warm_up_frames + 2 * cycle_frames;
// Resident size wobbles by a few pages from frame to frame, so each end of
// the run is judged by the highest size seen over a stretch of frames.
constexpr uint64_t window_frames = 2000;
// A leak of even 64 bytes a frame would pass this over the two cycles.
constexpr int64_t growth_bound_kib = 1024;
constexpr int stall_ms = 10000;

// The program ends with the test, even when an assertion returns early.
struct Running {
    PtyChild child;
    ~Running() { pty_close(child); }
};

// Samples resident memory until the probe has counted `frames` swaps,
// keeping the highest. False when the program ends or stops drawing.
bool run_until(Running& run, const test::ProbeFile& probe, uint64_t frames, int64_t& highest_kib) {
    uint64_t last = probe_value(probe.counts->swaps);
    double last_progress = pty_now_ms();
    while (last < frames) {
        pty_read_for(run.child, 100);
        if (pty_wait_exit(run.child, 0).exited || run.child.status.signaled) return false;
        highest_kib = std::max(highest_kib, resident_kib(run.child.pid));
        const uint64_t now = probe_value(probe.counts->swaps);
        if (now != last) {
            last = now;
            last_progress = pty_now_ms();
        } else if (pty_now_ms() - last_progress > stall_ms) {
            return false;
        }
    }
    return true;
}

TEST(Soak, TwoMorphCyclesRunInSteadyMemoryAndEndCleanly) {
    test::WorkFolder folder(true);
    test::ProbeFile probe = test::open_probe_file(folder.path.string());
    ASSERT_NE(probe.counts, nullptr);
    PtyOptions options;
    options.cwd = folder.path.string();
    options.env = test::probe_environment(probe);
    Running run{pty_spawn({SOLIDMORPH_BINARY}, options)};
    ASSERT_NE(test::wait_for_window_of(run.child.pid, 15000), 0UL) << run.child.output;

    int64_t warm_up_kib = 0, first_kib = 0, middle_kib = 0, last_kib = 0;
    ASSERT_TRUE(run_until(run, probe, warm_up_frames, warm_up_kib)) << run.child.output;
    const double start_ms = pty_now_ms();
    const uint64_t start_frame = probe_value(probe.counts->swaps);
    ASSERT_TRUE(run_until(run, probe, warm_up_frames + window_frames, first_kib));
    ASSERT_TRUE(run_until(run, probe, end_frame - window_frames, middle_kib));
    ASSERT_TRUE(run_until(run, probe, end_frame, last_kib))
        << "stopped drawing at frame " << probe_value(probe.counts->swaps) << run.child.output;
    const double seconds = (pty_now_ms() - start_ms) / 1000.0;
    const uint64_t frames = probe_value(probe.counts->swaps) - start_frame;
    std::printf(
        "soak: %llu frames in %.1f s (%.0f per second) after %llu of warm-up; highest "
        "resident KiB: %lld in warm-up, %lld first, %lld between, %lld last\n",
        static_cast<unsigned long long>(frames), seconds, frames / seconds,
        static_cast<unsigned long long>(warm_up_frames), static_cast<long long>(warm_up_kib),
        static_cast<long long>(first_kib), static_cast<long long>(middle_kib),
        static_cast<long long>(last_kib));

    EXPECT_LT(last_kib - first_kib, growth_bound_kib);
    EXPECT_LT(middle_kib - first_kib, growth_bound_kib);
    EXPECT_GT(test::lit_pixels_in_centre(), 1000) << "the solid is still on screen";

    ASSERT_TRUE(test::press_escape());
    const ExitStatus status = pty_wait_exit(run.child, 10000);
    EXPECT_TRUE(status.exited) << "still running or killed by signal " << status.signal;
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(probe_value(probe.counts->terminates), 1u);
    EXPECT_EQ(probe_value(probe.counts->deleted_at_terminate), 1u) << "texture deleted first";
    EXPECT_EQ(run.child.output, "");
    test::close_probe_file(probe);
}

}  // namespace
}  // namespace solidmorph
