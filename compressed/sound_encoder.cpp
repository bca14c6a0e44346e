#include "compressed/sound_encoder.h"

#include <soxr.h>

#include <algorithm>
#include <cstring>

namespace rw::av {

namespace {

struct AudioCodec {
    const char* encoder;
    const char* label;
    int64_t bitRatePerChannel;  // 0 for a lossless codec
    int onlyRate;               // the one rate to encode at, or 0
};

const AudioCodec& AudioCodecOf(CompressedFormat format) {
    static const AudioCodec kCodecs[] = {
        {"aac", "AAC", 64000, 0},
        {"libopus", "Opus", 48000, 48000},
        {"flac", "FLAC", 0, 0},
        {"mp2", "MP2", 64000, 0},
    };
    return kCodecs[static_cast<int>(format)];
}

// The video's own rate where the encoder takes it, else the next one up it takes (or its highest).
int EncoderRate(const AVCodec* codec, int rate) {
    const int* rates = codec->supported_samplerates;
    if (rates == nullptr) return rate;
    int above = 0, highest = 0;
    for (; *rates != 0; ++rates) {
        if (*rates == rate) return rate;
        highest = std::max(highest, *rates);
        if (*rates > rate && (above == 0 || *rates < above)) above = *rates;
    }
    return above != 0 ? above : highest;
}

// 16-bit samples where the encoder takes them, else its first format among those Fill knows.
AVSampleFormat EncoderSamples(const AVCodec* codec) {
    const AVSampleFormat* formats = codec->sample_fmts;
    if (formats == nullptr) return AV_SAMPLE_FMT_S16;
    for (AVSampleFormat wanted :
         {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_FLTP}) {
        for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == wanted) return wanted;
        }
    }
    return AV_SAMPLE_FMT_NONE;
}

}  // namespace

SoundEncoder::SoundEncoder(Muxer& muxer, const StreamShape& shape)
    : m_muxer(muxer), m_inRate(shape.soundRate), m_channels(shape.channels) {}

SoundEncoder::~SoundEncoder() {
    if (m_soxr != nullptr) soxr_delete(m_soxr);
}

Expected<const AVCodec*> SoundEncoder::Encoder(CompressedFormat format) {
    const AudioCodec& ac = AudioCodecOf(format);
    return FindEncoder(ac.encoder, ac.label);
}

Expected<std::unique_ptr<SoundEncoder>> SoundEncoder::Open(Muxer& muxer, const StreamShape& shape,
                                                           const CompressedSettings& settings) {
    const AudioCodec& ac = AudioCodecOf(settings.format);
    auto codec = Encoder(settings.format);
    if (!codec) return codec.error();
    auto encoder = std::make_unique<SoundEncoder>(muxer, shape);
    const int rate = ac.onlyRate != 0 ? ac.onlyRate : EncoderRate(*codec, shape.soundRate);
    if (auto r = encoder->Start(*codec, rate, ac.bitRatePerChannel * shape.channels); !r) {
        return r.error();
    }
    // Matroska records the encoder's delay (Opus's pre-skip) in its header instead of in the
    // packets' times: the first packet starts at 0, like the first picture.
    if (settings.format == CompressedFormat::WebM || settings.format == CompressedFormat::Mkv) {
        encoder->m_pts = encoder->m_codec->initial_padding;
    }
    if (rate != shape.soundRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        encoder->m_soxr = soxr_create(double(shape.soundRate), double(rate),
                                      unsigned(shape.channels), &error, &io, &quality, nullptr);
        if (error != nullptr) {
            encoder->m_soxr = nullptr;
            return Error{"cannot write \"" + muxer.Name() +
                         "\": the sound cannot be resampled to " + std::to_string(rate) +
                         " Hz: " + error};
        }
    }
    return encoder;
}

