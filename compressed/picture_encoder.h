// The picture stream: each picture made into the encoder's frame (PictureConversion) and encoded
// (internal to compressed/).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "compressed/av_support.h"
#include "compressed/compressed_writer.h"
#include "compressed/muxer.h"
#include "compressed/picture_conversion.h"

namespace rw::av {

class PictureEncoder {
  public:
    // `settings` has its scale and quality filled in.
    static Expected<std::unique_ptr<PictureEncoder>> Open(Muxer& muxer, const StreamShape& shape,
                                                          const CompressedSettings& settings);
    PictureEncoder(Muxer& muxer, const StreamShape& shape, int scale);
    // The format's video encoder, or a message saying this system's FFmpeg lacks it.
    static Expected<const AVCodec*> Encoder(CompressedFormat format);

    Expected<void> Picture(std::span<const uint8_t> bgrBottomUp);
    Expected<void> Finish();

  private:
    Expected<void> Start(const CompressedSettings& settings);
    Expected<void> StartConversion();

    Muxer& m_muxer;
    int m_width, m_height, m_scale;
    int m_outWidth = 0, m_outHeight = 0;
    // Pictures are shown at the encoder's rate as frames: frame counts grow by m_framesPer /
    // m_picturesPer for each picture (more than one frame a picture for MPEG-1's fixed rates).
    int64_t m_framesPer = 1, m_picturesPer = 1;
    AVRational m_frameRate{15, 1};
    int64_t m_pictures = 0, m_frames = 0;
    CodecPtr m_codec;
    AVStream* m_stream = nullptr;
    std::optional<PictureConversion> m_conversion;
    FramePtr m_frame;
};

}  // namespace rw::av
