#pragma once

namespace solidmorph {

// Seconds since the system started, from a monotonic clock.
double clock_seconds();

}  // namespace solidmorph
