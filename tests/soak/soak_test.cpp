// The real program left running on its private display for two full cycles
// of the morph: long enough for a slow leak, a stall or a drift into bad
// numbers to show, as it would in front of people after days.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>

#include "morph/morph_scheduler.h"
#include "support/running_program.h"

namespace solidmorph {
namespace {

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

// Samples resident memory until the probe has counted `frames` swaps,
// keeping the highest. False when the program ends or stops drawing.
bool run_until(test::RunningProgram& run, uint64_t frames, int64_t& highest_kib) {
    uint64_t last = run.swaps();
    double last_progress = pty_now_ms();
    while (last < frames) {
        pty_read_for(run.child, 100);
        if (pty_wait_exit(run.child, 0).exited || run.child.status.signaled) return false;
        highest_kib = std::max(highest_kib, test::resident_kib(run.child.pid));
        if (const uint64_t now = run.swaps(); now != last) {
            last = now;
            last_progress = pty_now_ms();
        } else if (pty_now_ms() - last_progress > stall_ms) {
            return false;
        }
    }
    return true;
}

TEST(Soak, TwoMorphCyclesRunInSteadyMemoryAndEndCleanly) {
    test::RunningProgram run(true);
    ASSERT_TRUE(run.start_probed());
    ASSERT_NE(test::wait_for_window_of(run.child.pid, test::window_timeout_ms), 0UL)
        << run.child.output;

    int64_t warm_up_kib = 0, first_kib = 0, middle_kib = 0, last_kib = 0;
    ASSERT_TRUE(run_until(run, warm_up_frames, warm_up_kib)) << run.child.output;
    const double start_ms = pty_now_ms();
    const uint64_t start_frame = run.swaps();
    ASSERT_TRUE(run_until(run, warm_up_frames + window_frames, first_kib));
    ASSERT_TRUE(run_until(run, end_frame - window_frames, middle_kib));
    ASSERT_TRUE(run_until(run, end_frame, last_kib))
        << "stopped drawing at frame " << run.swaps() << run.child.output;
    const double seconds = (pty_now_ms() - start_ms) / 1000.0;
    const uint64_t frames = run.swaps() - start_frame;
    std::cout << "soak: " << frames << " frames in " << seconds << " s (" << frames / seconds
              << " per second) after " << warm_up_frames
              << " of warm-up; highest resident KiB: " << warm_up_kib << " in warm-up, "
              << first_kib << " first, " << middle_kib << " between, " << last_kib << " last\n";

    EXPECT_LT(last_kib - first_kib, growth_bound_kib);
    EXPECT_LT(middle_kib - first_kib, growth_bound_kib);
    EXPECT_GT(test::lit_pixels_in_centre(), 1000) << "the solid is still on screen";
    ASSERT_TRUE(test::press_escape());
    run.expect_normal_shutdown();
}

}  // namespace
}  // namespace solidmorph
