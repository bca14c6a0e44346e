// A video's frames one after another for playing it: each frame's picture and sound exactly as
// every output has them (3 bytes a pixel, blue green red, bottom row first; 16-bit mono PCM in
// whole samples).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/vqa_properties.h"

namespace rw {

// What the player's thread reads a video's frames through, whatever its kind.
class VideoFrameReader {
  public:
    virtual ~VideoFrameReader() = default;
    // Goes to frame `frame`: the frames before it are walked without being handed out.
    virtual Expected<void> Seek(int32_t frame) = 0;
    // The next frame's picture and sound; an error when the video cannot be read on.
    virtual Expected<void> Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound) = 0;
    // The frame Next reads.
    virtual int32_t Position() const = 0;
};

class FrameReader final : public VideoFrameReader {
  public:
    // `frameIndex` as ReadFrameIndex gives it; the reader keeps its own copy.
    FrameReader(InputFile& vqa, const VqaProperties& props, std::vector<int32_t> frameIndex);
    ~FrameReader() override;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads the leading sound (the sound before frame 0) into `sound`, and goes to frame 0.
    Expected<void> Start(std::vector<uint8_t>& sound);
    // Goes to frame `frame`: the frames before it are walked for their codebooks, palettes and
    // sound, without drawing them.
    Expected<void> Seek(int32_t frame) override;
    // Draws the next frame into `picture` and puts its sound into `sound`; a damaged frame
    // repeats the previous picture. An error when the video cannot be read on.
    Expected<void> Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound) override;
    int32_t Position() const override;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace rw
