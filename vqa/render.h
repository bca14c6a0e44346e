// Turns a vector pointer table, a codebook and a palette into a 24-bit image.
#pragma once

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
    void RenderBottomUp(std::span<const uint8_t> pointerTable, const VqaDecodeState& state,
                        const VqaProperties& props, std::span<uint8_t> image);

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

    void Prepare(const VqaDecodeState& state, size_t blockWidth, size_t blockHeight);

    bool m_prepared = false;
    CacheKey m_key;
    size_t m_entryCount = 0;         // codebook entries with at least one byte present
    std::vector<uint8_t> m_entries;  // per entry: its rows of ready colours, 3 bytes a pixel
    std::vector<uint8_t> m_solid;    // per colour index: one row of a solid block, then black
    std::vector<const uint8_t*> m_rowSources;  // scratch: source of each block in a block row
    std::vector<size_t> m_rowStrides;          // scratch: 0 for solid rows, else a row's bytes
};

}  // namespace rw
