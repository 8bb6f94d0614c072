#pragma once

// The test's side of the frame probe (tests/preload/frame_probe.c): a counts
// file shared with the program under test, and the environment that
// preloads the probe into it.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "preload/probe_counts.h"
#include "support/pty_process.h"

namespace solidmorph::test {

struct ProbeFile {
    std::string path;
    ProbeCounts* counts = nullptr;  // mapped; stays valid after the child ends
};

// Creates the zeroed counts file `name` in folder and maps it; counts is null
// on failure.
ProbeFile open_probe_file(const std::string& folder, const char* name = "frame-probe");
void close_probe_file(ProbeFile& file);

// Reads one counter while the program may be writing it.
uint64_t probe_value(const uint64_t& counter);

// Preloads the probe into a child, counting into file, after whatever the
// test itself preloads (the sanitized runs keep their own preload).
// hold_escape makes the Escape key read as pressed from the start; slow_ms
// makes every frame take that much longer.
std::vector<EnvChange> probe_environment(const ProbeFile& file, bool hold_escape = false,
                                         int slow_ms = 0);

// Resident memory of a running process in KiB, from /proc; -1 when gone.
int64_t resident_kib(pid_t pid);

}  // namespace solidmorph::test
