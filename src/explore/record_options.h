#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shapes/export_options.h"

// The explorer's own options beside the shape options it shares with the
// exporter: --record FILE and --frames FIRST:LAST.
namespace solidmorph {

struct RecordOptions {
    std::string record;  // empty: no --record
    bool frames_given = false;
    uint64_t first = 0, last = 0;
};

// Takes --record and --frames (also as --record=FILE, --frames=F:L) out of
// `args`, leaving the rest for parse_shape_options; the value of an option
// that takes one is never mistaken for either. False, with a message, on a
// clip name without .gif or .mp4 or a malformed span.
bool take_record_options(std::vector<std::string>& args, RecordOptions& out, std::string& error);

// Once the shape options are read too: --frames needs --record and does not
// go with --frame; without --frames the clip is one morph and its rest from
// --frame's frame (else 0), up to the last frame there is.
bool finish_record_options(RecordOptions& out, const ExportOptions& options,
                           const ShapeOptionsSeen& seen, std::string& error);

}  // namespace solidmorph
