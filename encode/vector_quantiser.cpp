#include "encode/vector_quantiser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <queue>
#include <string>
#include <unordered_map>

namespace rw {
namespace {

// A block of a frame: one of the group's distinct blocks, or a solid colour.
struct BlockRef {
    int32_t unique;  // -1: solid
    uint8_t colour;
};

// The group's distinct blocks by their palette indices, with the mean of the source colours that
// map to each.
class DistinctBlocks {
  public:
    explicit DistinctBlocks(size_t pixels) : m_pixels(pixels) {}

    int32_t Add(const uint8_t* pattern, const float* rgb) {
        auto [it, added] =
            m_ids.try_emplace(std::string(reinterpret_cast<const char*>(pattern), m_pixels),
                              static_cast<int32_t>(m_counts.size()));
        const auto id = static_cast<size_t>(it->second);
        if (added) {
            patterns.insert(patterns.end(), pattern, pattern + m_pixels);
            m_sums.resize(m_sums.size() + 3 * m_pixels, 0.0);
            m_counts.push_back(0);
        }
        for (size_t k = 0; k < 3 * m_pixels; ++k) m_sums[id * 3 * m_pixels + k] += rgb[k];
        ++m_counts[id];
        return it->second;
    }
    size_t Size() const { return m_counts.size(); }
    uint32_t Count(size_t id) const { return m_counts[id]; }
    // The mean source colours of each distinct block, red, green, blue per pixel.
    std::vector<float> Means() const {
        std::vector<float> means(m_sums.size());
        const size_t dims = 3 * m_pixels;
        for (size_t i = 0; i < m_sums.size(); ++i) {
            means[i] = static_cast<float>(m_sums[i] / m_counts[i / dims]);
        }
        return means;
    }

    std::vector<uint8_t> patterns;

  private:
    size_t m_pixels;
    std::unordered_map<std::string, int32_t> m_ids;
    std::vector<double> m_sums;
    std::vector<uint32_t> m_counts;
};

// Nearest of a set of vectors, searched outward from the vectors of similar component sums: two
// vectors whose sums differ by s lie at least s * s / dims apart.
class NearestSearch {
  public:
    NearestSearch(const std::vector<float>& vectors, size_t dims) : m_dims(dims) {
        const size_t n = vectors.size() / dims;
        std::vector<float> sums(n);
        for (size_t i = 0; i < n; ++i) {
            sums[i] = std::accumulate(&vectors[i * dims], &vectors[i * dims] + dims, 0.0f);
        }
        m_order.resize(n);
        std::iota(m_order.begin(), m_order.end(), 0u);
        std::sort(m_order.begin(), m_order.end(),
                  [&](uint32_t a, uint32_t b) { return sums[a] < sums[b]; });
        m_vectors.reserve(vectors.size());
        for (uint32_t i : m_order) {
            m_sums.push_back(sums[i]);
            m_vectors.insert(m_vectors.end(), &vectors[i * dims], &vectors[i * dims] + dims);
        }
    }

    uint32_t Find(const float* x) const {
        const float s = std::accumulate(x, x + m_dims, 0.0f);
        const auto n = static_cast<ptrdiff_t>(m_sums.size());
        ptrdiff_t up = std::lower_bound(m_sums.begin(), m_sums.end(), s) - m_sums.begin();
        ptrdiff_t down = up - 1;
        float best = std::numeric_limits<float>::max();
        ptrdiff_t bestAt = 0;
        const auto dims = static_cast<float>(m_dims);
        while (up < n || down >= 0) {
            if (up < n) {
                const float ds = m_sums[size_t(up)] - s;
                if (ds * ds >= best * dims) {
                    up = n;
                } else {
                    Try(x, up++, best, bestAt);
                }
            }
            if (down >= 0) {
                const float ds = s - m_sums[size_t(down)];
                if (ds * ds >= best * dims) {
                    down = -1;
                } else {
                    Try(x, down--, best, bestAt);
                }
            }
        }
        return m_order[size_t(bestAt)];
    }

  private:
    void Try(const float* x, ptrdiff_t at, float& best, ptrdiff_t& bestAt) const {
        const float* v = &m_vectors[size_t(at) * m_dims];
        float d = 0;
        for (size_t k = 0; k < m_dims && d < best; ++k) d += (x[k] - v[k]) * (x[k] - v[k]);
        if (d < best) {
            best = d;
            bestAt = at;
        }
    }

