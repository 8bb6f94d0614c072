#pragma once

#include <stdint.h>

// What the frame probe records, laid out in the file it shares with a test.
// The probe is C, so the record is plain C as well.
struct ProbeCounts {
    uint64_t swaps;                 // glfwSwapBuffers calls completed
    uint64_t textures_deleted;      // texture names passed to glDeleteTextures
    uint64_t terminates;            // glfwTerminate calls
    uint64_t deleted_at_terminate;  // textures_deleted as the last terminate began
};
