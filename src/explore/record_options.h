#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shapes/export_options.h"

// The explorer's own option beside the shape options it shares with the
// exporter: --record FILE, and what the shared --frames means with it.
namespace solidmorph {

struct RecordOptions {
    std::string record;  // empty: no --record
    uint64_t first = 0, last = 0;
};

// Takes --record (also as --record=FILE) out of `args`, leaving the rest for
// parse_shape_options; the value of an option that takes one is never
// mistaken for it. False, with a message, on a clip name without .gif or
// .mp4.
bool take_record_options(std::vector<std::string>& args, RecordOptions& out, std::string& error);

// Once the shape options are read too: the studio writes no animation;
// --frames needs --record and does not go with --frame; without --frames
// the clip is one morph and its rest from --frame's frame (else 0), up to
// the last frame there is.
bool finish_record_options(RecordOptions& out, const ExportOptions& options,
                           const ShapeOptionsSeen& seen, std::string& error);

}  // namespace solidmorph
