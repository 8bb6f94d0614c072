#include "platform/clock.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace solidmorph {
namespace {

double uptime_seconds() {
    std::ifstream file("/proc/uptime");
    double seconds = -1.0;
    file >> seconds;
    return seconds;
}

// When this process started, in seconds since system start.
double process_start_seconds() {
    std::ifstream file("/proc/self/stat");
    std::string line;
    std::getline(file, line);
    // The command name may hold spaces; fields count from after its ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i) rest >> field;
    unsigned long long ticks = 0;
    rest >> ticks;
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A clock counting from program start would read about the age of this
// process, far below the time since the system came up.
TEST(ClockSeconds, CountsFromSystemStart) {
    double uptime = uptime_seconds();
    ASSERT_GT(uptime, 0.0);
    double now = clock_seconds();
    EXPECT_NEAR(now, uptime, 1.0);
    EXPECT_GE(now, process_start_seconds() - 0.05);
}

TEST(ClockSeconds, NeverGoesBackAndResolvesBelowOneMillisecond) {
    double previous = clock_seconds();
    double smallest_step = 1.0;
    for (int i = 0; i < 200000; ++i) {
        double now = clock_seconds();
        ASSERT_GE(now, previous) << "reading " << i;
        if (now > previous && now - previous < smallest_step) smallest_step = now - previous;
        previous = now;
    }
    EXPECT_LT(smallest_step, 0.001);

    double before = clock_seconds();
    timespec span{0, 100'000'000};
    nanosleep(&span, nullptr);
    double slept = clock_seconds() - before;
    EXPECT_GE(slept, 0.099);
    EXPECT_LT(slept, 1.0);
}

// Each frame is due one period after the one before, however long it took,
// so the rate does not drift; one so late that its successor's time has
// passed starts that one at once, with no burst of frames to catch up.
TEST(NextFrameDue, OnePeriodOnElseAtOnceWithoutCatchingUp) {
    const double rows[][3] = {
        // due, now (the frame shown), next due
        {100.0, 100.01, 100.05},   // a quick frame
        {100.0, 100.049, 100.05},  // a slow one, not yet late: no drift
        {100.0, 100.17, 100.17},   // three periods late: at once
        {100.17, 100.18, 100.22},  // and on from there
    };
    for (const auto& [due, now, next] : rows) {
        EXPECT_DOUBLE_EQ(next_frame_due(due, 0.05, now), next) << due << " " << now;
    }
}

}  // namespace
}  // namespace solidmorph
