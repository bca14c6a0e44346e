#include "encode/vector_quantiser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <queue>
#include <string>
#include <unordered_map>

#include "encode/nearest_search.h"

namespace rw {
namespace {

// A block of a frame: one of the group's distinct blocks, or a solid colour.
struct BlockRef {
    int32_t unique;  // -1: solid
    uint8_t colour;
};

// The group's distinct blocks by their palette indices, with the mean of the source colours that
// map to each. Found through an open-addressing table of block numbers, hashed on the indices.
class DistinctBlocks {
  public:
    DistinctBlocks(size_t pixels, size_t most) : m_pixels(pixels) {
        patterns.reserve(most * pixels);
        m_sums.reserve(most * 3 * pixels);
        m_counts.reserve(most);
        size_t slots = 64;
        while (slots < 2 * most) slots *= 2;
        m_slots.assign(slots, -1);
    }

    int32_t Add(const uint8_t* pattern, const float* rgb) {
        const size_t mask = m_slots.size() - 1;
        size_t slot = Hash(pattern) & mask;
        while (m_slots[slot] >= 0 &&
               std::memcmp(&patterns[size_t(m_slots[slot]) * m_pixels], pattern, m_pixels) != 0) {
            slot = (slot + 1) & mask;
        }
        if (m_slots[slot] < 0) {
            m_slots[slot] = static_cast<int32_t>(m_counts.size());
            patterns.insert(patterns.end(), pattern, pattern + m_pixels);
            m_sums.resize(m_sums.size() + 3 * m_pixels, 0);
            m_counts.push_back(0);
        }
        const auto id = static_cast<size_t>(m_slots[slot]);
        if (m_counts[id] == kMostCounted) return m_slots[slot];  // the sums stay exact
        for (size_t k = 0; k < 3 * m_pixels; ++k) {
            m_sums[id * 3 * m_pixels + k] += static_cast<uint32_t>(rgb[k]);
        }
        ++m_counts[id];
        return m_slots[slot];
    }
    size_t Size() const { return m_counts.size(); }
    uint32_t Count(size_t id) const { return m_counts[id]; }
    // The mean source colours of each distinct block, red, green, blue per pixel.
    std::vector<float> Means() const {
        std::vector<float> means(m_sums.size());
        const size_t dims = 3 * m_pixels;
        for (size_t i = 0; i < m_sums.size(); ++i) {
            means[i] = static_cast<float>(double(m_sums[i]) / m_counts[i / dims]);
        }
        return means;
    }

    std::vector<uint8_t> patterns;

  private:
    size_t Hash(const uint8_t* pattern) const {
        uint64_t h = 0xcbf29ce484222325u;  // FNV-1a
        for (size_t p = 0; p < m_pixels; ++p) h = (h ^ pattern[p]) * 0x100000001b3u;
        return static_cast<size_t>(h ^ (h >> 29));
    }

    size_t m_pixels;
    std::vector<int32_t> m_slots;  // block numbers, -1 where free
    // Sums of 8-bit components over at most kMostCounted occurrences (the rest are alike).
    static constexpr uint32_t kMostCounted = UINT32_MAX / 255;
    std::vector<uint32_t> m_sums;
    std::vector<uint32_t> m_counts;
};

// Weighted vectors to be clustered: the blocks as source colours, each counted as often as it
// occurs.
struct TrainingSet {
    std::vector<float> x;
    std::vector<double> weight;
    size_t dims = 0;
    size_t Size() const { return weight.size(); }
};

// A cluster of the initial split: a range of the vectors in `order`, with their weighted sums.
struct Cluster {
    uint32_t begin = 0, end = 0;
    double weight = 0, error = 0;
    std::vector<double> sum, sq;
    size_t axis = 0;

