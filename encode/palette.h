// Palettes for encoding: 256 colours of 6-bit components, chosen from a histogram of the pictures,
// and the nearest palette colour of any picture colour.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace rw {

// 256 entries of red, green, blue, each 0..63, as a palette sub-chunk carries them.
using Palette = std::array<uint8_t, 768>;

// An 8-bit intensity as the nearest 6-bit one (a reader shows c as 4c).
inline uint8_t To6Bit(uint8_t v) {
    return static_cast<uint8_t>(v >= 250 ? 63 : (v + 2) / 4);
}
// A colour at 6 bits per component, as one number: red * 4096 + green * 64 + blue.
inline uint32_t PackColour(uint8_t r6, uint8_t g6, uint8_t b6) {
    return (uint32_t{r6} << 12) | (uint32_t{g6} << 6) | b6;
}

// How often each 6-bit colour occurs in some pictures.
class ColourHistogram {
  public:
    ColourHistogram() : m_counts(size_t{1} << 18, 0) {}
    // Pixels of blue, green, red.
    void AddPixels(std::span<const uint8_t> bgr);
    // The colours present, as packed numbers, in increasing order of first appearance.
    const std::vector<uint32_t>& Colours() const { return m_present; }
    uint32_t Count(uint32_t colour) const { return m_counts[colour]; }

  private:
    std::vector<uint32_t> m_counts;
    std::vector<uint32_t> m_present;
};

struct PaletteChoice {
    Palette palette{};
    double meanError = 0;  // expected squared error per pixel and component, in 8-bit units
};

// A palette for the histogram's colours: all of them when there are at most 256, otherwise a
// median cut refined by `refinements` rounds of k-means. The error is the median cut's estimate.
PaletteChoice ChoosePalette(const ColourHistogram& histogram, int refinements);

// The nearest of up to 256 points of three components below 8 << shift (the first of equally near
// ones): per cell of an 8 x 8 x 8 grid over them, the points that can be nearest to some place in
// the cell are listed (those whose least squared distance to the cell is at most the smallest,
// over all points, of their greatest distance to it), and only they are measured.
class NearestGrid {
  public:
    NearestGrid() = default;
    // `points`: red, green, blue of each, count * 3 values; shift at most 7.
    NearestGrid(std::span<const int32_t> points, int shift);
    uint8_t Nearest(int32_t r, int32_t g, int32_t b) const;

  private:
    // Per cell, in fours of red, green, blue and point number, four values each.
    std::vector<int32_t> m_fours;
    std::array<uint32_t, 8 * 8 * 8 + 1> m_cellStart{};
    int m_shift = 5;
};

// The nearest palette entry of 6-bit colours, found once per colour and remembered. Filling and
// reading different colours from different threads is safe; the same colour is not.
class PaletteMap {
  public:
    explicit PaletteMap(const Palette& palette);

    const Palette& Colours() const { return m_palette; }
    uint8_t Nearest(uint32_t packed);
    // Looks up without remembering (any thread); components 0..255.
    uint8_t NearestOf(int32_t r8, int32_t g8, int32_t b8) const;
    // Squared error per pixel and component of the histogram under this palette, in 8-bit units.
    double MeanError(const ColourHistogram& histogram);

  private:
    Palette m_palette;
    NearestGrid m_grid;               // the palette at 8 bits
    std::vector<uint16_t> m_nearest;  // 0xFFFF: not yet known
};

}  // namespace rw
