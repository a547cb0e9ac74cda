#include "video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "mixer.h"

using namespace intro_music::engine;

namespace {

constexpr int soundRate = mixRate;
constexpr int soundChannels = outputChannelCount;
constexpr int64_t aacBitsPerSecond = 192000;
// Crisp enough that the white glyph edges on the dim backdrop stay clean.
constexpr char h264Quality[] = "17";
constexpr char h264Preset[] = "medium";
// Fixed, so the lossless bytes do not depend on the machine's core count.
constexpr int ffv1Slices = 4;
constexpr int ffv1Level = 3;
// Samples per FLAC frame when the encoder leaves the choice to us.
constexpr int fallbackSoundFrameSize = 4096;
constexpr float pcmScale = 1.0f / 32768.0f;

std::string describe(const char* step, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    return std::string(step) + ": " + reason;
}

struct FormatDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

}  // namespace

struct VideoWriter::Encoding {
    VideoFormat format{};
    std::string error;
    std::unique_ptr<AVFormatContext, FormatDeleter> container;
    std::unique_ptr<AVCodecContext, CodecDeleter> pictureCodec;
    std::unique_ptr<AVCodecContext, CodecDeleter> soundCodec;
    AVStream* pictureStream = nullptr;
    AVStream* soundStream = nullptr;
    // Allocated once; refilled for every picture and every sound frame.
    std::unique_ptr<AVFrame, FrameDeleter> picture;
    std::unique_ptr<AVFrame, FrameDeleter> sound;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    std::unique_ptr<SwsContext, ScalerDeleter> toYuv;  // the MP4's colour conversion
    int64_t pictureCount = 0;
    int64_t soundFramesSent = 0;
    int soundFramesPending = 0;  // already in `sound`, not yet encoded
    bool headerWritten = false;
    bool finished = false;

    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    bool open(const std::string& path);
    bool openPicture();
    bool openSound();
    bool send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);
    bool sendSoundFrame();
};

