#include "vqa/render.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

namespace rw {
namespace {

// High bytes that make a block solid in the palette colour given by its low byte.
inline bool IsSolid(uint8_t hi) {
    return hi == 0x0F || hi == 0xFF;
}

// The block grid of an image. Sizes from the header are never negative; anything that is counts
// as 0. A block width or height of 0 gives an empty grid.
struct Grid {
    size_t width = 0, height = 0;            // pixels
    size_t blockWidth = 0, blockHeight = 0;  // pixels
    size_t columns = 0, rows = 0;            // blocks

    size_t ImageBytes() const { return width * height * 3; }
    size_t RowBytes() const { return width * 3; }
};

Grid MakeGrid(const VqaProperties& props) {
    Grid g;
    g.width = static_cast<size_t>(std::max(props.width, 0));
    g.height = static_cast<size_t>(std::max(props.height, 0));
    g.blockWidth = static_cast<size_t>(std::max(props.blockWidth, 0));
    g.blockHeight = static_cast<size_t>(std::max(props.blockHeight, 0));
    if (g.blockWidth > 0 && g.blockHeight > 0) {
        g.columns = g.width / g.blockWidth;
        g.rows = g.height / g.blockHeight;
    }
    return g;
}

// Palette entry k as ready output bytes (blue, green, red): the low 6 bits of each byte times 4.
// Entries the palette does not hold are black.
using ReadyPalette = std::array<uint8_t, 256 * 3>;

ReadyPalette MakeReadyPalette(std::span<const uint8_t> palette) {
    ReadyPalette ready{};
    size_t entries = std::min<size_t>(palette.size() / 3, 256);
    for (size_t k = 0; k < entries; ++k) {
        ready[3 * k + 0] = static_cast<uint8_t>((palette[3 * k + 2] & 0x3F) * 4);
        ready[3 * k + 1] = static_cast<uint8_t>((palette[3 * k + 1] & 0x3F) * 4);
        ready[3 * k + 2] = static_cast<uint8_t>((palette[3 * k + 0] & 0x3F) * 4);
    }
    return ready;
}

// Fills n bytes with 0; an empty image may have no storage at all.
inline void Clear(uint8_t* p, size_t n) {
    if (n > 0) std::memset(p, 0, n);
}

// Draws every block of the grid, pixel by pixel, into an image that is already black. Image row r
// (0 = top) goes to row r, or to row height - 1 - r when drawing bottom up.
void DrawBlocks(std::span<const uint8_t> table, std::span<const uint8_t> codebook,
                const ReadyPalette& palette, const Grid& g, bool bottomUp, uint8_t* image) {
    const size_t blocks = g.rows * g.columns;
    for (size_t by = 0; by < g.rows; ++by) {
        for (size_t bx = 0; bx < g.columns; ++bx) {
            const size_t loAt = by * g.columns + bx;
            const size_t hiAt = blocks + loAt;
            if (hiAt >= table.size()) continue;  // table too short: the block stays black
            const uint8_t lo = table[loAt];
            const uint8_t hi = table[hiAt];
            const size_t entry = size_t{hi} * 256 + lo;
            for (size_t y = 0; y < g.blockHeight; ++y) {
                const size_t r = by * g.blockHeight + y;
                uint8_t* out = image + (bottomUp ? g.height - 1 - r : r) * g.RowBytes() +
                               bx * g.blockWidth * 3;
                if (IsSolid(hi)) {
                    for (size_t x = 0; x < g.blockWidth; ++x) {
                        std::memcpy(out + 3 * x, palette.data() + 3 * size_t{lo}, 3);
                    }
                    continue;
                }
                // Pixels past the end of the codebook stay black.
                const size_t first = (entry * g.blockHeight + y) * g.blockWidth;
                const size_t present =
                    first < codebook.size() ? std::min(g.blockWidth, codebook.size() - first) : 0;
                for (size_t x = 0; x < present; ++x) {
                    std::memcpy(out + 3 * x, palette.data() + 3 * size_t{codebook[first + x]}, 3);
                }
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> RenderFrame(std::span<const uint8_t> pointerTable,
                                 std::span<const uint8_t> codebook,
                                 std::span<const uint8_t> palette, const VqaProperties& props) {
    const Grid g = MakeGrid(props);
    std::vector<uint8_t> image(g.ImageBytes(), 0);
    DrawBlocks(pointerTable, codebook, MakeReadyPalette(palette), g, false, image.data());
    return image;
}

void RenderFrameBottomUp(std::span<const uint8_t> pointerTable, std::span<const uint8_t> codebook,
                         std::span<const uint8_t> palette, const VqaProperties& props,
                         std::span<uint8_t> image) {
    const Grid g = MakeGrid(props);
    assert(image.size() >= g.ImageBytes());
    if (image.size() < g.ImageBytes()) return;
    Clear(image.data(), g.ImageBytes());
    DrawBlocks(pointerTable, codebook, MakeReadyPalette(palette), g, true, image.data());
}

// ---- FrameRenderer ----

void FrameRenderer::Prepare(const VqaDecodeState& state, size_t blockWidth, size_t blockHeight) {
    CacheKey key{&state,
                 state.codebookGeneration,
                 state.paletteGeneration,
                 state.codebook.data(),
                 state.codebook.size(),
                 state.palette.data(),
                 state.palette.size(),
                 static_cast<int32_t>(blockWidth),
                 static_cast<int32_t>(blockHeight)};
    if (m_prepared && key == m_key) return;

    const ReadyPalette palette = MakeReadyPalette(state.palette);
    const size_t blockPixels = blockWidth * blockHeight;
    const size_t rowBytes = blockWidth * 3;

    // Entries hi * 256 + lo never pass 65535; a last entry cut short keeps its missing pixels
    // black.
    const std::vector<uint8_t>& codebook = state.codebook;
    m_entryCount = std::min<size_t>((codebook.size() + blockPixels - 1) / blockPixels, 65536);
    const size_t pixels = m_entryCount * blockPixels;
    m_entries.assign(pixels * 3, 0);
    const size_t present = std::min(pixels, codebook.size());
    for (size_t i = 0; i < present; ++i) {
        std::memcpy(m_entries.data() + 3 * i, palette.data() + 3 * size_t{codebook[i]}, 3);
    }

    // One row per colour index for solid blocks (every row of such a block is the same), then a
    // black row for blocks that cannot be drawn.
    m_solid.assign(257 * rowBytes, 0);
    for (size_t k = 0; k < 256; ++k) {
        for (size_t x = 0; x < blockWidth; ++x) {
            std::memcpy(m_solid.data() + k * rowBytes + 3 * x, palette.data() + 3 * k, 3);
        }
    }

    m_key = key;
    m_prepared = true;
}

namespace {

// Draws one row of blocks: each block's rows go to `blockHeight` image rows, which lie `rowStep`
// bytes apart (negative: bottom up). `sources` and `strides` give each block's first row and the
// step to its next row (0 for a solid block, whose rows are all the same). The block row length
// and height are template arguments for the common block sizes, so the copies compile to a few
// moves.
template <size_t kRowBytes, size_t kHeight>
void DrawBlockRow(uint8_t* out, ptrdiff_t rowStep, const uint8_t* const* sources,
                  const size_t* strides, size_t columns, size_t rowBytes, size_t height) {
    const size_t n = kRowBytes != 0 ? kRowBytes : rowBytes;
    const size_t h = kHeight != 0 ? kHeight : height;
    for (size_t bx = 0; bx < columns; ++bx, out += n) {
        const uint8_t* src = sources[bx];
        const size_t stride = strides[bx];
        for (size_t y = 0; y < h; ++y) {
            std::memcpy(out + static_cast<ptrdiff_t>(y) * rowStep, src + y * stride, n);
        }
    }
}

using DrawBlockRowFn = void (*)(uint8_t*, ptrdiff_t, const uint8_t* const*, const size_t*, size_t,
                                size_t, size_t);

DrawBlockRowFn PickDrawBlockRow(size_t rowBytes, size_t height) {
    if (rowBytes == 12 && height == 2) return &DrawBlockRow<12, 2>;
    if (rowBytes == 12 && height == 4) return &DrawBlockRow<12, 4>;
    if (rowBytes == 6 && height == 2) return &DrawBlockRow<6, 2>;
    if (rowBytes == 12) return &DrawBlockRow<12, 0>;
    if (rowBytes == 6) return &DrawBlockRow<6, 0>;
    if (rowBytes == 24) return &DrawBlockRow<24, 0>;
    return &DrawBlockRow<0, 0>;
}

}  // namespace

void FrameRenderer::RenderBottomUp(std::span<const uint8_t> pointerTable,
                                   const VqaDecodeState& state, const VqaProperties& props,
                                   std::span<uint8_t> image) {
    const Grid g = MakeGrid(props);
    assert(image.size() >= g.ImageBytes());
    if (image.size() < g.ImageBytes()) return;
    if (g.columns == 0 || g.rows == 0) {
        Clear(image.data(), g.ImageBytes());
        return;
    }
    Prepare(state, g.blockWidth, g.blockHeight);

    const size_t blockRowBytes = g.blockWidth * 3;
    const size_t entryBytes = blockRowBytes * g.blockHeight;
    const size_t blocks = g.rows * g.columns;
    const size_t gridRowBytes = g.columns * blockRowBytes;
    const uint8_t* black = m_solid.data() + 256 * blockRowBytes;
    m_rowSources.resize(g.columns);
    m_rowStrides.resize(g.columns);

    const DrawBlockRowFn drawRow = PickDrawBlockRow(blockRowBytes, g.blockHeight);
    const ptrdiff_t rowStep = -static_cast<ptrdiff_t>(g.RowBytes());

    for (size_t by = 0; by < g.rows; ++by) {
        for (size_t bx = 0; bx < g.columns; ++bx) {
            const size_t loAt = by * g.columns + bx;
            const size_t hiAt = blocks + loAt;
            const uint8_t* source = black;
            size_t stride = 0;
            if (hiAt < pointerTable.size()) {
                const uint8_t lo = pointerTable[loAt];
                const uint8_t hi = pointerTable[hiAt];
                if (IsSolid(hi)) {
                    source = m_solid.data() + size_t{lo} * blockRowBytes;
                } else if (size_t entry = size_t{hi} * 256 + lo; entry < m_entryCount) {
                    source = m_entries.data() + entry * entryBytes;
                    stride = blockRowBytes;
                }
            }
            m_rowSources[bx] = source;
            m_rowStrides[bx] = stride;
        }
        // Image row r (0 = top) is stored at row height - 1 - r.
        uint8_t* top = image.data() + (g.height - 1 - by * g.blockHeight) * g.RowBytes();
        drawRow(top, rowStep, m_rowSources.data(), m_rowStrides.data(), g.columns, blockRowBytes,
                g.blockHeight);
        if (gridRowBytes < g.RowBytes()) {
            for (size_t y = 0; y < g.blockHeight; ++y) {
                Clear(top - y * g.RowBytes() + gridRowBytes, g.RowBytes() - gridRowBytes);
            }
        }
    }
    // Rows below the grid are black; bottom up they come first.
    const size_t drawnRows = g.rows * g.blockHeight;
    Clear(image.data(), (g.height - drawnRows) * g.RowBytes());
}

}  // namespace rw
