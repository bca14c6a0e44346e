#include "bench/bench_data.h"

#include <cstring>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/byte_reader.h"

namespace rw::bench {
namespace {

struct Chunk {
    char id[5] = {};
    std::span<const uint8_t> data;
};

// Reads the chunk at `at` (identifier, big-endian size, data, and a pad byte 0 after odd data)
// and moves `at` past it.
Chunk NextChunk(std::span<const uint8_t> bytes, size_t& at) {
    if (bytes.size() < 8 || at > bytes.size() - 8) {
        throw std::runtime_error("bench data: chunk header past the end at " + std::to_string(at));
    }
    Chunk c;
    std::memcpy(c.id, bytes.data() + at, 4);
    ByteReader reader(bytes.subspan(at + 4, 4));
    const size_t size = *reader.U32Be();
    if (size > bytes.size() - at - 8) {
        throw std::runtime_error("bench data: chunk " + std::string(c.id) + " runs past the end");
    }
    c.data = bytes.subspan(at + 8, size);
    at += 8 + size;
    if (size % 2 == 1 && at < bytes.size() && bytes[at] == 0) ++at;
    return c;
}

class RecordingSink final : public FrameImageSink {
  public:
    RecordingSink(std::vector<DrawableFrame>& frames, size_t limit)
        : m_frames(frames), m_limit(limit) {}
    void OnPointerTable(std::span<const uint8_t> table, const VqaDecodeState& state) override {
        if (m_frames.size() >= m_limit) return;
        m_frames.push_back({{table.begin(), table.end()}, state.codebook, state.palette});
    }

  private:
    std::vector<DrawableFrame>& m_frames;
    size_t m_limit;
};

}  // namespace

BenchVideo MakeBenchVideo(int32_t frames, int32_t width, int32_t height, int32_t blockWidth,
                          int32_t blockHeight, size_t drawableFrames) {
    synth::SynthOptions o;
    o.frames = frames;
    o.width = width;
    o.height = height;
    o.blockWidth = blockWidth;
    o.blockHeight = blockHeight;
    o.parts = synth::CodebookParts::None;
    o.keepExpected = false;

    BenchVideo b;
    b.video = synth::SynthesizeVqa(o);
    const std::span<const uint8_t> file = b.video.file;
    VqaDecodeState state;
    RecordingSink sink(b.frames, drawableFrames);

    for (int64_t offset : b.video.frameOffsets) {
        size_t at = static_cast<size_t>(offset);
        std::span<const uint8_t> sound;
        for (;;) {
            Chunk c = NextChunk(file, at);
            if (std::strcmp(c.id, "SND2") == 0) {
                sound = c.data;  // frame 0 carries the leading sound first; its own comes last
                continue;
            }
            if (std::strcmp(c.id, "VQFR") != 0) continue;
            b.frameSound.emplace_back(sound.begin(), sound.end());
            size_t sub = 0;
            while (c.data.size() - sub >= 8) {
                Chunk s = NextChunk(c.data, sub);
                if (std::strcmp(s.id, "VPTZ") == 0) {
                    b.packedPointerTables.emplace_back(s.data.begin(), s.data.end());
                } else if (std::strcmp(s.id, "CBFZ") == 0) {
                    b.packedCodebooks.emplace_back(s.data.begin(), s.data.end());
                }
            }
            if (WalkPictureChunk(c.data, state, sink).status != PictureChunkResult::Status::Ok) {
                throw std::runtime_error("bench data: a synthesised picture chunk is damaged");
            }
            break;
        }
    }
    if (b.packedPointerTables.empty() || b.packedCodebooks.empty() || b.frames.empty()) {
        throw std::runtime_error("bench data: no packed pointer tables, codebooks or images");
    }
    return b;
}

}  // namespace rw::bench
