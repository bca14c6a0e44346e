#include "compressed/muxer.h"

#include <cstring>

namespace rw::av {

Expected<void> Muxer::Available(const char* muxer, const char* label) {
    if (av_guess_format(muxer, nullptr, nullptr) == nullptr) {
        return Error{std::string("this system's FFmpeg has no ") + label + " writer (" + muxer +
                     ")"};
    }
    return {};
}

Expected<std::unique_ptr<Muxer>> Muxer::Open(int fd, std::string name, const char* muxer,
                                             const char* label) {
    if (auto r = Available(muxer, label); !r) return r.error();
    auto output = FdOutput::Open(fd, name);
    if (!output) return output.error();
    AVFormatContext* format = nullptr;
    const int r = avformat_alloc_output_context2(&format, nullptr, muxer, nullptr);
    if (r < 0 || format == nullptr) return Failure(name, "cannot start the container", r);
    format->pb = (*output)->Context();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    return std::make_unique<Muxer>(std::move(output).value(), format, std::move(name));
}

Muxer::Muxer(std::unique_ptr<FdOutput> output, AVFormatContext* format, std::string name)
    : m_output(std::move(output)),
      m_format(format),
      m_name(std::move(name)),
      m_packet(av_packet_alloc()) {}

Muxer::~Muxer() {
    avformat_free_context(m_format);
}

bool Muxer::WantsGlobalHeader() const {
    return (m_format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

Expected<AVStream*> Muxer::AddStream() {
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (stream == nullptr || !m_packet)
        return Error{"cannot write \"" + m_name + "\": out of memory"};
    return stream;
}

Expected<void> Muxer::WriteHeader() {
    const int r = avformat_write_header(m_format, nullptr);
    if (r < 0) return WriteFailure(r);
    return {};
}

Expected<void> Muxer::Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
    const char* what = codec->codec_type == AVMEDIA_TYPE_VIDEO ? "cannot encode the pictures"
                                                               : "cannot encode the sound";
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) return Failure(m_name, what, r);
    for (;;) {
        r = avcodec_receive_packet(codec, m_packet.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return {};
        if (r < 0) return Failure(m_name, what, r);
        av_packet_rescale_ts(m_packet.get(), codec->time_base, stream->time_base);
        m_packet->stream_index = stream->index;
        r = av_interleaved_write_frame(m_format, m_packet.get());
        if (r < 0) return WriteFailure(r);
    }
}

Expected<void> Muxer::WriteTrailer() {
    int r = av_write_trailer(m_format);
    if (r >= 0) {
        avio_flush(m_format->pb);
        r = m_format->pb->error;
    }
    if (r < 0) return WriteFailure(r);
    return {};
}

Error Muxer::WriteFailure(int code) {
    if (m_output->SystemError() != 0) {
        return Error{"cannot write \"" + m_name + "\": " + std::strerror(m_output->SystemError())};
    }
    return Failure(m_name, "the container cannot take the streams", code);
}

}  // namespace rw::av
