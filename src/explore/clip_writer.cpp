#include "explore/clip_writer.h"

#include <algorithm>
#include <cctype>

#include "explore/clip_gif.h"
#include "explore/clip_mp4.h"

namespace solidmorph {

bool clip_format_for_path(std::string_view path, ClipFormat& format) {
    const auto ends_with = [&](std::string_view ending) {
        return path.size() > ending.size() &&
               std::equal(ending.rbegin(), ending.rend(), path.rbegin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    if (ends_with(".gif")) {
        format = ClipFormat::gif;
    } else if (ends_with(".mp4")) {
        format = ClipFormat::mp4;
    } else {
        return false;
    }
    return true;
}

void clip_frame_size(ClipFormat format, int32_t& width, int32_t& height) {
    if (format != ClipFormat::mp4) return;
    width -= width % 2;
    height -= height % 2;
}

bool ClipWriter::open(const std::string& path, ClipFormat format, int32_t width, int32_t height,
                      std::string& error) {
    cancel();
    if (width < 2 || height < 2) {
        error = "the window has no picture to record";
        return false;
    }
    if (!file_.open(path, error)) return false;
    encoder_ = format == ClipFormat::gif ? start_gif_clip(file_, width, height, error)
                                         : start_mp4_clip(file_, width, height, clip_rate, error);
    if (encoder_ == nullptr) {
        error = "cannot record " + path + ": " + error;
        file_.drop();
        return false;
    }
    return true;
}

bool ClipWriter::add_frame(const uint8_t* rgb, std::string& error) {
    if (encoder_ != nullptr && encoder_->add_frame(rgb, error)) return true;
    cancel();
    return false;
}

bool ClipWriter::finish(std::string& error) {
    const bool ended = encoder_ != nullptr && encoder_->end(error);
    encoder_.reset();
    if (!ended) {
        file_.drop();
        return false;
    }
    return file_.finish(error);
}

void ClipWriter::cancel() {
    encoder_.reset();
    file_.drop();
}

}  // namespace solidmorph
