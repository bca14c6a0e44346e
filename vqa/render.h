// Turns a vector pointer table, a codebook and a palette into a 24-bit image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vqa/picture_chunk.h"
#include "vqa/vqa_properties.h"

namespace rw {

// A new image of width * height pixels, 3 bytes each (blue, green, red), top row first. Blocks with
// high byte 0x0F or 0xFF are solid in palette colour `lo`; others show codebook entry hi * 256 +
// lo. Palette bytes keep their low 6 bits, times 4. Pixels outside the block grid, and pixels whose
// codebook entry, colour index or pointer-table byte is missing, are black. A block width or
// height of 0 gives an all-black image.
std::vector<uint8_t> RenderFrame(std::span<const uint8_t> pointerTable,
                                 std::span<const uint8_t> codebook,
                                 std::span<const uint8_t> palette, const VqaProperties& props);

// The same pixels drawn into a caller's buffer of 3 * width * height bytes with the rows bottom
// row first, as a video chunk stores them. A smaller buffer is left untouched.
void RenderFrameBottomUp(std::span<const uint8_t> pointerTable, std::span<const uint8_t> codebook,
                         std::span<const uint8_t> palette, const VqaProperties& props,
                         std::span<uint8_t> image);

// Draws the same pixels as RenderFrameBottomUp, faster: the codebook is expanded into blocks of
// ready colours once per codebook or palette, and frames are drawn by copying block rows. The
// expansion is redone when the state's codebookGeneration or paletteGeneration changes, or when
// another state or block size is used; whoever changes a state's codebook or palette bumps the
// counter (ApplySubChunk does).
class FrameRenderer {
  public:
    FrameRenderer() = default;
    // The pages point into the renderer's own tables.
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;
    FrameRenderer(FrameRenderer&&) = default;
    FrameRenderer& operator=(FrameRenderer&&) = default;

    void RenderBottomUp(std::span<const uint8_t> pointerTable, const VqaDecodeState& state,
                        const VqaProperties& props, std::span<uint8_t> image);

    // The two halves of RenderBottomUp, for callers that must know when the expansion changes:
    // whether the expansion in hand fits this state and block size, making it fit, and drawing
    // with the expansion in hand whatever the state is now.
    bool IsPreparedFor(const VqaDecodeState& state, const VqaProperties& props) const;
    void Prepare(const VqaDecodeState& state, const VqaProperties& props);
    void Draw(std::span<const uint8_t> pointerTable, const VqaProperties& props,
              std::span<uint8_t> image) const;

  private:
    struct CacheKey {
        const VqaDecodeState* state = nullptr;
        uint64_t codebookGeneration = 0;
        uint64_t paletteGeneration = 0;
        const uint8_t* codebookData = nullptr;
        size_t codebookSize = 0;
        const uint8_t* paletteData = nullptr;
        size_t paletteSize = 0;
        int32_t blockWidth = 0;
        int32_t blockHeight = 0;
        bool operator==(const CacheKey&) const = default;
    };

    // Where the blocks with one high byte take their pixels: block `lo` starts at
    // base + lo * loStride when lo < loLimit (black otherwise), and its rows lie rowStride apart
    // (0 when every row is the same, as in solid blocks).
    struct Page {
        const uint8_t* base = nullptr;
        size_t loStride = 0;
        size_t rowStride = 0;
        size_t loLimit = 0;
    };

    static CacheKey KeyOf(const VqaDecodeState& state, const VqaProperties& props);

    bool m_prepared = false;
    CacheKey m_key;
    std::vector<uint8_t> m_entries;   // per entry: its rows of ready colours, 3 bytes a pixel
    std::vector<uint8_t> m_solid;     // per colour index: one row of a solid block, then black
    std::array<Page, 256> m_pages{};  // by high byte
};

}  // namespace rw
