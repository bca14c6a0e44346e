#include "compressed/picture_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace rw::av {

namespace {

struct VideoCodec {
    const char* encoder;
    const char* label;
    AVPixelFormat pixels;
    int maxSide;  // the largest width or height the codec takes
};

const VideoCodec& VideoCodecOf(CompressedFormat format) {
    static const VideoCodec kCodecs[] = {
        {"libx264", "H.264", AV_PIX_FMT_YUV420P, 8192},
        {"libvpx-vp9", "VP9", AV_PIX_FMT_YUV420P, 8192},
        {"ffv1", "FFV1", AV_PIX_FMT_BGR0, 8192},
        {"mpeg1video", "MPEG-1 video", AV_PIX_FMT_YUV420P, 4094},
    };
    return kCodecs[static_cast<int>(format)];
}

// MPEG-1 knows only a few picture rates: the first of them that is a whole multiple of the
// video's rate, or else the first above it.
int MpegRate(int64_t num, int64_t den) {
    static const int kRates[] = {24, 25, 30, 50, 60};
    for (int rate : kRates) {
        if (rate * den % num == 0) return rate;
    }
    for (int rate : kRates) {
        if (rate * den >= num) return rate;
    }
    return 60;
}

// The encoder's threads for the processors the run was given. Left to choose, x264 runs one and a
// half threads a processor of the machine (its frame threads wait on each other); the same rule
// applies here to the run's share, so a run neither starves its frame threads nor grows with the
// machine.
int EncoderThreads(CompressedFormat format, int processors) {
    return format == CompressedFormat::Mp4 ? std::max(1, processors * 3 / 2) : processors;
}

// The encoder's own options and the fields that carry the quality knob.
std::string Tune(AVCodecContext* c, const CompressedSettings& settings, int keyInterval) {
    const std::string q = std::to_string(settings.quality);
    switch (settings.format) {
        case CompressedFormat::Mp4:
            c->gop_size = keyInterval;
            return "preset=medium:crf=" + q;
        case CompressedFormat::WebM:
            c->gop_size = keyInterval;
            c->bit_rate = 0;
            return "crf=" + q + ":deadline=good:cpu-used=2:row-mt=1";
        case CompressedFormat::Mkv:
            c->gop_size = keyInterval;
            return "level=3:coder=range_def:context=1:slicecrc=1";
        case CompressedFormat::Mpg:
            c->gop_size = 15;
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * settings.quality;
            return "";
    }
    return "";
}

void TagColours(AVCodecContext* c) {
    if (c->pix_fmt == AV_PIX_FMT_BGR0) {
        c->colorspace = AVCOL_SPC_RGB;
        c->color_range = AVCOL_RANGE_JPEG;
        return;
    }
    c->colorspace = AVCOL_SPC_SMPTE170M;
    c->color_primaries = AVCOL_PRI_SMPTE170M;
    c->color_trc = AVCOL_TRC_SMPTE170M;
    c->color_range = AVCOL_RANGE_MPEG;
}

}  // namespace

PictureEncoder::PictureEncoder(Muxer& muxer, const StreamShape& shape, int scale)
    : m_muxer(muxer), m_width(shape.width), m_height(shape.height), m_scale(scale) {}

Expected<std::unique_ptr<PictureEncoder>> PictureEncoder::Open(Muxer& muxer,
                                                               const StreamShape& shape,
                                                               const CompressedSettings& settings) {
    auto encoder = std::make_unique<PictureEncoder>(muxer, shape, settings.scale);
    const VideoCodec& codec = VideoCodecOf(settings.format);
    // 4:2:0 pictures have even sides: an odd last row or column is repeated.
    const int even = codec.pixels == AV_PIX_FMT_YUV420P ? 1 : 0;
    encoder->m_outWidth = (shape.width * settings.scale + even) & ~even;
    encoder->m_outHeight = (shape.height * settings.scale + even) & ~even;
    if (encoder->m_outWidth > codec.maxSide || encoder->m_outHeight > codec.maxSide) {
        return Error{"cannot write \"" + muxer.Name() + "\": " + codec.label +
                     " pictures cannot be larger than " + std::to_string(codec.maxSide) +
                     " pixels a side (these would be " + std::to_string(encoder->m_outWidth) +
                     " x " + std::to_string(encoder->m_outHeight) + ")"};
    }
    encoder->m_frameRate = AVRational{shape.fpsNum, shape.fpsDen};
    if (settings.format == CompressedFormat::Mpg) {
        const int rate = MpegRate(shape.fpsNum, shape.fpsDen);
        encoder->m_frameRate = AVRational{rate, 1};
        encoder->m_framesPer = int64_t{rate} * shape.fpsDen;
        encoder->m_picturesPer = shape.fpsNum;
    }
    if (auto r = encoder->Start(settings); !r) return r.error();
    if (auto r = encoder->StartConversion(); !r) return r.error();
    return encoder;
}

