// Turns a vector pointer table, a codebook and a palette into a 24-bit image.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vqa/vqa_properties.h"

namespace rw {

// A new image of width * height pixels, 3 bytes each (blue, green, red), top row first. Blocks with
// high byte 0x0F or 0xFF are solid in palette colour `lo`; others show codebook entry hi * 256 + lo.
// Palette bytes keep their low 6 bits, times 4. Pixels outside the block grid, and pixels whose
// codebook entry, colour index or pointer-table byte is missing, are black.
std::vector<uint8_t> RenderFrame(std::span<const uint8_t> pointerTable,
                                 std::span<const uint8_t> codebook,
                                 std::span<const uint8_t> palette, const VqaProperties& props);

// The same pixels drawn into a caller's buffer of 3 * width * height bytes with the rows bottom
// row first, as a video chunk stores them.
void RenderFrameBottomUp(std::span<const uint8_t> pointerTable, std::span<const uint8_t> codebook,
                         std::span<const uint8_t> palette, const VqaProperties& props,
                         std::span<uint8_t> image);

}  // namespace rw
