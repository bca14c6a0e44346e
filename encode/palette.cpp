#include "encode/palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <queue>

namespace rw {
namespace {

constexpr int kColours = 256;

struct WeightedColour {
    int32_t c[3];  // red, green, blue at 6 bits
    uint32_t count;
};

// A box of the median cut: a range of `colours`, with its spread.
struct Box {
    size_t first, last;  // [first, last)
    int axis = 0;
    double error = 0;  // weighted sum of squared distances to the mean
    uint64_t weight = 0;
    double mean[3] = {0, 0, 0};
};

void Measure(Box& box, const std::vector<WeightedColour>& colours) {
    double sum[3] = {0, 0, 0}, sq[3] = {0, 0, 0};
    uint64_t weight = 0;
    for (size_t i = box.first; i < box.last; ++i) {
        const WeightedColour& w = colours[i];
        for (int k = 0; k < 3; ++k) {
            sum[k] += double(w.c[k]) * w.count;
            sq[k] += double(w.c[k]) * w.c[k] * w.count;
        }
        weight += w.count;
    }
    box.weight = weight;
    box.error = 0;
    double widest = -1;
    for (int k = 0; k < 3; ++k) {
        box.mean[k] = weight ? sum[k] / double(weight) : 0;
        const double spread = weight ? sq[k] - sum[k] * sum[k] / double(weight) : 0;
        box.error += spread;
        if (spread > widest) {
            widest = spread;
            box.axis = k;
        }
    }
}

// Splits at the weighted median of the widest axis; false when the box holds one colour.
bool Split(Box& box, Box& other, std::vector<WeightedColour>& colours) {
    if (box.last - box.first < 2) return false;
    const int axis = box.axis;
    // Components are 0..63: a counting sort, keeping colours of equal component in order.
    size_t start[65] = {};
    for (size_t i = box.first; i < box.last; ++i) ++start[colours[i].c[axis] + 1];
    for (size_t v = 1; v < 65; ++v) start[v] += start[v - 1];
    std::vector<WeightedColour> sorted(box.last - box.first);
    for (size_t i = box.first; i < box.last; ++i) sorted[start[colours[i].c[axis]]++] = colours[i];
    std::copy(sorted.begin(), sorted.end(), colours.begin() + static_cast<ptrdiff_t>(box.first));
    uint64_t half = box.weight / 2, run = 0;
    size_t cut = box.first + 1;
    for (size_t i = box.first; i < box.last - 1; ++i) {
        run += colours[i].count;
        cut = i + 1;
        if (run >= half) break;
    }
    other = Box{cut, box.last};
    box.last = cut;
    Measure(box, colours);
    Measure(other, colours);
    return true;
}

using I4 = int32_t __attribute__((vector_size(16)));

I4 LoadI4(const int32_t* p) {
    I4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One round of k-means over the colours, the centres held at a sixteenth of a 6-bit step while
// searching.
void Refine(std::vector<double>& centres, const std::vector<WeightedColour>& colours) {
    const size_t n = centres.size() / 3;
    constexpr int32_t kScale = 16;  // components below 64 * 16 = 8 << 7
    std::vector<int32_t> at(centres.size());
    for (size_t i = 0; i < at.size(); ++i) {
        at[i] = static_cast<int32_t>(std::lround(centres[i] * kScale));
    }
    const NearestGrid grid(at, 7);
    std::vector<double> sum(centres.size(), 0);
    std::vector<uint64_t> weight(n, 0);
    for (const WeightedColour& w : colours) {
        const size_t best = grid.Nearest(w.c[0] * kScale, w.c[1] * kScale, w.c[2] * kScale);
        for (int k = 0; k < 3; ++k)
            sum[3 * best + static_cast<size_t>(k)] += double(w.c[k]) * w.count;
        weight[best] += w.count;
    }
    for (size_t j = 0; j < n; ++j) {
        if (weight[j] == 0) continue;
        for (size_t k = 0; k < 3; ++k) centres[3 * j + k] = sum[3 * j + k] / double(weight[j]);
    }
}

}  // namespace

void ColourHistogram::AddPixels(std::span<const uint8_t> bgr) {
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
        const uint32_t c = PackColour(To6Bit(bgr[i + 2]), To6Bit(bgr[i + 1]), To6Bit(bgr[i]));
        if (m_counts[c]++ == 0) m_present.push_back(c);
    }
}

PaletteChoice ChoosePalette(const ColourHistogram& histogram, int refinements) {
    std::vector<WeightedColour> colours;
    colours.reserve(histogram.Colours().size());
    for (uint32_t c : histogram.Colours()) {
        colours.push_back(
            {{int32_t(c >> 12), int32_t((c >> 6) & 63), int32_t(c & 63)}, histogram.Count(c)});
    }
    PaletteChoice choice;
    if (colours.size() <= kColours) {
        for (size_t i = 0; i < colours.size(); ++i) {
            for (size_t k = 0; k < 3; ++k) choice.palette[3 * i + k] = uint8_t(colours[i].c[k]);
        }
        return choice;
    }
    auto larger = [](const Box& a, const Box& b) { return a.error < b.error; };
    std::priority_queue<Box, std::vector<Box>, decltype(larger)> boxes(larger);
    Box all{0, colours.size()};
    Measure(all, colours);
    boxes.push(all);
    std::vector<Box> done;
    while (!boxes.empty() && boxes.size() + done.size() < kColours) {
        Box box = boxes.top();
        boxes.pop();
        Box other{0, 0};
        if (!Split(box, other, colours)) {
            done.push_back(box);
            continue;
        }
        boxes.push(box);
        boxes.push(other);
    }
    for (; !boxes.empty(); boxes.pop()) done.push_back(boxes.top());
    std::vector<double> centres;
    uint64_t total = 0;
    double error = 0;
    for (const Box& b : done) {
        centres.insert(centres.end(), b.mean, b.mean + 3);
        total += b.weight;
        error += b.error;
    }
    for (int r = 0; r < refinements; ++r) Refine(centres, colours);
    for (size_t i = 0; i < centres.size(); ++i) {
        choice.palette[i] = static_cast<uint8_t>(std::clamp(centres[i] + 0.5, 0.0, 63.0));
    }
    choice.meanError = total ? 16.0 * error / double(total) / 3.0 : 0;  // 6-bit steps are 4
    return choice;
}

NearestGrid::NearestGrid(std::span<const int32_t> points, int shift) : m_shift(shift) {
    const size_t count = points.size() / 3;
    const int32_t size = int32_t{1} << shift;
    std::vector<int32_t> least(count);
    for (int32_t cell = 0; cell < 8 * 8 * 8; ++cell) {
        const int32_t low[3] = {(cell >> 6) * size, ((cell >> 3) & 7) * size, (cell & 7) * size};
        int32_t bound = INT32_MAX;
        for (size_t j = 0; j < count; ++j) {
            int32_t most = 0, fewest = 0;
            for (size_t k = 0; k < 3; ++k) {
                const int32_t v = points[3 * j + k], lo = low[k], hi = low[k] + size - 1;
                const int32_t outside = v < lo ? lo - v : v > hi ? v - hi : 0;
                const int32_t far = std::max(std::abs(v - lo), std::abs(v - hi));
                fewest += outside * outside;
                most += far * far;
            }
            least[j] = fewest;
            bound = std::min(bound, most);
        }
        m_cellStart[size_t(cell)] = static_cast<uint32_t>(m_fours.size());
        size_t listed = 0;
        for (size_t j = 0; j < count; ++j) {
            if (least[j] > bound) continue;
            const size_t place = listed % 4;
            if (place == 0) m_fours.resize(m_fours.size() + 16);
            int32_t* four = &m_fours[m_fours.size() - 16];
            // A new four holds this point in every place, so that the unfilled ones repeat it.
            for (size_t p = place; p < (place == 0 ? 4 : place + 1); ++p) {
                for (size_t k = 0; k < 3; ++k) four[4 * k + p] = points[3 * j + k];
                four[12 + p] = static_cast<int32_t>(j);
            }
            ++listed;
        }
    }
    m_cellStart.back() = static_cast<uint32_t>(m_fours.size());
}

uint8_t NearestGrid::Nearest(int32_t r, int32_t g, int32_t b) const {
    const size_t cell = size_t((r >> m_shift) * 64 + (g >> m_shift) * 8 + (b >> m_shift));
    const I4 vr = {r, r, r, r}, vg = {g, g, g, g}, vb = {b, b, b, b};
    I4 best = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
    // Keys are squared distances above the point's number: the smallest names the nearest
    // point, the first of equals (distances stay below 2^23 for components below 1024).
    for (uint32_t at = m_cellStart[cell]; at < m_cellStart[cell + 1]; at += 16) {
        const int32_t* four = &m_fours[at];
        const I4 dr = vr - LoadI4(four), dg = vg - LoadI4(four + 4), db = vb - LoadI4(four + 8);
        const I4 key = ((dr * dr + dg * dg + db * db) << 8) | LoadI4(four + 12);
        const I4 less = key - best;
        best += less & (less >> 31);  // the smaller of the two
    }
    return static_cast<uint8_t>(std::min({best[0], best[1], best[2], best[3]}) & 0xFF);
}

PaletteMap::PaletteMap(const Palette& palette)
    : m_palette(palette), m_nearest(size_t{1} << 18, 0xFFFF) {
    std::array<int32_t, kColours * 3> at{};
    for (size_t i = 0; i < at.size(); ++i) at[i] = 4 * palette[i];
    m_grid = NearestGrid(at, 5);
}

uint8_t PaletteMap::NearestOf(int32_t r8, int32_t g8, int32_t b8) const {
    return m_grid.Nearest(r8, g8, b8);
}

uint8_t PaletteMap::Nearest(uint32_t packed) {
    uint16_t& known = m_nearest[packed];
    if (known == 0xFFFF) {
        known = NearestOf(int32_t(packed >> 12) * 4, int32_t((packed >> 6) & 63) * 4,
                          int32_t(packed & 63) * 4);
    }
    return static_cast<uint8_t>(known);
}

double PaletteMap::MeanError(const ColourHistogram& histogram) {
    double error = 0;
    uint64_t total = 0;
    for (uint32_t c : histogram.Colours()) {
        const uint8_t n = Nearest(c);
        const int32_t dr = 4 * (int32_t(c >> 12) - m_palette[3 * size_t{n}]);
        const int32_t dg = 4 * (int32_t((c >> 6) & 63) - m_palette[3 * size_t{n} + 1]);
        const int32_t db = 4 * (int32_t(c & 63) - m_palette[3 * size_t{n} + 2]);
        error += double(dr * dr + dg * dg + db * db) * histogram.Count(c);
        total += histogram.Count(c);
    }
    return total ? error / double(total) / 3.0 : 0;
}

}  // namespace rw
