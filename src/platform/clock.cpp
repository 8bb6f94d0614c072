#include "platform/clock.h"

#include <time.h>

#include <cmath>

namespace solidmorph {

// CLOCK_BOOTTIME counts from system start and keeps counting while the
// machine is suspended, so it is the true time since start (the figure
// /proc/uptime shows). It never jumps backwards and is not moved by changes
// to the wall clock. CLOCK_MONOTONIC shares the origin on Linux but stops
// during suspend; it is the fallback for kernels without CLOCK_BOOTTIME.
double clock_seconds() {
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        clock_gettime(CLOCK_MONOTONIC, &now);
    }
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double next_frame_due(double due, double period, double now) {
    const double next = due + period;
    return next > now ? next : now;
}

// Sleeps are never restarted after a signal's handler.
void sleep_until(double reading) {
    const double left = reading - clock_seconds();
    if (!(left > 0.0)) return;
    const double whole = std::floor(left);
    const long nanoseconds = static_cast<long>((left - whole) * 1e9);
    timespec pause{static_cast<time_t>(whole),
                   nanoseconds < 999'999'999 ? nanoseconds : 999'999'999};
    nanosleep(&pause, nullptr);
}

}  // namespace solidmorph