    // The spread about the mean, and the component it is widest in.
    void Settle() {
        error = 0;
        double widest = -1;
        for (size_t k = 0; k < sum.size(); ++k) {
            const double spread = std::max(0.0, sq[k] - sum[k] * sum[k] / weight);
            error += spread;
            if (spread > widest) {
                widest = spread;
                axis = k;
            }
        }
    }
};

Cluster Measure(const TrainingSet& set, const std::vector<uint32_t>& order, uint32_t begin,
                uint32_t end) {
    const size_t dims = set.dims;
    Cluster c;
    c.begin = begin;
    c.end = end;
    c.sum.assign(dims, 0);
    c.sq.assign(dims, 0);
    for (uint32_t at = begin; at < end; ++at) {
        const uint32_t m = order[at];
        const double w = set.weight[m];
        for (size_t k = 0; k < dims; ++k) {
            const double v = set.x[m * dims + k];
            c.sum[k] += w * v;
            c.sq[k] += w * v * v;
        }
        c.weight += w;
    }
    c.Settle();
    return c;
}

// Cuts a cluster at its mean along its widest component: `c` keeps the lower part and the upper
// part is returned (sums taken by scanning the smaller part and subtracting). False when all
// its vectors fall on one side.
bool Cut(const TrainingSet& set, std::vector<uint32_t>& order, Cluster& c, Cluster& upper) {
    const size_t dims = set.dims, axis = c.axis;
    const double cut = c.sum[axis] / c.weight;
    const auto mid = static_cast<uint32_t>(
        std::partition(order.begin() + c.begin, order.begin() + c.end,
                       [&](uint32_t m) { return set.x[m * dims + axis] < cut; }) -
        order.begin());
    if (mid == c.begin || mid == c.end) return false;
    const bool lowerSmaller = mid - c.begin < c.end - mid;
    Cluster small =
        lowerSmaller ? Measure(set, order, c.begin, mid) : Measure(set, order, mid, c.end);
    Cluster rest;
    rest.begin = lowerSmaller ? mid : c.begin;
    rest.end = lowerSmaller ? c.end : mid;
    rest.weight = c.weight - small.weight;
    rest.sum.resize(dims);
    rest.sq.resize(dims);
    for (size_t k = 0; k < dims; ++k) {
        rest.sum[k] = c.sum[k] - small.sum[k];
        rest.sq[k] = c.sq[k] - small.sq[k];
    }
    rest.Settle();
    c = lowerSmaller ? std::move(small) : std::move(rest);
    upper = lowerSmaller ? std::move(rest) : std::move(small);
    return true;
}

// The first centres: the cluster with the largest error is cut at its mean along its widest
// component until there are `count` clusters. `cluster` receives each vector's cluster.
std::vector<float> SplitCentres(const TrainingSet& set, size_t count,
                                std::vector<uint32_t>& cluster) {
    const size_t dims = set.dims;
    std::vector<uint32_t> order(set.Size());
    std::iota(order.begin(), order.end(), 0u);
    std::vector<Cluster> clusters;
    clusters.reserve(count);
    clusters.push_back(Measure(set, order, 0, static_cast<uint32_t>(order.size())));
    std::priority_queue<std::pair<double, size_t>> queue;
    queue.push({clusters[0].error, 0});
    while (clusters.size() < count && !queue.empty()) {
        const size_t at = queue.top().second;
        queue.pop();
        Cluster upper;
        if (!Cut(set, order, clusters[at], upper)) continue;  // all alike: stays as it is
        queue.push({clusters[at].error, at});
        queue.push({upper.error, clusters.size()});
        clusters.push_back(std::move(upper));
    }
    std::vector<float> centres;
    centres.reserve(clusters.size() * dims);
    cluster.resize(set.Size());
    for (size_t i = 0; i < clusters.size(); ++i) {
        const Cluster& c = clusters[i];
        for (double v : c.sum) centres.push_back(static_cast<float>(v / c.weight));
        for (uint32_t at = c.begin; at < c.end; ++at) cluster[order[at]] = static_cast<uint32_t>(i);
    }
    return centres;
}

// Rounds of k-means: each vector to its nearest centre, each centre to its vectors' mean, until
// the rounds are used up or hardly any vector changes centre.
// `nearest` holds each vector's centre, before and after.
void Train(std::vector<float>& centres, const TrainingSet& set, const QuantiserSettings& s,
           std::vector<uint32_t>& nearest) {
    const size_t dims = set.dims, n = set.Size();
    for (int32_t round = 0; round < s.rounds; ++round) {
        if (s.stop && s.stop()) return;
        const NearestSearch search(centres, dims);
        size_t changed = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c = search.Find(&set.x[i * dims], nearest[i]).index;
            changed += c != nearest[i];
            nearest[i] = c;
        }
        std::vector<double> sum(centres.size(), 0), weight(centres.size() / dims, 0);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c = nearest[i];
            const double w = set.weight[i];
            for (size_t k = 0; k < dims; ++k) sum[c * dims + k] += w * set.x[i * dims + k];
            weight[c] += w;
        }
        for (size_t c = 0; c < weight.size(); ++c) {
            if (weight[c] == 0) continue;
            for (size_t k = 0; k < dims; ++k) {
                centres[c * dims + k] = static_cast<float>(sum[c * dims + k] / weight[c]);
            }
        }
        if (changed * size_t(std::max(1, s.settleShare)) < n) break;
    }
}