Expected<const AVCodec*> PictureEncoder::Encoder(CompressedFormat format) {
    const VideoCodec& vc = VideoCodecOf(format);
    return FindEncoder(vc.encoder, vc.label);
}

Expected<void> PictureEncoder::Start(const CompressedSettings& settings) {
    const VideoCodec& vc = VideoCodecOf(settings.format);
    auto codec = Encoder(settings.format);
    if (!codec) return codec.error();
    auto stream = m_muxer.AddStream();
    if (!stream) return stream.error();
    m_stream = *stream;
    m_codec.reset(avcodec_alloc_context3(*codec));
    if (!m_codec) return Error{"cannot write \"" + m_muxer.Name() + "\": out of memory"};
    AVCodecContext* c = m_codec.get();
    c->width = m_outWidth;
    c->height = m_outHeight;
    c->pix_fmt = vc.pixels;
    // The encoder's clock ticks once a frame.
    c->framerate = m_frameRate;
    c->time_base = av_inv_q(m_frameRate);
    c->sample_aspect_ratio = settings.squarePixels ? AVRational{1, 1} : AVRational{5, 6};
    c->thread_count = EncoderThreads(settings.format, settings.threads);
    if (m_muxer.WantsGlobalHeader()) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    TagColours(c);
    const int seconds5 = std::max(1, int(5 * c->framerate.num / std::max(1, c->framerate.den)));
    const std::string options = Tune(c, settings, seconds5);
    if (auto r = OpenEncoder(c, options, m_muxer.Name()); !r) return r;
    const int r = avcodec_parameters_from_context(m_stream->codecpar, c);
    if (r < 0) return Failure(m_muxer.Name(), "cannot describe the pictures", r);
    m_stream->time_base = c->time_base;
    m_stream->avg_frame_rate = c->framerate;
    m_stream->sample_aspect_ratio = c->sample_aspect_ratio;
    return {};
}

Expected<void> PictureEncoder::StartConversion() {
    const AVPixelFormat pixels = m_codec->pix_fmt;
    m_conversion =
        PictureConversion::Make(m_width, m_height, m_scale, m_outWidth, m_outHeight, pixels);
    m_frame.reset(av_frame_alloc());
    const std::string oom = "cannot write \"" + m_muxer.Name() + "\": out of memory";
    if (!m_conversion || !m_frame) return Error{oom};
    m_frame->format = pixels;
    m_frame->width = m_outWidth;
    m_frame->height = m_outHeight;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0) return Error{oom};
    return {};
}

Expected<void> PictureEncoder::Picture(std::span<const uint8_t> bgrBottomUp) {
    const size_t expected = size_t(m_width) * size_t(m_height) * 3;
    if (bgrBottomUp.size() != expected) {
        return Error{"cannot write \"" + m_muxer.Name() + "\": a picture of " +
                     std::to_string(bgrBottomUp.size()) + " bytes is not " +
                     std::to_string(m_width) + " x " + std::to_string(m_height) + " x 3"};
    }
    const int r = av_frame_make_writable(m_frame.get());
    if (r < 0) return Failure(m_muxer.Name(), "cannot convert a picture", r);
    if (!m_conversion->Convert(bgrBottomUp, *m_frame)) {
        return Failure(m_muxer.Name(), "cannot convert a picture", AVERROR(EINVAL));
    }
    ++m_pictures;
    for (const int64_t due = m_pictures * m_framesPer / m_picturesPer; m_frames < due; ++m_frames) {
        m_frame->pts = m_frames;
        m_frame->quality = m_codec->global_quality;  // the fixed quantiser, where one is set
        if (auto e = m_muxer.Encode(m_codec.get(), m_stream, m_frame.get()); !e) return e;
    }
    return {};
}

Expected<void> PictureEncoder::Finish() {
    return m_muxer.Encode(m_codec.get(), m_stream, nullptr);
}

}  // namespace rw::av
