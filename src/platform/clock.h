#pragma once

namespace solidmorph {

// Seconds since the system started, from a monotonic clock.
double clock_seconds();

// When the next frame is due, read once the frame that was due at `due` is
// shown (the clock reading `now`): one period after its due time, so that
// the rate holds however long each frame takes. When even that time has
// passed, the next frame starts at once and the periods count on from
// there, rather than hurrying through the missed frames to catch up.
double next_frame_due(double due, double period, double now);

// Sleeps until clock_seconds() reads `reading` (a moment no further away
// than a frame's period); returns at once if it has passed, and early on a
// signal, so that a stop request is seen at once.
void sleep_until(double reading);

}  // namespace solidmorph