uint8_t Clamp8(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// How a distinct block is drawn: through an entry, or solid in one colour.
struct Choice {
    int32_t entry = -1;  // -1: solid
    uint8_t colour = 0;
    float error = 0;   // squared, of the solid colour
    float spread = 0;  // squared, about the block's mean colour
};

struct Codebook {
    std::vector<uint8_t> entries;  // palette indices
    std::vector<Choice> of;        // per distinct block
};

// The palette colour nearest a block's mean colour, the block's squared error drawn in it, and
// its spread about its mean.
Choice Flat(const float* x, size_t pixels, PaletteMap& map) {
    double mean[3] = {0, 0, 0};
    for (size_t p = 0; p < pixels; ++p) {
        for (size_t k = 0; k < 3; ++k) mean[k] += x[3 * p + k];
    }
    const auto at = [&](size_t k) { return To6Bit(Clamp8(mean[k] / double(pixels))); };
    Choice flat;
    flat.colour = map.Nearest(PackColour(at(0), at(1), at(2)));
    const uint8_t* c = &map.Colours()[3 * size_t{flat.colour}];
    for (size_t p = 0; p < pixels; ++p) {
        for (size_t k = 0; k < 3; ++k) {
            const float d = x[3 * p + k] - 4.0f * float(c[k]);
            const auto s = static_cast<float>(x[3 * p + k] - mean[k] / double(pixels));
            flat.error += d * d;
            flat.spread += s * s;
        }
    }
    return flat;
}

// Trained centres drawn in palette colours: the entries' palette indices and what they look like.
void Snap(const std::vector<float>& centres, PaletteMap& map, std::vector<uint8_t>& entries,
          std::vector<float>& drawn) {
    entries.resize(centres.size() / 3);
    drawn.resize(centres.size());
    const Palette& pal = map.Colours();
    for (size_t p = 0; p < entries.size(); ++p) {
        const auto at = [&](size_t k) { return Clamp8(centres[3 * p + k]); };
        const uint8_t n = map.NearestOf(at(0), at(1), at(2));
        entries[p] = n;
        for (size_t k = 0; k < 3; ++k) drawn[3 * p + k] = 4.0f * pal[3 * size_t{n} + k];
    }
}

// Keeps only the entries some block uses, each pattern once, in their order.
void Compact(Codebook& book, size_t pixels) {
    const size_t count = book.entries.size() / pixels;
    std::vector<int32_t> renumber(count, -1);
    for (const Choice& c : book.of) {
        if (c.entry >= 0) renumber[size_t(c.entry)] = 0;
    }
    std::unordered_map<std::string, int32_t> seen;
    std::vector<uint8_t> kept;
    for (size_t e = 0; e < count; ++e) {
        if (renumber[e] < 0) continue;
        const std::string key(reinterpret_cast<const char*>(&book.entries[e * pixels]), pixels);
        auto [it, added] = seen.try_emplace(key, static_cast<int32_t>(kept.size() / pixels));
        if (added) kept.insert(kept.end(), key.begin(), key.end());
        renumber[e] = it->second;
    }
    for (Choice& c : book.of) {
        if (c.entry >= 0) c.entry = renumber[size_t(c.entry)];
    }
    book.entries = std::move(kept);
}

// Entries trained on the `chosen` blocks; each of them then takes the nearest entry as drawn, or
// its solid colour where that is nearer.
void TrainEntries(std::vector<float> x, const DistinctBlocks& blocks,
                  const std::vector<uint32_t>& chosen, PaletteMap& map, size_t pixels,
                  const QuantiserSettings& s, Codebook& book) {
    TrainingSet set;
    set.dims = 3 * pixels;
    set.x = std::move(x);
    for (size_t j = 0; j < chosen.size(); ++j) {  // in place: chosen[j] >= j
        const auto from = set.x.begin() + static_cast<ptrdiff_t>(chosen[j] * set.dims);
        std::copy(from, from + static_cast<ptrdiff_t>(set.dims),
                  set.x.begin() + static_cast<ptrdiff_t>(j * set.dims));
        set.weight.push_back(blocks.Count(chosen[j]));
    }
    set.x.resize(chosen.size() * set.dims);
    const auto limit = static_cast<size_t>(std::max(1, s.maxEntries));
    std::vector<uint32_t> trained;
    std::vector<float> centres = SplitCentres(set, limit, trained), drawn;
    Train(centres, set, s, trained);
    Snap(centres, map, book.entries, drawn);
    const NearestSearch search(drawn, set.dims);
    for (size_t j = 0; j < chosen.size(); ++j) {
        const NearestSearch::Hit hit =
            search.Find(&set.x[j * set.dims], trained[j], s.greedySearch);
        Choice& c = book.of[chosen[j]];
        if (hit.distance < c.error) c.entry = static_cast<int32_t>(hit.index);
    }
    Compact(book, pixels);
}

// Every distinct block its own entry when they fit, else near-flat blocks solid and, if the rest
// still do not fit, trained entries.
Codebook ChooseEntries(const DistinctBlocks& blocks, PaletteMap& map, size_t pixels,
                       const QuantiserSettings& s) {
    Codebook book;
    book.of.resize(blocks.Size());
    std::vector<uint32_t> chosen;
    const auto limit = static_cast<size_t>(std::max(1, s.maxEntries));
    if (blocks.Size() > limit) {
        std::vector<float> x = blocks.Means();
        for (size_t i = 0; i < blocks.Size(); ++i) {
            book.of[i] = Flat(&x[i * 3 * pixels], pixels, map);
            if (book.of[i].spread > s.solidTolerance * double(pixels)) {
                chosen.push_back(static_cast<uint32_t>(i));
            }
        }
        if (chosen.size() > limit) {
            TrainEntries(std::move(x), blocks, chosen, map, pixels, s, book);
            return book;
        }
    } else {
        chosen.resize(blocks.Size());
        std::iota(chosen.begin(), chosen.end(), 0u);
    }
    for (uint32_t i : chosen) {
        book.of[i].entry = static_cast<int32_t>(book.entries.size() / pixels);
        book.entries.insert(book.entries.end(), &blocks.patterns[i * pixels],
                            &blocks.patterns[(i + 1) * pixels]);
    }
    return book;
}

// Reads one block: its source colours (red, green, blue per pixel) and its palette indices;
// true when they are all one index.
bool ReadBlock(const std::vector<uint8_t>& frame, const BlockGrid& g, int32_t bx, int32_t by,
               PaletteMap& map, float* rgb, uint8_t* pattern) {
    size_t p = 0;
    bool same = true;
    for (int32_t y = 0; y < g.blockHeight; ++y) {
        const uint8_t* src = &frame[3 * (size_t(by * g.blockHeight + y) * size_t(g.width) +
                                         size_t(bx * g.blockWidth))];
        for (int32_t x = 0; x < g.blockWidth; ++x, ++p, src += 3) {
            rgb[3 * p] = src[2];
            rgb[3 * p + 1] = src[1];
            rgb[3 * p + 2] = src[0];
            pattern[p] = map.Nearest(PackColour(To6Bit(src[2]), To6Bit(src[1]), To6Bit(src[0])));
            same = same && pattern[p] == pattern[0];
        }
    }
    return same;
}

void DrawBlock(std::vector<uint8_t>& image, const BlockGrid& g, int32_t bx, int32_t by,
               const Palette& pal, const uint8_t* indices, bool solid) {
    size_t p = 0;
    for (int32_t y = 0; y < g.blockHeight; ++y) {
        uint8_t* dst = &image[3 * (size_t(by * g.blockHeight + y) * size_t(g.width) +
                                   size_t(bx * g.blockWidth))];
        for (int32_t x = 0; x < g.blockWidth; ++x, ++p, dst += 3) {
            const size_t c = 3 * size_t{indices[solid ? 0 : p]};
            dst[0] = static_cast<uint8_t>(4 * pal[c + 2]);
            dst[1] = static_cast<uint8_t>(4 * pal[c + 1]);
            dst[2] = static_cast<uint8_t>(4 * pal[c]);
        }
    }
}

}  // namespace

