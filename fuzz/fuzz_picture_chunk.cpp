// The picture-chunk walk with the codebook and palette state it carries from frame to frame, and
// both renderers on every pointer table it yields.
//
// Input: 6 bytes of picture geometry (block width, block height, width and height as 16-bit
// little-endian numbers), then frames, each a 32-bit little-endian length and that many bytes of
// picture chunk data (the last frame takes what is left). The two renderers must draw the same
// pixels, and the state must stay within its limits. A second state, walked by a sink that wants no
// tables (they are only checked), must end every frame the same way and equal to the first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/support/bytes.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"

namespace {

// Keeps each run quick: a few hundred thousand pixels at most.
constexpr int64_t kMaxPixels = int64_t{1} << 16;

class CheckingSink final : public rw::FrameImageSink {
  public:
    explicit CheckingSink(const rw::VqaProperties& props)
        : m_props(props),
          m_bottomUp(3 * static_cast<size_t>(props.width) * static_cast<size_t>(props.height)) {}

    void OnPointerTable(std::span<const uint8_t> table, const rw::VqaDecodeState& state) override {
        const std::vector<uint8_t> topDown =
            rw::RenderFrame(table, state.codebook, state.palette, m_props);
        m_renderer.RenderBottomUp(table, state, m_props, m_bottomUp);
        const auto width = static_cast<size_t>(m_props.width);
        const auto height = static_cast<size_t>(m_props.height);
        if (rw::test::FlipRows(m_bottomUp, width, height) != topDown) std::abort();
    }

  private:
    const rw::VqaProperties& m_props;
    rw::FrameRenderer m_renderer;
    std::vector<uint8_t> m_bottomUp;
};

// Wants no tables: they are only checked and counted.
class SkimmingSink final : public rw::FrameImageSink {
  public:
    void OnPointerTable(std::span<const uint8_t>, const rw::VqaDecodeState&) override {
        std::abort();
    }
    bool WantsPointerTables() const override { return false; }
};

bool SameState(const rw::VqaDecodeState& a, const rw::VqaDecodeState& b) {
    return a.codebook == b.codebook && a.palette == b.palette &&
           a.pendingCodebook == b.pendingCodebook && a.partCount == b.partCount &&
           a.pendingCompressed == b.pendingCompressed && a.pendingAllClean == b.pendingAllClean &&
           a.codebookGeneration == b.codebookGeneration &&
           a.paletteGeneration == b.paletteGeneration;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rw::ByteReader in(std::span<const uint8_t>(data, size));
    auto blockWidth = in.U8();
    auto blockHeight = in.U8();
    auto width = in.U16Le();
    auto height = in.U16Le();
    if (!height) return 0;
    rw::VqaProperties props;
    props.frames = 1;
    props.blockWidth = *blockWidth;
    props.blockHeight = *blockHeight;
    props.width = *width;
    props.height = *height;
    if (int64_t{props.width} * props.height > kMaxPixels) return 0;

    rw::VqaDecodeState state;
    rw::VqaDecodeState skimmed;
    CheckingSink sink(props);
    SkimmingSink skimming;
    while (!in.AtEnd()) {
        // A length cut short by the end of the input makes the rest one last frame.
        const size_t declared = in.Remaining() >= 4 ? *in.U32Le() : in.Remaining();
        auto chunk = in.Bytes(std::min(declared, in.Remaining()));
        const rw::PictureChunkResult result = rw::WalkPictureChunk(*chunk, state, sink);
        const rw::PictureChunkResult checked = rw::WalkPictureChunk(*chunk, skimmed, skimming);
        if (checked.status != result.status || checked.images != result.images ||
            checked.message != result.message || !SameState(state, skimmed)) {
            std::abort();
        }
        if (result.status != rw::PictureChunkResult::Status::Ok && result.message.empty()) {
            std::abort();  // every failure says what it was
        }
        if (state.partCount < 0 || state.partCount > rw::kCodebookPartsPerSwitch + 64 ||
            state.pendingCodebook.size() > rw::kMaxSubChunkData ||
            state.pendingCompressed.size() > rw::kMaxSubChunkData) {
            std::abort();
        }
    }
    return 0;
}