bool VideoWriter::Encoding::openPicture() {
    const AVCodecID id = format.lossless ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_H264;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) {
        return fail(std::string("this FFmpeg has no ") + avcodec_get_name(id) + " encoder");
    }
    pictureCodec.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = pictureCodec.get();
    context->width = format.width;
    context->height = format.height;
    context->time_base = AVRational{1, format.framesPerSecond};
    context->framerate = AVRational{format.framesPerSecond, 1};
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (format.lossless) {
        context->pix_fmt = AV_PIX_FMT_BGR0;
        context->level = ffv1Level;
        context->slices = ffv1Slices;
        context->gop_size = 1;
        context->thread_type = FF_THREAD_SLICE;
        context->thread_count = 0;  // one per core; the slices stay fixed
        av_opt_set_int(context->priv_data, "slicecrc", 1, 0);
    } else {
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->color_range = AVCOL_RANGE_MPEG;
        context->colorspace = AVCOL_SPC_BT709;
        context->color_primaries = AVCOL_PRI_BT709;
        context->color_trc = AVCOL_TRC_BT709;
        av_opt_set(context->priv_data, "preset", h264Preset, 0);
        av_opt_set(context->priv_data, "crf", h264Quality, 0);
    }
    if ((container->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(context, codec, nullptr);
    if (result < 0) {
        return fail(describe("opening the picture encoder", result));
    }
    pictureStream = avformat_new_stream(container.get(), nullptr);
    if (pictureStream == nullptr) {
        return fail("out of memory");
    }
    pictureStream->time_base = context->time_base;
    pictureStream->avg_frame_rate = context->framerate;
    pictureStream->r_frame_rate = context->framerate;
    result = avcodec_parameters_from_context(pictureStream->codecpar, context);
    if (result < 0) {
        return fail(describe("describing the picture stream", result));
    }

    picture.reset(av_frame_alloc());
    if (!picture) {
        return fail("out of memory");
    }
    picture->format = context->pix_fmt;
    picture->width = format.width;
    picture->height = format.height;
    picture->color_range = context->color_range;
    picture->colorspace = context->colorspace;
    result = av_frame_get_buffer(picture.get(), 0);
    if (result < 0) {
        return fail(describe("allocating the picture", result));
    }
    if (!format.lossless) {
        toYuv.reset(sws_getContext(format.width, format.height, AV_PIX_FMT_BGR0, format.width, format.height,
                                   AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr,
                                   nullptr, nullptr));
        if (!toYuv) {
            return fail("no colour conversion to 4:2:0");
        }
        // Full-range RGB to video-range BT.709, as players expect of HD video.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        constexpr int unitBrightness = 0;
        constexpr int unitContrast = 1 << 16;
        constexpr int unitSaturation = 1 << 16;
        sws_setColorspaceDetails(toYuv.get(), bt709, 1, bt709, 0, unitBrightness, unitContrast, unitSaturation);
    }
    return true;
}

bool VideoWriter::Encoding::openSound() {
    const AVCodecID id = format.lossless ? AV_CODEC_ID_FLAC : AV_CODEC_ID_AAC;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) {
        return fail(std::string("this FFmpeg has no ") + avcodec_get_name(id) + " encoder");
    }
    soundCodec.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = soundCodec.get();
    context->sample_rate = soundRate;
    context->time_base = AVRational{1, soundRate};
    av_channel_layout_default(&context->ch_layout, soundChannels);
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (format.lossless) {
        context->sample_fmt = AV_SAMPLE_FMT_S16;
    } else {
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context->bit_rate = aacBitsPerSecond;
    }
    if ((container->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(context, codec, nullptr);
    if (result < 0) {
        return fail(describe("opening the sound encoder", result));
    }
    soundStream = avformat_new_stream(container.get(), nullptr);
    if (soundStream == nullptr) {
        return fail("out of memory");
    }
    soundStream->time_base = context->time_base;
    result = avcodec_parameters_from_context(soundStream->codecpar, context);
    if (result < 0) {
        return fail(describe("describing the sound stream", result));
    }
    sound.reset(av_frame_alloc());
    if (!sound) {
        return fail("out of memory");
    }
    sound->format = context->sample_fmt;
    sound->sample_rate = soundRate;
    sound->nb_samples = context->frame_size > 0 ? context->frame_size : fallbackSoundFrameSize;
    av_channel_layout_copy(&sound->ch_layout, &context->ch_layout);
    result = av_frame_get_buffer(sound.get(), 0);
    if (result < 0) {
        return fail(describe("allocating the sound frame", result));
    }
    return true;
}

bool VideoWriter::Encoding::open(const std::string& path) {
    // Failures come back as results and are reported by the caller; the
    // libraries' own notes would clutter the terminal.
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* context = nullptr;
    int result = avformat_alloc_output_context2(&context, nullptr, format.lossless ? "matroska" : "mp4", path.c_str());
    if (result < 0 || context == nullptr) {
        return fail(describe("preparing the container", result));
    }
    container.reset(context);
    // No random identifiers or version strings: the same capture, the same bytes.
    container->flags |= AVFMT_FLAG_BITEXACT;
    packet.reset(av_packet_alloc());
    if (!packet || !openPicture() || !openSound()) {
        return packet ? false : fail("out of memory");
    }
    result = avio_open(&container->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        return fail(describe(("cannot create " + path).c_str(), result));
    }
    AVDictionary* options = nullptr;
    if (!format.lossless) {
        // The index at the front, so players can start before the whole file is read.
        av_dict_set(&options, "movflags", "+faststart", 0);
    }
    result = avformat_write_header(container.get(), &options);
    av_dict_free(&options);
    if (result < 0) {
        return fail(describe("writing the file header", result));
    }
    headerWritten = true;
    return true;
}

// Sends one frame (or, with null, the end) and writes every packet it yields.
bool VideoWriter::Encoding::send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) {
        return fail(describe("encoding", result));
    }
    while (true) {
        result = avcodec_receive_packet(codec, packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return true;
        }
        if (result < 0) {
            return fail(describe("encoding", result));
        }
        if (stream == pictureStream) {
            packet->duration = 1;  // one frame at the constant frame rate
        }
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_interleaved_write_frame(container.get(), packet.get());
        if (result < 0) {
            return fail(describe("writing the file", result));
        }
    }
}

bool VideoWriter::Encoding::sendSoundFrame() {
    const int fullSize = sound->nb_samples;
    sound->nb_samples = soundFramesPending;
    sound->pts = soundFramesSent;
    const bool sent = send(soundCodec.get(), soundStream, sound.get());
    sound->nb_samples = fullSize;
    soundFramesSent += soundFramesPending;
    soundFramesPending = 0;
    return sent;
}

