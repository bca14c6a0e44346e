// A stream's frames as an ordinary AVI file of any frame rate and sound format: a 24-bit video
// stream at the stream's own frame rate, a 16-bit PCM sound stream at its own rate and channels
// with chunks as long as each frame's sound, and an idx1 index. The header block's size is fixed,
// so the frames go through a writer that starts after it; its values, known only at the end, are
// written last through the file's own writer, at its start. Used for the videos whose AVI layout is
// not the 8-bit videos' fixed one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "stream/frame_target.h"

namespace rw {

// Why a stream of this format cannot be written as such an AVI file (a picture too large, a file
// that would pass 4 GB with the pictures alone), or nothing.
// The header block's size: where the first movie chunk begins.
inline constexpr int64_t kStreamAviHeaderBytes = 326;

std::optional<std::string> CheckStreamAvi(const StreamFormat& format);

class StreamAviTarget final : public FrameTarget {
  public:
    // `body`: a writer of the file whose first byte goes to kStreamAviHeaderBytes.
    // `format.soundRate` 0: no sound stream, and the frames' sound is dropped.
    StreamAviTarget(OutputFile& body, const StreamFormat& format);

    // Writes the sound as the first sound chunk.
    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override;
    Expected<std::span<uint8_t>> BeginFrame(int32_t frame, std::span<const uint8_t> sound) override;
    Expected<void> EndFrame(int32_t frame, bool damaged) override;

    // After the last frame: writes the index at the end of the file and finishes the body's writer,
    // then writes the header block into `start`, the writer of the same file at its position 0.
    Expected<void> Finish(OutputFile& start);

    // The header block, once the index is written.
    std::vector<uint8_t> HeaderBlock() const;

  private:
    struct IndexEntry {
        uint32_t id;
        uint32_t position;
        uint32_t size;
    };
    Expected<void> WriteChunk(uint32_t id, std::span<const uint8_t> data);

    OutputFile& m_file;
    StreamFormat m_format;
    size_t m_rowBytes;               // a picture row in the file, padded to 4 bytes
    size_t m_imageBytes;             // a picture in the file
    std::vector<uint8_t> m_picture;  // the stream's picture, rows unpadded
    std::vector<uint8_t> m_padded;   // a picture with padded rows, when rows need padding
    std::vector<IndexEntry> m_index;
    int64_t m_soundBytes = 0;
    uint32_t m_largestSound = 0;
    int32_t m_frames = 0;
    int64_t m_moviEnd = 0;  // where the index begins
};

}  // namespace rw