    size_t m_dims;
    std::vector<uint32_t> m_order;
    std::vector<float> m_sums;
    std::vector<float> m_vectors;
};

struct Cluster {
    std::vector<uint32_t> members;
    double error = 0;
    std::vector<double> mean;
    size_t axis = 0;
};

void Measure(Cluster& c, const std::vector<float>& x, const DistinctBlocks& blocks, size_t dims) {
    std::vector<double> sum(dims, 0), sq(dims, 0);
    double weight = 0;
    for (uint32_t m : c.members) {
        const double w = blocks.Count(m);
        for (size_t k = 0; k < dims; ++k) {
            const double v = x[m * dims + k];
            sum[k] += w * v;
            sq[k] += w * v * v;
        }
        weight += w;
    }
    c.mean.assign(dims, 0);
    c.error = 0;
    double widest = -1;
    for (size_t k = 0; k < dims; ++k) {
        c.mean[k] = sum[k] / weight;
        const double spread = sq[k] - sum[k] * sum[k] / weight;
        c.error += spread;
        if (spread > widest) {
            widest = spread;
            c.axis = k;
        }
    }
}

// The first centres: the cluster with the largest error is cut at its mean along its widest
// component until there are `count` clusters.
std::vector<float> SplitCentres(const std::vector<float>& x, const DistinctBlocks& blocks,
                                size_t dims, size_t count) {
    std::vector<Cluster> clusters(1);
    clusters[0].members.resize(blocks.Size());
    std::iota(clusters[0].members.begin(), clusters[0].members.end(), 0u);
    Measure(clusters[0], x, blocks, dims);
    std::priority_queue<std::pair<double, size_t>> queue;
    queue.push({clusters[0].error, 0});
    while (clusters.size() < count && !queue.empty()) {
        const size_t at = queue.top().second;
        queue.pop();
        Cluster& c = clusters[at];
        Cluster other;
        std::vector<uint32_t> keep;
        for (uint32_t m : c.members) {
            (x[m * dims + c.axis] < c.mean[c.axis] ? keep : other.members).push_back(m);
        }
        if (keep.empty() || other.members.empty()) continue;  // all alike: stays as it is
        c.members = std::move(keep);
        Measure(c, x, blocks, dims);
        Measure(other, x, blocks, dims);
        queue.push({c.error, at});
        queue.push({other.error, clusters.size()});
        clusters.push_back(std::move(other));
    }
    std::vector<float> centres;
    centres.reserve(clusters.size() * dims);
    for (const Cluster& c : clusters) {
        for (double v : c.mean) centres.push_back(static_cast<float>(v));
    }
    return centres;
}

// One round of k-means: each block to its nearest centre, each centre to its blocks' mean.
void Refine(std::vector<float>& centres, const std::vector<float>& x, const DistinctBlocks& blocks,
            size_t dims) {
    const NearestSearch search(centres, dims);
    std::vector<double> sum(centres.size(), 0);
    std::vector<double> weight(centres.size() / dims, 0);
    for (size_t i = 0; i < blocks.Size(); ++i) {
        const uint32_t c = search.Find(&x[i * dims]);
        const double w = blocks.Count(i);
        for (size_t k = 0; k < dims; ++k) sum[c * dims + k] += w * x[i * dims + k];
        weight[c] += w;
    }
    for (size_t c = 0; c < weight.size(); ++c) {
        if (weight[c] == 0) continue;
        for (size_t k = 0; k < dims; ++k) {
            centres[c * dims + k] = static_cast<float>(sum[c * dims + k] / weight[c]);
        }
    }
}

struct Codebook {
    std::vector<uint8_t> entries;  // palette indices
    std::vector<int32_t> entryOf;  // per distinct block
};

// Up to maxEntries entries: the distinct blocks themselves when they fit, else trained centres
// drawn in palette colours, each block taking the nearest of them as drawn.
Codebook TrainCodebook(const DistinctBlocks& blocks, PaletteMap& map, size_t pixels,
                       const QuantiserSettings& settings) {
    Codebook book;
    const size_t dims = 3 * pixels;
    const auto limit = static_cast<size_t>(std::max(1, settings.maxEntries));
    if (blocks.Size() <= limit) {
        book.entries = blocks.patterns;
        book.entryOf.resize(blocks.Size());
        std::iota(book.entryOf.begin(), book.entryOf.end(), 0);
        return book;
    }
    const std::vector<float> x = blocks.Means();
    std::vector<float> centres = SplitCentres(x, blocks, dims, limit);
    for (int32_t r = 0; r < settings.refinements; ++r) Refine(centres, x, blocks, dims);
    const size_t count = centres.size() / dims;
    book.entries.resize(count * pixels);
    std::vector<float> drawn(centres.size());
    const Palette& pal = map.Colours();
    for (size_t p = 0; p < count * pixels; ++p) {
        const auto at = [&](size_t k) {
            return static_cast<int32_t>(std::lround(centres[3 * p + k]));
        };
        const uint8_t n = map.NearestOf(at(0), at(1), at(2));
        book.entries[p] = n;
        for (size_t k = 0; k < 3; ++k) drawn[3 * p + k] = 4.0f * pal[3 * size_t{n} + k];
    }
    const NearestSearch search(drawn, dims);
    book.entryOf.resize(blocks.Size());
    for (size_t i = 0; i < blocks.Size(); ++i) {
        book.entryOf[i] = static_cast<int32_t>(search.Find(&x[i * dims]));
    }
    return book;
}

// Reads one block: its source colours (red, green, blue per pixel), its palette indices, and
// whether it is flat enough to be solid (then `colour` is that colour).
bool ReadBlock(const std::vector<uint8_t>& frame, const BlockGrid& g, int32_t bx, int32_t by,
               PaletteMap& map, float* rgb, uint8_t* pattern, double tolerance, uint8_t& colour) {
    double mean[3] = {0, 0, 0};
    size_t p = 0;
    bool same = true;
    for (int32_t y = 0; y < g.blockHeight; ++y) {
        const uint8_t* src = &frame[3 * (size_t(by * g.blockHeight + y) * size_t(g.width) +
                                         size_t(bx * g.blockWidth))];
        for (int32_t x = 0; x < g.blockWidth; ++x, ++p, src += 3) {
            rgb[3 * p] = src[2];
            rgb[3 * p + 1] = src[1];
            rgb[3 * p + 2] = src[0];
            for (size_t k = 0; k < 3; ++k) mean[k] += rgb[3 * p + k];
            pattern[p] = map.Nearest(PackColour(To6Bit(src[2]), To6Bit(src[1]), To6Bit(src[0])));
            same = same && pattern[p] == pattern[0];
        }
    }
    colour = pattern[0];
    if (same) return true;
    double spread = 0;
    for (size_t k = 0; k < 3; ++k) mean[k] /= double(p);
    for (size_t i = 0; i < p; ++i) {
        for (size_t k = 0; k < 3; ++k)
            spread += (rgb[3 * i + k] - mean[k]) * (rgb[3 * i + k] - mean[k]);
    }
    if (spread > tolerance * double(p)) return false;
    colour = map.NearestOf(int32_t(std::lround(mean[0])), int32_t(std::lround(mean[1])),
                           int32_t(std::lround(mean[2])));
    return true;
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
    DistinctBlocks distinct(pixels);
    std::vector<BlockRef> refs;
    refs.reserve(frames.size() * blocks);
    std::vector<float> rgb(3 * pixels);
    std::vector<uint8_t> pattern(pixels);
    for (const std::vector<uint8_t>& frame : frames) {
        for (int32_t by = 0; by < g.Rows(); ++by) {
            for (int32_t bx = 0; bx < g.Columns(); ++bx) {
                uint8_t colour = 0;
                const bool solid = ReadBlock(frame, g, bx, by, map, rgb.data(), pattern.data(),
                                             settings.solidTolerance, colour);
                refs.push_back({solid ? -1 : distinct.Add(pattern.data(), rgb.data()), colour});
            }
        }
    }
    Codebook book = TrainCodebook(distinct, map, pixels, settings);
    QuantisedGroup out;
    out.codebook = book.entries.empty() ? std::vector<uint8_t>(pixels, 0) : std::move(book.entries);
    const Palette& pal = map.Colours();
    for (size_t f = 0; f < frames.size(); ++f) {
        std::vector<uint8_t> table(2 * blocks);
        std::vector<uint8_t> image(size_t(g.width) * size_t(g.height) * 3);
        for (size_t k = 0; k < blocks; ++k) {
            const BlockRef ref = refs[f * blocks + k];
            const auto bx = static_cast<int32_t>(k % size_t(g.Columns()));
            const auto by = static_cast<int32_t>(k / size_t(g.Columns()));
            if (ref.unique < 0) {
                table[k] = ref.colour;
                table[blocks + k] = kSolidHighByte;
                DrawBlock(image, g, bx, by, pal, &ref.colour, true);
                continue;
            }
            const auto entry = static_cast<size_t>(book.entryOf[size_t(ref.unique)]);
            table[k] = static_cast<uint8_t>(entry & 0xFF);
            table[blocks + k] = static_cast<uint8_t>(entry >> 8);
            DrawBlock(image, g, bx, by, pal, &out.codebook[entry * pixels], false);
        }
        out.pointerTables.push_back(std::move(table));
        out.images.push_back(std::move(image));
    }
    return out;
}

}  // namespace rw