VideoWriter::VideoWriter(const std::string& path, const VideoFormat& format)
    : encoding_(std::make_unique<Encoding>()) {
    encoding_->format = format;
    encoding_->open(path);
}

VideoWriter::~VideoWriter() = default;
VideoWriter::VideoWriter(VideoWriter&&) noexcept = default;
VideoWriter& VideoWriter::operator=(VideoWriter&&) noexcept = default;

bool VideoWriter::ready() const { return encoding_ && encoding_->headerWritten && encoding_->error.empty(); }

const std::string& VideoWriter::error() const {
    static const std::string moved = "the writer was moved away";
    return encoding_ ? encoding_->error : moved;
}

bool VideoWriter::addPicture(const uint8_t* bottomUpPixels) {
    if (!ready() || encoding_->finished) {
        return false;
    }
    Encoding& encoding = *encoding_;
    AVFrame* frame = encoding.picture.get();
    // Normally a no-op: the encoders are done with the previous picture.
    const int result = av_frame_make_writable(frame);
    if (result < 0) {
        return encoding.fail(describe("reusing the picture", result));
    }
    const int rowBytes = encoding.format.width * 4;
    const uint8_t* topRow = bottomUpPixels + static_cast<ptrdiff_t>(encoding.format.height - 1) * rowBytes;
    if (encoding.toYuv) {
        // A negative stride walks the rows top to bottom.
        const uint8_t* const sourcePlanes[1] = {topRow};
        const int sourceStrides[1] = {-rowBytes};
        sws_scale(encoding.toYuv.get(), sourcePlanes, sourceStrides, 0, encoding.format.height, frame->data,
                  frame->linesize);
    } else {
        for (int row = 0; row < encoding.format.height; ++row) {
            std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0],
                        topRow - static_cast<ptrdiff_t>(row) * rowBytes, static_cast<size_t>(rowBytes));
        }
    }
    frame->pts = encoding.pictureCount++;
    return encoding.send(encoding.pictureCodec.get(), encoding.pictureStream, frame);
}

bool VideoWriter::addSound(const int16_t* interleaved, int64_t frameCount) {
    if (!ready() || encoding_->finished) {
        return false;
    }
    Encoding& encoding = *encoding_;
    AVFrame* frame = encoding.sound.get();
    while (frameCount > 0) {
        if (encoding.soundFramesPending == 0) {
            const int result = av_frame_make_writable(frame);
            if (result < 0) {
                return encoding.fail(describe("reusing the sound frame", result));
            }
        }
        const int start = encoding.soundFramesPending;
        const int count = static_cast<int>(std::min<int64_t>(frame->nb_samples - start, frameCount));
        if (encoding.format.lossless) {
            std::memcpy(frame->data[0] + static_cast<size_t>(start) * soundChannels * sizeof(int16_t), interleaved,
                        static_cast<size_t>(count) * soundChannels * sizeof(int16_t));
        } else {
            auto* left = reinterpret_cast<float*>(frame->data[0]) + start;
            auto* right = reinterpret_cast<float*>(frame->data[1]) + start;
            for (int index = 0; index < count; ++index) {
                left[index] = static_cast<float>(interleaved[2 * index]) * pcmScale;
                right[index] = static_cast<float>(interleaved[2 * index + 1]) * pcmScale;
            }
        }
        encoding.soundFramesPending += count;
        interleaved += static_cast<ptrdiff_t>(count) * soundChannels;
        frameCount -= count;
        if (encoding.soundFramesPending == frame->nb_samples && !encoding.sendSoundFrame()) {
            return false;
        }
    }
    return true;
}

bool VideoWriter::finish() {
    if (!ready() || encoding_->finished) {
        return false;
    }
    Encoding& encoding = *encoding_;
    encoding.finished = true;
    // The last, shorter sound frame, then the ends of both streams.
    if (encoding.soundFramesPending > 0 && !encoding.sendSoundFrame()) {
        return false;
    }
    if (!encoding.send(encoding.pictureCodec.get(), encoding.pictureStream, nullptr) ||
        !encoding.send(encoding.soundCodec.get(), encoding.soundStream, nullptr)) {
        return false;
    }
    int result = av_write_trailer(encoding.container.get());
    if (result < 0) {
        return encoding.fail(describe("completing the file", result));
    }
    result = avio_closep(&encoding.container->pb);
    if (result < 0) {
        return encoding.fail(describe("closing the file", result));
    }
    return true;
}
