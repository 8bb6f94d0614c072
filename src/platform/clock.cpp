#include "platform/clock.h"

#include <time.h>

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

}  // namespace solidmorph
