#pragma once

#include <cstdint>

namespace solidmorph {

inline constexpr int32_t console_wait_forever = -1;

// Writes text and CR LF to standard output and flushes it.
void console_write_line(const char* text);

// Waits up to `milliseconds` (or without limit for console_wait_forever),
// ending early at the first check that finds a key press on the console.
// Checks run at once and then every 50 ms. A wait on an input that can never
// deliver a key (end of file, closed, write-only) ends at once, and so does a
// stop request (see stop_signal.h), also one that arrived before the wait.
// A terminal is raw while waiting, again after Ctrl-Z and fg, and exactly as
// it was afterwards.
void console_pause(int32_t milliseconds);

}  // namespace solidmorph
