#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "explore/clip_writer.h"
#include "platform/file_output.h"

namespace solidmorph {

// An animated GIF through giflib, looping for ever. GIF counts its delays
// in hundredths of a second, so 60 frames a second cannot be had: every
// frame is kept and shown for 2/100 s, 50 frames a second, a sixth slower
// than the program. (Delays of 1/100 s alternating with 2/100 s would make
// 60 on average, but browsers and most viewers take any delay under 2/100 s
// as 1/10 s, and dropping every sixth frame would break frame for frame.)
// One palette of 256 colours for the whole clip, chosen from its first
// frame by giflib's median cut; every frame's pixels take its nearest
// colour, through a table made once, so that a frame allocates nothing.
// Null, with a reason, when the encoder cannot start.
std::unique_ptr<ClipEncoder> start_gif_clip(GrowingFile& out, int32_t width, int32_t height,
                                            std::string& error);

// The delay of every frame, in hundredths of a second.
inline constexpr int gif_frame_delay = 2;

}  // namespace solidmorph
