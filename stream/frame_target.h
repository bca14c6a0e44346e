// The frame stream: a decoder yields a video frame by frame into a target, which turns the frames
// into an output (an AVI file, pictures and a sound file, a thumbnail, the player's queue, a
// compressed file). Pictures are 3 bytes a pixel, blue, green, red, bottom row first; sound is
// 16-bit little-endian PCM, channels interleaved.
#pragma once

#include <cstdint>
#include <span>

#include "platform/expected.h"

namespace rw {

// What every frame of a stream looks like.
struct StreamFormat {
    int32_t frames = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t framesPerSecond = 15;
    int32_t soundRate = 0;  // 0: no sound
    int32_t channels = 1;

    size_t PictureBytes() const {
        return 3 * static_cast<size_t>(width > 0 ? width : 0) *
               static_cast<size_t>(height > 0 ? height : 0);
    }
};

class FrameTarget {
  public:
    virtual ~FrameTarget() = default;

    // The sound that plays before the first frame's own (the stream's lead), once, first.
    virtual Expected<void> LeadingSound(std::span<const uint8_t> pcm) = 0;
    // Frame `frame` (from 0) begins with its sound; the target answers with the room, of
    // StreamFormat::PictureBytes(), that the frame's picture is drawn into. The room stays valid
    // until EndFrame.
    virtual Expected<std::span<uint8_t>> BeginFrame(int32_t frame,
                                                    std::span<const uint8_t> sound) = 0;
    // The picture is drawn; `damaged`: the frame could not be read and repeats the previous one.
    virtual Expected<void> EndFrame(int32_t frame, bool damaged) = 0;
};

}  // namespace rw
