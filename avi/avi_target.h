// A stream's frames as an AVI file: the header block and the leading sound chunk first, then per
// frame its sound chunk and its video chunk, whose picture is drawn straight into the write buffer,
// then the index. A file may be written by two targets at once, each taking its own frames into a
// writer of its own that starts at the first frame's place (AviFramePosition); they share the
// chunk positions the index is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "avi/avi_chunks.h"
#include "avi/avi_header.h"
#include "stream/frame_target.h"

namespace rw {

// Where each chunk starts, for the index; shared by the targets of one file.
struct AviPositions {
    uint32_t leadingSound = 0;
    std::vector<uint32_t> sound;  // one per frame
    std::vector<uint32_t> video;
    explicit AviPositions(size_t frames) : sound(frames), video(frames) {}
};

// Where frame f's sound chunk starts: after the header block and the leading sound chunk, every
// frame takes the same room.
int64_t AviFramePosition(const AviLayout& layout, size_t frame);

class AviTarget final : public FrameTarget {
  public:
    AviTarget(OutputFile& file, const AviFormat& format, AviPositions& positions)
        : m_file(file),
          m_format(format),
          m_layout(ComputeAviLayout(format)),
          m_positions(positions) {}

    // Writes the header block, then the leading sound chunk.
    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override;
    Expected<std::span<uint8_t>> BeginFrame(int32_t frame, std::span<const uint8_t> sound) override;
    Expected<void> EndFrame(int32_t frame, bool damaged) override;
    // After the last frame of the whole file: the index, and the file's length checked.
    Expected<void> WriteIndex();

  private:
    OutputFile& m_file;
    AviFormat m_format;
    AviLayout m_layout;
    AviPositions& m_positions;
    std::optional<VideoChunkRoom> m_room;
};

}  // namespace rw
