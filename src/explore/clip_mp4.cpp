#include "explore/clip_mp4.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cerrno>

namespace solidmorph {

namespace {

std::string av_words(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

class Mp4Clip final : public ClipEncoder {
public:
    Mp4Clip(GrowingFile& out, int32_t width, int32_t height, int32_t rate)
        : out_(out), width_(width), height_(height), rate_(rate) {}
    ~Mp4Clip() override { close(); }
    Mp4Clip(const Mp4Clip&) = delete;
    Mp4Clip& operator=(const Mp4Clip&) = delete;

    bool start(std::string& error) {
        // Its reasons reach the user in our one line; its chatter would not
        // help them.
        av_log_set_level(AV_LOG_QUIET);
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (codec == nullptr) {
            error = "this libavcodec has no libx264 to write H.264 with";
            return false;
        }
        int code = avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr);
        if (code < 0) return failed(code, error);
        stream_ = avformat_new_stream(format_, nullptr);
        codec_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (stream_ == nullptr || codec_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
            return failed(AVERROR(ENOMEM), error);
        }
        codec_->width = width_;
        codec_->height = height_;
        codec_->time_base = AVRational{1, rate_};
        codec_->framerate = AVRational{rate_, 1};
        codec_->pix_fmt = AV_PIX_FMT_YUV420P;
        codec_->gop_size = rate_;
        codec_->color_range = AVCOL_RANGE_MPEG;
        codec_->colorspace = AVCOL_SPC_SMPTE170M;
        if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        av_opt_set(codec_->priv_data, "preset", "fast", 0);
        av_opt_set(codec_->priv_data, "crf", "18", 0);
        if ((code = avcodec_open2(codec_, codec, nullptr)) < 0 ||
            (code = avcodec_parameters_from_context(stream_->codecpar, codec_)) < 0) {
            return failed(code, error);
        }
        stream_->time_base = codec_->time_base;
        stream_->avg_frame_rate = codec_->framerate;

        // The muxer writes through our file: it goes back to fill in sizes.
        constexpr int io_bytes = 1 << 16;
        auto* io_buffer = static_cast<unsigned char*>(av_malloc(io_bytes));
        if (io_buffer == nullptr) return failed(AVERROR(ENOMEM), error);
        io_ = avio_alloc_context(io_buffer, io_bytes, 1, this, nullptr, put_bytes, seek_bytes);
        if (io_ == nullptr) {
            av_free(io_buffer);
            return failed(AVERROR(ENOMEM), error);
        }
        format_->pb = io_;
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
        if ((code = avformat_write_header(format_, nullptr)) < 0) return failed(code, error);

        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = width_;
        frame_->height = height_;
        frame_->color_range = AVCOL_RANGE_MPEG;
        frame_->colorspace = AVCOL_SPC_SMPTE170M;
        if ((code = av_frame_get_buffer(frame_, 0)) < 0) return failed(code, error);
        scaler_ =
            sws_getContext(width_, height_, AV_PIX_FMT_RGB24, width_, height_, AV_PIX_FMT_YUV420P,
                           SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (scaler_ == nullptr) {
            error = "libswscale cannot convert the picture's colours";
            return false;
        }
        return true;
    }

    bool add_frame(const uint8_t* rgb, std::string& error) override {
        int code = av_frame_make_writable(frame_);
        if (code < 0) return failed(code, error);
        // Read from the top row down: the GL's last row is the picture's top.
        const int row = width_ * 3;
        const uint8_t* const source[1] = {rgb + size_t(height_ - 1) * size_t(row)};
        const int stride[1] = {-row};
        sws_scale(scaler_, source, stride, 0, height_, frame_->data, frame_->linesize);
        frame_->pts = next_pts_++;
        if ((code = avcodec_send_frame(codec_, frame_)) < 0) return failed(code, error);
        return drain(error);
    }

    bool end(std::string& error) override {
        int code = avcodec_send_frame(codec_, nullptr);
        if (code < 0 || !drain(error)) return code < 0 ? failed(code, error) : false;
        if ((code = av_write_trailer(format_)) < 0) return failed(code, error);
        avio_flush(io_);
        if (io_->error < 0) return failed(io_->error, error);
        return true;
    }

private:
    // Every packet the encoder has ready, into the file.
    bool drain(std::string& error) {
        for (;;) {
            int code = avcodec_receive_packet(codec_, packet_);
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
            if (code < 0) return failed(code, error);
            av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if ((code = av_interleaved_write_frame(format_, packet_)) < 0) {
                return failed(code, error);
            }
        }
    }

    static int put_bytes(void* opaque, uint8_t* bytes, int size) {
        Mp4Clip& clip = *static_cast<Mp4Clip*>(opaque);
        if (!clip.out_.write(bytes, size_t(size))) return AVERROR(errno != 0 ? errno : EIO);
        return size;
    }

    static int64_t seek_bytes(void* opaque, int64_t offset, int whence) {
        GrowingFile& out = static_cast<Mp4Clip*>(opaque)->out_;
        if ((whence & AVSEEK_SIZE) != 0) {
            const int64_t here = out.seek(0, SEEK_CUR);
            const int64_t size = out.seek(0, SEEK_END);
            out.seek(here, SEEK_SET);
            return size;
        }
        const int64_t at = out.seek(offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : at;
    }

    bool failed(int code, std::string& error) {
        error = av_words(code);
        return false;
    }

    void close() {
        sws_freeContext(scaler_);
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&codec_);
        if (io_ != nullptr) av_freep(&io_->buffer);
        avio_context_free(&io_);
        avformat_free_context(format_);
        format_ = nullptr;
    }

    GrowingFile& out_;
    int32_t width_, height_, rate_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVIOContext* io_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int64_t next_pts_ = 0;
};

}  // namespace

std::unique_ptr<ClipEncoder> start_mp4_clip(GrowingFile& out, int32_t width, int32_t height,
                                            int32_t rate, std::string& error) {
    if (width % 2 != 0 || height % 2 != 0) {
        error = "H.264 takes even sides only";
        return nullptr;
    }
    auto clip = std::make_unique<Mp4Clip>(out, width, height, rate);
    if (!clip->start(error)) return nullptr;
    return clip;
}

}  // namespace solidmorph
