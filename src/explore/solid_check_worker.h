#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "export/export_job.h"
#include "export/export_surface.h"
#include "geometry/geometry_types.h"

namespace solidmorph {

// The exporter's solid check, run off the frame path. The frame hands over
// a copy of the positions it drew; a thread of its own checks the newest
// copy it has and hands back one line of text. Nothing it touches is read
// by the frame, and the frame never waits for it: a newer shape replaces
// one not yet taken, and a result for an older one is never shown.

// Starts the thread, with room for `vertex_count` positions and the
// triangle list to check them over.
void start_check_worker(size_t vertex_count, const std::vector<TriangleCorners>& triangles);

// Hands over the positions of the shape on screen, to be checked at `size`
// millimetres (0: generator units) and cut flat as --flat-base asks (0: not
// cut), as an .stl export would write it. Copies into room made at the start.
// At any detail but the drawn grid's the worker makes the grid itself from
// the shape's two sets, as an export at that detail would.
void request_check(const std::vector<Vec3>& positions, const ChosenShape& sets, int32_t detail,
                   double size, double flat_base = 0.0, bool flat_base_percent = false);

// The line for the shape last handed over, into `line` (of `capacity`
// bytes); false, leaving it alone, while that check has not finished.
bool take_check_line(char* line, size_t capacity);

// Ends the thread (waits for a check under way).
void stop_check_worker();

}  // namespace solidmorph
