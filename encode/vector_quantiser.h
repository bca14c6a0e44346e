// Vector quantisation of one group of frames: a codebook of block-sized entries of palette indices
// and per frame the pointer table that draws it. When the group's distinct blocks fit, each is an
// entry of its own and the pictures come back exactly as the palette draws them; otherwise the
// entries are trained on the group's blocks (k-means). Blocks of one colour become solid blocks
// (high byte 0x0F) and take no entry, as do near-flat blocks when the entries would not suffice.
// Entry numbers stay below 15 * 256, so no pointer ever has the high byte 15 or 255.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "encode/palette.h"

namespace rw {

inline constexpr int32_t kMaxEncodeEntries = 15 * 256;
inline constexpr uint8_t kSolidHighByte = 0x0F;

struct BlockGrid {
    int32_t width = 0;  // whole blocks: width and height are multiples of the block size
    int32_t height = 0;
    int32_t blockWidth = 4;
    int32_t blockHeight = 2;
    int32_t Columns() const { return width / blockWidth; }
    int32_t Rows() const { return height / blockHeight; }
    size_t Blocks() const { return size_t(Columns()) * size_t(Rows()); }
    size_t BlockPixels() const { return size_t(blockWidth) * size_t(blockHeight); }
};

struct QuantiserSettings {
    int32_t maxEntries = kMaxEncodeEntries;
    // When the distinct blocks outnumber the entries, a block whose colours stray from their mean
    // by at most this much (mean squared distance per pixel, 8-bit units, summed over red, green,
    // blue) is drawn as one solid colour and takes no part in training.
    double solidTolerance = 16;
    // Rounds of k-means after the initial split, at most; training stops early once fewer than
    // one block in `settleShare` changes its entry.
    int32_t rounds = 2;
    int32_t settleShare = 200;
    // Blocks take the nearest trained entry found in their own branch of the search tree only
    // (much faster, a little worse).
    bool greedySearch = false;
    bool drawImages = true;  // fill QuantisedGroup::images
    // Asked between rounds of training, from the quantising thread: true ends the training early
    // (the encoding is being cancelled and the group will not be used).
    std::function<bool()> stop;
};

struct QuantisedGroup {
    std::vector<uint8_t> codebook;  // entries * block pixels palette indices; never empty
    std::vector<std::vector<uint8_t>> pointerTables;
    // What a reader draws for each frame: blue, green, red at 4 times the palette's 6-bit values,
    // top row first (empty unless asked for).
    std::vector<std::vector<uint8_t>> images;
};

// `frames`: pictures of grid.width * grid.height pixels of blue, green, red, top row first.
// `map` is the group's own: the quantiser looks up (and remembers) colours in it, so groups
// quantised side by side each need their own.
QuantisedGroup QuantiseGroup(std::span<const std::vector<uint8_t>> frames, const BlockGrid& grid,
                             PaletteMap& map, const QuantiserSettings& settings);

}  // namespace rw
