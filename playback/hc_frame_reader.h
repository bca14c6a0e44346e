// A high-colour video's frames one after another for playing it: true-colour pictures (3 bytes a
// pixel, blue green red, bottom row first) and each frame's sound at the file's own rate and
// channels, as the video's AVI file holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decode/open_video.h"
#include "playback/frame_reader.h"
#include "vqa/hc_decoder.h"

namespace rw {

class HighColourFrameReader final : public VideoFrameReader {
  public:
    // `video` as OpenVideo gives it; both must outlive the reader.
    HighColourFrameReader(InputFile& vqa, const HighColourVideo& video);

    // Walks every frame's chunk headers for its sound and codebooks, and goes to frame 0.
    Expected<void> Start();
    // A codebook stays in force for many frames, and blocks keep their pixels until drawn again:
    // the frames from the one that set the codebook in force a few frames before `frame` are
    // decoded in full (from the first frame when some block was not drawn since), the frames
    // before those only for their sound.
    Expected<void> Seek(int32_t frame) override;
    // A damaged frame shows what could be drawn.
    Expected<void> Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound) override;
    int32_t Position() const override { return static_cast<int32_t>(m_next); }
    // The bytes of sound each frame brings (none for a video whose sound is not decoded).
    std::span<const int64_t> FrameSoundBytes() const { return m_soundBytes; }

  private:
    size_t CodebookFrameAtOrBefore(size_t frame) const;

    InputFile& m_vqa;
    const HighColourVideo& m_video;
    size_t m_frames;
    bool m_silent;
    std::vector<int64_t> m_soundBytes;
    std::vector<bool> m_setsCodebook;
    std::optional<HighColourDecoder> m_decoder;
    HighColourFrame m_frame;
    size_t m_next = 0;
};

}  // namespace rw