Expected<void> SoundEncoder::Start(const AVCodec* codec, int rate, int64_t bitRate) {
    auto stream = m_muxer.AddStream();
    if (!stream) return stream.error();
    m_stream = *stream;
    m_codec.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    const std::string oom = "cannot write \"" + m_muxer.Name() + "\": out of memory";
    if (!m_codec || !m_frame) return Error{oom};
    if (EncoderSamples(codec) == AV_SAMPLE_FMT_NONE) {
        return Error{"cannot write \"" + m_muxer.Name() + "\": the " + codec->name +
                     " encoder takes no sample format this program writes"};
    }
    AVCodecContext* c = m_codec.get();
    c->sample_rate = rate;
    c->time_base = AVRational{1, rate};
    c->sample_fmt = EncoderSamples(codec);
    c->bit_rate = bitRate;
    c->thread_count = 1;
    av_channel_layout_default(&c->ch_layout, m_channels);
    if (m_muxer.WantsGlobalHeader()) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (auto r = OpenEncoder(c, "", m_muxer.Name()); !r) return r;
    int r = avcodec_parameters_from_context(m_stream->codecpar, c);
    if (r < 0) return Failure(m_muxer.Name(), "cannot describe the sound", r);
    m_stream->time_base = c->time_base;
    m_frameSize = c->frame_size > 0 ? c->frame_size : 4096;
    m_frame->format = c->sample_fmt;
    m_frame->sample_rate = rate;
    m_frame->nb_samples = m_frameSize;
    r = av_channel_layout_copy(&m_frame->ch_layout, &c->ch_layout);
    if (r < 0 || av_frame_get_buffer(m_frame.get(), 0) < 0) return Error{oom};
    return {};
}

Expected<void> SoundEncoder::Sound(std::span<const uint8_t> pcm) {
    m_partial.insert(m_partial.end(), pcm.begin(), pcm.end());
    const size_t frameBytes = size_t(m_channels) * 2;
    const size_t whole = m_partial.size() / frameBytes * frameBytes;
    m_in.resize(whole / 2);
    for (size_t i = 0; i < m_in.size(); ++i) {
        m_in[i] = static_cast<int16_t>(uint16_t(m_partial[2 * i] | (m_partial[2 * i + 1] << 8)));
    }
    m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<ptrdiff_t>(whole));
    if (auto r = Resample(m_in, false); !r) return r;
    return EncodeQueued(false);
}

Expected<void> SoundEncoder::Finish() {
    if (auto r = Resample({}, true); !r) return r;
    if (auto r = EncodeQueued(true); !r) return r;
    return m_muxer.Encode(m_codec.get(), m_stream, nullptr);
}

Expected<void> SoundEncoder::Resample(std::span<const int16_t> samples, bool last) {
    if (m_soxr == nullptr) {
        m_queue.insert(m_queue.end(), samples.begin(), samples.end());
        return {};
    }
    const size_t frames = samples.size() / size_t(m_channels);
    const size_t room = size_t(double(frames) * m_codec->sample_rate / m_inRate) + 4096;
    for (size_t done = 1; done > 0;) {
        const size_t before = m_queue.size();
        m_queue.resize(before + room * size_t(m_channels));
        soxr_error_t error = soxr_process(m_soxr, last ? nullptr : samples.data(), frames, nullptr,
                                          &m_queue[before], room, &done);
        m_queue.resize(before + done * size_t(m_channels));
        if (error != nullptr) {
            return Error{"cannot write \"" + m_muxer.Name() +
                         "\": resampling the sound failed: " + error};
        }
        if (!last) break;
    }
    return {};
}

Expected<void> SoundEncoder::EncodeQueued(bool last) {
    const size_t per = size_t(m_frameSize) * size_t(m_channels);
    size_t at = 0;
    while (m_queue.size() - at >= per || (last && at < m_queue.size())) {
        const size_t count = std::min(per, m_queue.size() - at);
        const int r = av_frame_make_writable(m_frame.get());
        if (r < 0) return Failure(m_muxer.Name(), "cannot encode the sound", r);
        m_frame->nb_samples = int(count / size_t(m_channels));
        Fill(m_frame.get(), &m_queue[at]);
        m_frame->pts = m_pts;
        m_pts += m_frame->nb_samples;
        if (auto e = m_muxer.Encode(m_codec.get(), m_stream, m_frame.get()); !e) return e;
        at += count;
    }
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<ptrdiff_t>(at));
    return {};
}

void SoundEncoder::Fill(AVFrame* frame, const int16_t* samples) const {
    const int n = frame->nb_samples;
    const int ch = m_channels;
    for (int c = 0; c < ch; ++c) {
        for (int i = 0; i < n; ++i) {
            const int16_t s = samples[i * ch + c];
            switch (frame->format) {
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(frame->data[0])[i * ch + c] = s;
                    break;
                case AV_SAMPLE_FMT_S16P:
                    reinterpret_cast<int16_t*>(frame->data[c])[i] = s;
                    break;
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(frame->data[0])[i * ch + c] = float(s) / 32768.0f;
                    break;
                default:
                    reinterpret_cast<float*>(frame->data[c])[i] = float(s) / 32768.0f;
                    break;
            }
        }
    }
}

}  // namespace rw::av