QuantisedGroup QuantiseGroup(std::span<const std::vector<uint8_t>> frames, const BlockGrid& g,
                             PaletteMap& map, const QuantiserSettings& settings) {
    const size_t pixels = g.BlockPixels(), blocks = g.Blocks();
    DistinctBlocks distinct(pixels, frames.size() * blocks);
    std::vector<BlockRef> refs;
    refs.reserve(frames.size() * blocks);
    std::vector<float> rgb(3 * pixels);
    std::vector<uint8_t> pattern(pixels);
    for (const std::vector<uint8_t>& frame : frames) {
        for (int32_t by = 0; by < g.Rows(); ++by) {
            for (int32_t bx = 0; bx < g.Columns(); ++bx) {
                const bool solid = ReadBlock(frame, g, bx, by, map, rgb.data(), pattern.data());
                refs.push_back({solid ? -1 : distinct.Add(pattern.data(), rgb.data()), pattern[0]});
            }
        }
    }
    Codebook book = ChooseEntries(distinct, map, pixels, settings);
    QuantisedGroup out;
    out.codebook = book.entries.empty() ? std::vector<uint8_t>(pixels, 0) : std::move(book.entries);
    const Palette& pal = map.Colours();
    for (size_t f = 0; f < frames.size(); ++f) {
        std::vector<uint8_t> table(2 * blocks);
        std::vector<uint8_t> image(settings.drawImages ? size_t(g.width) * size_t(g.height) * 3
                                                       : 0);
        for (size_t k = 0; k < blocks; ++k) {
            BlockRef ref = refs[f * blocks + k];
            const auto bx = static_cast<int32_t>(k % size_t(g.Columns()));
            const auto by = static_cast<int32_t>(k / size_t(g.Columns()));
            const int32_t entry = ref.unique < 0 ? -1 : book.of[size_t(ref.unique)].entry;
            if (entry < 0) {
                if (ref.unique >= 0) ref.colour = book.of[size_t(ref.unique)].colour;
                table[k] = ref.colour;
                table[blocks + k] = kSolidHighByte;
                if (settings.drawImages) DrawBlock(image, g, bx, by, pal, &ref.colour, true);
                continue;
            }
            table[k] = static_cast<uint8_t>(entry & 0xFF);
            table[blocks + k] = static_cast<uint8_t>(entry >> 8);
            if (settings.drawImages) {
                DrawBlock(image, g, bx, by, pal, &out.codebook[size_t(entry) * pixels], false);
            }
        }
        out.pointerTables.push_back(std::move(table));
        out.images.push_back(std::move(image));
    }
    return out;
}

}  // namespace rw
