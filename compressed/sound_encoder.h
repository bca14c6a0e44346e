// The sound stream: 16-bit PCM gathered into the encoder's frame size, resampled with libsoxr where
// the codec cannot take the video's own rate, converted to the encoder's samples and encoded
// (internal to compressed/).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "compressed/av_support.h"
#include "compressed/compressed_writer.h"
#include "compressed/muxer.h"

struct soxr;

namespace rw::av {

class SoundEncoder {
  public:
    static Expected<std::unique_ptr<SoundEncoder>> Open(Muxer& muxer, const StreamShape& shape,
                                                        const CompressedSettings& settings);
    SoundEncoder(Muxer& muxer, const StreamShape& shape);
    // The format's sound encoder, or a message saying this system's FFmpeg lacks it.
    static Expected<const AVCodec*> Encoder(CompressedFormat format);
    ~SoundEncoder();
    SoundEncoder(const SoundEncoder&) = delete;
    SoundEncoder& operator=(const SoundEncoder&) = delete;

    Expected<void> Sound(std::span<const uint8_t> pcm);
    Expected<void> Finish();

  private:
    Expected<void> Start(const AVCodec* codec, int rate, int64_t bitRate);
    Expected<void> Resample(std::span<const int16_t> samples, bool last);
    // Encodes whole frames from the queue; at the end, what is left too.
    Expected<void> EncodeQueued(bool last);
    void Fill(AVFrame* frame, const int16_t* samples) const;

    Muxer& m_muxer;
    int m_inRate, m_channels;
    int m_frameSize = 0;
    int64_t m_pts = 0;
    CodecPtr m_codec;
    AVStream* m_stream = nullptr;
    FramePtr m_frame;
    soxr* m_soxr = nullptr;
    std::vector<uint8_t> m_partial;  // bytes of a sample frame not yet complete
    std::vector<int16_t> m_in;       // this call's samples, interleaved
    std::vector<int16_t> m_queue;    // samples at the encoder's rate, interleaved, not yet encoded
};

}  // namespace rw::av
