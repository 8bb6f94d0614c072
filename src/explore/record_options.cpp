#include "explore/record_options.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "explore/clip_writer.h"

namespace solidmorph {

namespace {

// The shared options that take a value in the next word.
constexpr std::array<std::string_view, 11> valued = {
    "-o",        "--output",    "--preset", "--frame", "--shape", "--size",
    "--texture", "--flat-base", "--detail", "--kept",  "--frames"};

// "--name VALUE" or "--name=VALUE" at `at`: true, with the value, and `at`
// past it; `missing` when the value is not there.
bool take(const std::vector<std::string>& args, size_t& at, std::string_view name,
          std::string& value, bool& missing) {
    const std::string_view word = args[at];
    if (word == name) {
        missing = at + 1 >= args.size();
        if (!missing) value = args[at + 1];
        at += missing ? 1 : 2;
        return true;
    }
    if (word.size() > name.size() && word.substr(0, name.size()) == name &&
        word[name.size()] == '=') {
        value = std::string(word.substr(name.size() + 1));
        ++at;
        return true;
    }
    return false;
}

}  // namespace

bool take_record_options(std::vector<std::string>& args, RecordOptions& out, std::string& error) {
    std::vector<std::string> rest;
    bool recorded = false;
    for (size_t at = 0; at < args.size();) {
        std::string value;
        bool missing = false;
        if (take(args, at, "--record", value, missing)) {
            ClipFormat format = ClipFormat::mp4;
            if (missing || recorded || !clip_format_for_path(value, format)) {
                error = missing    ? "option '--record' needs a value"
                        : recorded ? "more than one clip given"
                                   : "cannot tell the format of '" + value +
                                         "': the clip's name must end in .gif or .mp4";
                return false;
            }
            recorded = true;
            out.record = value;
        } else {
            const bool has_value =
                std::find(valued.begin(), valued.end(), args[at]) != valued.end() &&
                at + 1 < args.size();
            rest.push_back(args[at++]);
            if (has_value) rest.push_back(args[at++]);
        }
    }
    args = std::move(rest);
    return true;
}

bool finish_record_options(RecordOptions& out, const ExportOptions& options,
                           const ShapeOptionsSeen& seen, std::string& error) {
    const bool frame_given =
        seen.shape && options.kept_name.empty() && options.source == ShapeSource::frame;
    if (options.animation) {
        error =
            "--animation is solidmorph-export's: the studio exports one shape at a time, and "
            "records clips with --record";
        return false;
    }
    if (seen.frames && out.record.empty()) {
        error = "--frames goes with --record: it says which frames the clip holds";
        return false;
    }
    if (seen.frames && frame_given) {
        error = "give only one of --frame and --frames";
        return false;
    }
    if (out.record.empty()) return true;
    if (seen.frames) {
        out.first = options.first_frame;
        out.last = options.last_frame;
        return true;
    }
    constexpr uint64_t last_frame = std::numeric_limits<uint64_t>::max();
    out.first = seen.shape && options.source == ShapeSource::frame ? options.frame : 0;
    out.last = out.first + std::min(default_clip_frames, last_frame - out.first);
    if (out.last == out.first) {
        error = "--frame 18446744073709551615 leaves no frame to record";
        return false;
    }
    return true;
}

}  // namespace solidmorph
