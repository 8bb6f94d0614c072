#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "morph/morph_scheduler.h"
#include "platform/file_output.h"

// A clip of what the studio shows, frame by frame into a file: the format
// from the name, the encoder from its own file (clip_gif, clip_mp4), the
// file put in place only once the last frame is in.
namespace solidmorph {

enum class ClipFormat { gif, mp4 };

// The format a clip's name asks for: .gif or .mp4, any letter case.
bool clip_format_for_path(std::string_view path, ClipFormat& format);

// The program's pace, which a clip keeps; and a clip's length unless asked
// otherwise: one morph and its rest.
inline constexpr int32_t clip_rate = 60;
inline constexpr uint64_t default_clip_frames = 2 * uint64_t(morph_frames);

// The frame a format takes of a picture `width` x `height`: H.264's
// half-size colour needs even sides, so an MP4 leaves out an odd picture's
// last column on the right and its top row; a GIF takes the picture whole.
void clip_frame_size(ClipFormat format, int32_t& width, int32_t& height);

// One format's encoder: frames in, its bytes out into the file it was
// started on.
class ClipEncoder {
public:
    virtual ~ClipEncoder() = default;
    // `rgb`: width x height pixels of three bytes, rows from the bottom up
    // as the GL reads them back, no padding.
    virtual bool add_frame(const uint8_t* rgb, std::string& error) = 0;
    // Everything still held written out, the file's end included.
    virtual bool end(std::string& error) = 0;
};

// A clip being written. Frames go in as the GL reads them back (see
// ClipEncoder::add_frame) at the size clip_frame_size gives; nothing
// appears under the clip's name until finish, and cancel (or the
// destructor) leaves nothing behind.
class ClipWriter {
public:
    bool open(const std::string& path, ClipFormat format, int32_t width, int32_t height,
              std::string& error);
    bool is_open() const { return encoder_ != nullptr; }
    bool add_frame(const uint8_t* rgb, std::string& error);
    bool finish(std::string& error);
    void cancel();

private:
    GrowingFile file_;
    std::unique_ptr<ClipEncoder> encoder_;
};

}  // namespace solidmorph
