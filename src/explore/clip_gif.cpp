#include "explore/clip_gif.h"

#include <gif_lib.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace solidmorph {

namespace {

// Five bits a channel index the nearest-colour table.
constexpr int cell_bits = 5;
constexpr size_t cells = size_t(1) << (3 * cell_bits);

size_t cell_of(const uint8_t* rgb) {
    constexpr int drop = 8 - cell_bits;
    return (size_t(rgb[0] >> drop) << (2 * cell_bits)) | (size_t(rgb[1] >> drop) << cell_bits) |
           size_t(rgb[2] >> drop);
}

class GifClip final : public ClipEncoder {
public:
    GifClip(GrowingFile& out, int32_t width, int32_t height)
        : out_(out),
          width_(width),
          height_(height),
          row_(size_t(width)),
          nearest_(cells),
          buffer_(size_t(1) << 16) {}
    ~GifClip() override { close(); }
    GifClip(const GifClip&) = delete;
    GifClip& operator=(const GifClip&) = delete;

    bool start(std::string& error) {
        int code = 0;
        gif_ = EGifOpen(this, put_bytes, &code);
        if (gif_ == nullptr) return failed(code, error);
        EGifSetGifVersion(gif_, true);  // for the delays and the loop
        return true;
    }

    bool add_frame(const uint8_t* rgb, std::string& error) override {
        if (frames_ == 0 && !start_screen(rgb, error)) return false;
        ++frames_;
        const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, gif_frame_delay,
                                           NO_TRANSPARENT_COLOR};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) != GIF_OK ||
            EGifPutImageDesc(gif_, 0, 0, width_, height_, false, nullptr) != GIF_OK) {
            return failed(gif_->Error, error);
        }
        // The GIF's rows go from the top down.
        for (int32_t y = height_ - 1; y >= 0; --y) {
            const uint8_t* pixel = rgb + size_t(y) * size_t(width_) * 3;
            for (int32_t x = 0; x < width_; ++x, pixel += 3) {
                row_[size_t(x)] = nearest_[cell_of(pixel)];
            }
            if (EGifPutLine(gif_, row_.data(), width_) != GIF_OK) return failed(gif_->Error, error);
        }
        return true;
    }

    bool end(std::string& error) override {
        if (frames_ == 0) {
            error = "no frame was recorded";
            return false;
        }
        int code = 0;
        const bool closed = EGifCloseFile(gif_, &code) == GIF_OK;
        gif_ = nullptr;
        if (!closed) return failed(code, error);
        return flush(error);
    }

private:
    // The palette from the first frame, and each cell's nearest colour in it.
    bool start_screen(const uint8_t* rgb, std::string& error) {
        const size_t pixels = size_t(width_) * size_t(height_);
        std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            red[i] = rgb[i * 3];
            green[i] = rgb[i * 3 + 1];
            blue[i] = rgb[i * 3 + 2];
        }
        int colours = 256;
        GifColorType palette[256] = {};
        if (GifQuantizeBuffer(unsigned(width_), unsigned(height_), &colours, red.data(),
                              green.data(), blue.data(), indices.data(), palette) != GIF_OK) {
            error = "cannot choose the GIF's colours";
            return false;
        }
        for (size_t cell = 0; cell < cells; ++cell) {
            // The cell's middle colour.
            constexpr int drop = 8 - cell_bits;
            const int r = int(((cell >> (2 * cell_bits)) << drop) | (1 << (drop - 1)));
            const int g = int((((cell >> cell_bits) & 31) << drop) | (1 << (drop - 1)));
            const int b = int(((cell & 31) << drop) | (1 << (drop - 1)));
            int best = 0, best_distance = std::numeric_limits<int>::max();
            for (int i = 0; i < colours; ++i) {
                const int dr = r - palette[i].Red, dg = g - palette[i].Green,
                          db = b - palette[i].Blue;
                const int distance = dr * dr + dg * dg + db * db;
                if (distance < best_distance) {
                    best_distance = distance;
                    best = i;
                }
            }
            nearest_[cell] = GifByteType(best);
        }
        ColorMapObject* map = GifMakeMapObject(256, palette);
        if (map == nullptr) return failed(E_GIF_ERR_NOT_ENOUGH_MEM, error);
        const bool screen = EGifPutScreenDesc(gif_, width_, height_, 8, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        if (!screen) return failed(gif_->Error, error);
        // The NETSCAPE2.0 block: repeat for ever.
        const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
        const GifByteType loop[] = {1, 0, 0};
        if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
            EGifPutExtensionBlock(gif_, sizeof application, application) != GIF_OK ||
            EGifPutExtensionBlock(gif_, sizeof loop, loop) != GIF_OK ||
            EGifPutExtensionTrailer(gif_) != GIF_OK) {
            return failed(gif_->Error, error);
        }
        return true;
    }

    // giflib hands its bytes over a few at a time; they reach the file in
    // large writes.
    static int put_bytes(GifFileType* gif, const GifByteType* bytes, int size) {
        GifClip& clip = *static_cast<GifClip*>(gif->UserData);
        if (clip.write_errno != 0) return 0;
        size_t left = size_t(size);
        while (left > 0) {
            const size_t room = clip.buffer_.size() - clip.held_;
            const size_t take = left < room ? left : room;
            std::memcpy(clip.buffer_.data() + clip.held_, bytes, take);
            clip.held_ += take;
            bytes += take;
            left -= take;
            if (clip.held_ == clip.buffer_.size()) {
                std::string ignored;
                if (!clip.flush(ignored)) return 0;
            }
        }
        return size;
    }

    bool flush(std::string& error) {
        if (write_errno == 0 && held_ > 0 && !out_.write(buffer_.data(), held_)) {
            write_errno = errno != 0 ? errno : EIO;
        }
        held_ = 0;
        if (write_errno != 0) error = std::strerror(write_errno);
        return write_errno == 0;
    }

    bool failed(int code, std::string& error) {
        const char* reason = GifErrorString(code);
        error = write_errno != 0    ? std::strerror(write_errno)
                : reason != nullptr ? reason
                                    : "giflib failed";
        return false;
    }

    void close() {
        if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
        gif_ = nullptr;
    }

    GrowingFile& out_;
    int32_t width_, height_;
    GifFileType* gif_ = nullptr;
    uint64_t frames_ = 0;
    std::vector<GifByteType> row_;
    std::vector<GifByteType> nearest_;  // by cell_of
    std::vector<uint8_t> buffer_;
    size_t held_ = 0;
    int write_errno = 0;
};

}  // namespace

std::unique_ptr<ClipEncoder> start_gif_clip(GrowingFile& out, int32_t width, int32_t height,
                                            std::string& error) {
    auto clip = std::make_unique<GifClip>(out, width, height);
    if (!clip->start(error)) return nullptr;
    return clip;
}

}  // namespace solidmorph
