#include "still_image.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int rgbBytesPerPixel = 3;

std::string describe(const char* step, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    return std::string(step) + ": " + reason;
}

struct CodecDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

bool writePngImage(const std::string& path, int width, int height, const uint8_t* bottomUpPixels,
                   std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) {
        error = "this FFmpeg has no PNG encoder";
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_RGB24;
    context->time_base = AVRational{1, 1};
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    int result = avcodec_open2(context.get(), codec, nullptr);
    if (result < 0) {
        error = describe("opening the PNG encoder", result);
        return false;
    }
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = width;
    frame->height = height;
    result = av_frame_get_buffer(frame.get(), 0);
    if (result < 0) {
        error = describe("allocating the image", result);
        return false;
    }
    // Top row first, and B, G, R, x to R, G, B.
    const int sourceRowBytes = width * 4;
    for (int row = 0; row < height; ++row) {
        const uint8_t* source = bottomUpPixels + static_cast<ptrdiff_t>(height - 1 - row) * sourceRowBytes;
        uint8_t* target = frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0];
        for (int column = 0; column < width; ++column) {
            target[rgbBytesPerPixel * column + 0] = source[4 * column + 2];
            target[rgbBytesPerPixel * column + 1] = source[4 * column + 1];
            target[rgbBytesPerPixel * column + 2] = source[4 * column + 0];
        }
    }
    frame->pts = 0;
    result = avcodec_send_frame(context.get(), frame.get());
    if (result >= 0) {
        result = avcodec_receive_packet(context.get(), packet.get());
    }
    if (result < 0) {
        error = describe("encoding the PNG image", result);
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), file) ==
                         static_cast<size_t>(packet->size);
    if (std::fclose(file) != 0 || !written) {
        error = "writing " + path + " failed";
        return false;
    }
    return true;
}
