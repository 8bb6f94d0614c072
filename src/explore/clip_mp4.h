#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "explore/clip_writer.h"
#include "platform/file_output.h"

namespace solidmorph {

// An MP4 of H.264 through libavformat and libavcodec's libx264, at `rate`
// frames a second, every frame kept: 4:2:0 colour (even sides only, see
// clip_frame_size) in BT.601's limited range, as libswscale converts it and
// every player reads it; libx264's "fast" preset at a constant quality of
// 18, which few eyes tell from the picture, and a key frame every second
// for seeking. Null, with a reason, when the encoder cannot start.
std::unique_ptr<ClipEncoder> start_mp4_clip(GrowingFile& out, int32_t width, int32_t height,
                                            int32_t rate, std::string& error);

}  // namespace solidmorph
