#include "vqa/render.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <type_traits>

namespace rw {
namespace {

// Spare bytes at the end of the renderer's tables: drawing copies whole pieces that may reach
// this far past the last row it needs.
constexpr size_t kReadSlack = 16;

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

// Asks for the cache line holding `p` in a state ready for writing.
inline void PrefetchForWrite(const uint8_t* p) {
#if defined(__x86_64__) || defined(__i386__)
    // PREFETCHW whatever the compiler targets: processors without it take it as a no-op.
    asm volatile("prefetchw %0" : : "m"(*p));
#else
    __builtin_prefetch(p, 1, 3);
#endif
}

// ---- FrameRenderer ----

FrameRenderer::CacheKey FrameRenderer::KeyOf(const VqaDecodeState& state,
                                             const VqaProperties& props) {
    const Grid g = MakeGrid(props);
    return CacheKey{&state,
                    state.codebookGeneration,
                    state.paletteGeneration,
                    state.codebook.data(),
                    state.codebook.size(),
                    state.palette.data(),
                    state.palette.size(),
                    static_cast<int32_t>(g.blockWidth),
                    static_cast<int32_t>(g.blockHeight)};
}

bool FrameRenderer::IsPreparedFor(const VqaDecodeState& state, const VqaProperties& props) const {
    return m_prepared && KeyOf(state, props) == m_key;
}

void FrameRenderer::Prepare(const VqaDecodeState& state, const VqaProperties& props) {
    if (IsPreparedFor(state, props)) return;
    const Grid g = MakeGrid(props);
    const ReadyPalette palette = MakeReadyPalette(state.palette);
    const size_t blockPixels = g.blockWidth * g.blockHeight;
    const size_t rowBytes = g.blockWidth * 3;
    const size_t entryBytes = rowBytes * g.blockHeight;

    // Entries hi * 256 + lo never pass 65535; a last entry cut short keeps its missing pixels
    // black.
    const std::vector<uint8_t>& codebook = state.codebook;
    const size_t entryCount =
        blockPixels == 0
            ? 0
            : std::min<size_t>((codebook.size() + blockPixels - 1) / blockPixels, 65536);
    const size_t pixels = entryCount * blockPixels;
    // Both tables end in kReadSlack spare bytes, so drawing may read whole pieces past a row.
    // Each pixel is stored as 4 bytes, of which the fourth is overwritten by the next pixel or
    // falls into those spare bytes; pixels the codebook does not hold are black.
    m_entries.resize(pixels * 3 + kReadSlack);
    const size_t present = std::min(pixels, codebook.size());
    std::array<uint32_t, 256> colours{};
    for (size_t k = 0; k < 256; ++k) std::memcpy(&colours[k], palette.data() + 3 * k, 3);
    uint8_t* out = m_entries.data();
    for (size_t i = 0; i < present; ++i) std::memcpy(out + 3 * i, &colours[codebook[i]], 4);
    std::memset(out + 3 * present, 0, m_entries.size() - 3 * present);

    // One row per colour index for solid blocks (every row of such a block is the same), then a
    // black row for blocks that cannot be drawn.
    m_solid.assign(257 * rowBytes + kReadSlack, 0);
    for (size_t k = 0; k < 256; ++k) {
        for (size_t x = 0; x < g.blockWidth; ++x) {
            std::memcpy(m_solid.data() + k * rowBytes + 3 * x, palette.data() + 3 * k, 3);
        }
    }

    // Pages of entries by high byte; solid high bytes take the solid rows whatever the codebook
    // holds, and entries past the codebook are black.
    const uint8_t* black = m_solid.data() + 256 * rowBytes;
    for (size_t hi = 0; hi < 256; ++hi) {
        Page& page = m_pages[hi];
        const size_t first = hi * 256;
        if (IsSolid(static_cast<uint8_t>(hi))) {
            page = Page{m_solid.data(), rowBytes, 0, 256};
        } else if (first < entryCount) {
            page = Page{m_entries.data() + first * entryBytes, entryBytes, rowBytes,
                        std::min<size_t>(entryCount - first, 256)};
        } else {
            page = Page{black, 0, 0, 256};
        }
    }

    m_key = KeyOf(state, props);
    m_prepared = true;
}

namespace {

// Draws the blocks of one block row: block bx of the row takes the page of hi[bx] and the entry
// lo[bx] in it, and its rows go to `height` image rows which lie `rowStep` bytes apart (negative:
// bottom up). The block row length and height are template arguments for the common block sizes,
// so the copies compile to a few moves.
//
// Blocks 4 or 2 pixels wide are copied as one 16- or 8-byte piece a row, of which the bytes past
// the block are overwritten by the next block; the last block of the call is copied exactly.
template <size_t kRowBytes, size_t kHeight, typename Page>
void DrawBlockRow(uint8_t* out, ptrdiff_t rowStep, const uint8_t* lo, const uint8_t* hi,
                  size_t columns, const std::array<Page, 256>& pages, const uint8_t* black,
                  size_t rowBytes, size_t height) {
    constexpr size_t kPiece = kRowBytes == 12 ? 16 : kRowBytes == 6 ? 8 : kRowBytes;
    static_assert(kPiece - kRowBytes <= kReadSlack);
    const size_t n = kRowBytes != 0 ? kRowBytes : rowBytes;
    const size_t h = kHeight != 0 ? kHeight : height;
    auto draw = [&](size_t bx, uint8_t* at, auto piece) {
        const Page& page = pages[hi[bx]];
        const size_t l = lo[bx];
        const bool drawn = l < page.loLimit;
        const uint8_t* src = drawn ? page.base + l * page.loStride : black;
        const size_t stride = drawn ? page.rowStride : 0;
        for (size_t y = 0; y < h; ++y) {
            std::memcpy(at + static_cast<ptrdiff_t>(y) * rowStep, src + y * stride,
                        decltype(piece)::value != 0 ? decltype(piece)::value : n);
        }
    };
    if (columns == 0) return;
    for (size_t bx = 0; bx + 1 < columns; ++bx, out += n) {
        draw(bx, out, std::integral_constant<size_t, kPiece>{});
    }
    draw(columns - 1, out, std::integral_constant<size_t, kRowBytes>{});
}

template <typename Page>
using DrawBlockRowFn = void (*)(uint8_t*, ptrdiff_t, const uint8_t*, const uint8_t*, size_t,
                                const std::array<Page, 256>&, const uint8_t*, size_t, size_t);

template <typename Page>
DrawBlockRowFn<Page> PickDrawBlockRow(size_t rowBytes, size_t height) {
    if (rowBytes == 12 && height == 2) return &DrawBlockRow<12, 2, Page>;
    if (rowBytes == 12 && height == 4) return &DrawBlockRow<12, 4, Page>;
    if (rowBytes == 6 && height == 2) return &DrawBlockRow<6, 2, Page>;
    if (rowBytes == 12) return &DrawBlockRow<12, 0, Page>;
    if (rowBytes == 6) return &DrawBlockRow<6, 0, Page>;
    if (rowBytes == 24) return &DrawBlockRow<24, 0, Page>;
    return &DrawBlockRow<0, 0, Page>;
}

}  // namespace

void FrameRenderer::RenderBottomUp(std::span<const uint8_t> pointerTable,
                                   const VqaDecodeState& state, const VqaProperties& props,
                                   std::span<uint8_t> image) {
    Prepare(state, props);
    Draw(pointerTable, props, image);
}

void FrameRenderer::Draw(std::span<const uint8_t> pointerTable, const VqaProperties& props,
                         std::span<uint8_t> image) const {
    const Grid g = MakeGrid(props);
    assert(image.size() >= g.ImageBytes());
    if (image.size() < g.ImageBytes()) return;
    if (g.columns == 0 || g.rows == 0 || !m_prepared || m_key.blockWidth != int32_t(g.blockWidth) ||
        m_key.blockHeight != int32_t(g.blockHeight)) {
        Clear(image.data(), g.ImageBytes());
        return;
    }

    const size_t blockRowBytes = g.blockWidth * 3;
    const size_t blocks = g.rows * g.columns;
    const uint8_t* black = m_solid.data() + 256 * blockRowBytes;
    // Blocks whose high byte lies past the end of a short table are black.
    const size_t drawable =
        pointerTable.size() > blocks ? std::min(blocks, pointerTable.size() - blocks) : 0;
    // (An empty table may have no storage: its pointer is only offset when blocks are drawn.)
    const uint8_t* lo = pointerTable.data();
    const uint8_t* hi = drawable > 0 ? lo + blocks : lo;

    const auto drawRow = PickDrawBlockRow<Page>(blockRowBytes, g.blockHeight);
    const ptrdiff_t rowStep = -static_cast<ptrdiff_t>(g.RowBytes());

    for (size_t by = 0; by < g.rows; ++by) {
        const size_t first = by * g.columns;
        const size_t columns = drawable > first ? std::min(g.columns, drawable - first) : 0;
        // Image row r (0 = top) is stored at row height - 1 - r.
        uint8_t* top = image.data() + (g.height - 1 - by * g.blockHeight) * g.RowBytes();
        // The rows two block rows on are made ready for writing while this one is drawn: the
        // image is usually a write buffer last read by another core.
        if (by + 2 < g.rows) {
            const uint8_t* ahead = top - 2 * g.blockHeight * g.RowBytes();
            for (size_t y = 0; y < g.blockHeight; ++y) {
                const uint8_t* row = ahead - y * g.RowBytes();
                for (size_t x = 0; x < g.RowBytes(); x += 64) PrefetchForWrite(row + x);
            }
        }
        if (columns > 0) {
            drawRow(top, rowStep, lo + first, hi + first, columns, m_pages, black, blockRowBytes,
                    g.blockHeight);
        }
        const size_t drawnBytes = columns * blockRowBytes;
        if (drawnBytes < g.RowBytes()) {
            for (size_t y = 0; y < g.blockHeight; ++y) {
                Clear(top - y * g.RowBytes() + drawnBytes, g.RowBytes() - drawnBytes);
            }
        }
    }
    // Rows below the grid are black; bottom up they come first.
    const size_t drawnRows = g.rows * g.blockHeight;
    Clear(image.data(), (g.height - drawnRows) * g.RowBytes());
}

}  // namespace rw
