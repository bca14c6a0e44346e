#include "encode/nearest_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace rw {
namespace {

// Four floats at once: SSE on every x86-64, whatever the compiler is told about the processor.
using F4 = float __attribute__((vector_size(16)));

inline F4 Load(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline float Sum(F4 v) {
    return (v[0] + v[1]) + (v[2] + v[3]);
}

constexpr size_t kMaxStride = 16 * 16 * 3;  // the largest block the encoder takes
constexpr size_t kAxisSamples = 1024;
constexpr int kPowerRounds = 8;

float Dot(const float* a, const float* b, size_t n) {
    F4 acc = {0, 0, 0, 0};
    for (size_t k = 0; k < n; k += 4) acc += Load(a + k) * Load(b + k);
    return Sum(acc);
}

constexpr uint32_t kLeaf = 16;

}  // namespace

NearestSearch::NearestSearch(std::span<const float> vectors, size_t dims)
    : m_dims(dims), m_stride((dims + 7) / 8 * 8), m_count(dims ? vectors.size() / dims : 0) {
    if (dims == 0 || dims > kMaxStride || m_count == 0 || m_count >= UINT32_MAX) {
        throw std::invalid_argument("nearest search over no vectors or too many dimensions");
    }
    ChooseAxes(vectors);
    std::vector<float> padded(m_stride, 0.0f);
    std::vector<float> projection(m_count * kAxes);
    for (size_t i = 0; i < m_count; ++i) {
        std::copy_n(&vectors[i * dims], dims, padded.begin());
        for (size_t a = 0; a < kAxes; ++a) {
            projection[i * kAxes + a] = Dot(&m_axes[a * m_stride], padded.data(), m_stride);
        }
    }
    m_order.resize(m_count);
    std::iota(m_order.begin(), m_order.end(), 0u);
    m_nodes.reserve(2 * m_count / kLeaf + 2);
    Build(m_order, projection, 0, static_cast<uint32_t>(m_count));
    m_vectors.assign(m_count * m_stride, 0.0f);
    m_projection.resize(m_count * kAxes);
    m_position.resize(m_count);
    for (size_t at = 0; at < m_count; ++at) {
        const size_t i = m_order[at];
        m_position[i] = static_cast<uint32_t>(at);
        std::copy_n(&vectors[i * dims], dims, &m_vectors[at * m_stride]);
        std::copy_n(&projection[i * kAxes], kAxes, &m_projection[at * kAxes]);
    }
}

// A node over order[begin, end): split at the median of the projection that spreads widest.
uint32_t NearestSearch::Build(std::vector<uint32_t>& order, const std::vector<float>& projection,
                              uint32_t begin, uint32_t end) {
    const auto id = static_cast<uint32_t>(m_nodes.size());
    m_nodes.push_back({begin, end});
    if (end - begin <= kLeaf) return id;
    float low[kAxes], high[kAxes];
    std::fill(low, low + kAxes, std::numeric_limits<float>::max());
    std::fill(high, high + kAxes, std::numeric_limits<float>::lowest());
    for (uint32_t at = begin; at < end; ++at) {
        for (size_t a = 0; a < kAxes; ++a) {
            low[a] = std::min(low[a], projection[order[at] * kAxes + a]);
            high[a] = std::max(high[a], projection[order[at] * kAxes + a]);
        }
    }
    size_t axis = 0;
    for (size_t a = 1; a < kAxes; ++a) {
        if (high[a] - low[a] > high[axis] - low[axis]) axis = a;
    }
    if (!(high[axis] > low[axis])) return id;  // all alike: one leaf
    const uint32_t mid = begin + (end - begin) / 2;
    const auto key = [&](uint32_t i) { return projection[i * kAxes + axis]; };
    std::nth_element(order.begin() + begin, order.begin() + mid, order.begin() + end,
                     [&](uint32_t x, uint32_t y) { return key(x) < key(y); });
    const float split = key(order[mid]);
    const uint32_t lowChild = Build(order, projection, begin, mid);
    const uint32_t highChild = Build(order, projection, mid, end);
    Node& node = m_nodes[id];
    node.low = lowChild;
    node.high = highChild;
    node.axis = static_cast<uint32_t>(axis);
    node.split = split;
    return id;
}

// The strongest axes of (a sample of) the vectors by power iteration, each kept orthogonal to
// the ones before; an axis the vectors do not spread along is left zero.
void NearestSearch::ChooseAxes(std::span<const float> vectors) {
    const size_t step = std::max<size_t>(1, m_count / kAxisSamples);
    std::vector<float> sample, mean(m_stride, 0.0f);
    size_t taken = 0;
    for (size_t i = 0; i < m_count; i += step, ++taken) {
        sample.insert(sample.end(), &vectors[i * m_dims], &vectors[i * m_dims] + m_dims);
        sample.resize(taken * m_stride + m_stride, 0.0f);
        for (size_t k = 0; k < m_dims; ++k) mean[k] += vectors[i * m_dims + k];
    }
    for (float& v : mean) v /= static_cast<float>(taken);
    for (size_t i = 0; i < taken; ++i) {
        for (size_t k = 0; k < m_dims; ++k) sample[i * m_stride + k] -= mean[k];
    }
    m_axes.assign(kAxes * m_stride, 0.0f);
    std::vector<float> next(m_stride);
    float strongest = 0;
    for (size_t a = 0; a < kAxes; ++a) {
        float* axis = &m_axes[a * m_stride];
        for (size_t k = 0; k < m_dims; ++k) axis[k] = 1.0f + 0.1f * float((k * 7 + a * 3) % 11);
        for (int round = 0; round < kPowerRounds; ++round) {
            std::fill(next.begin(), next.end(), 0.0f);
            for (size_t i = 0; i < taken; ++i) {
                const float* x = &sample[i * m_stride];
                const float along = Dot(x, axis, m_stride);
                for (size_t k = 0; k < m_dims; ++k) next[k] += along * x[k];
            }
            for (int pass = 0; pass < 2; ++pass) {  // twice: once leaves float residue
                for (size_t b = 0; b < a; ++b) {
                    const float* earlier = &m_axes[b * m_stride];
                    const float overlap = Dot(next.data(), earlier, m_stride);
                    for (size_t k = 0; k < m_dims; ++k) next[k] -= overlap * earlier[k];
                }
            }
            const float norm = std::sqrt(Dot(next.data(), next.data(), m_stride));
            if (a == 0) strongest = norm;
            const float scale = norm > 1e-4f * strongest && norm > 0 ? 1.0f / norm : 0.0f;
            for (size_t k = 0; k < m_stride; ++k) axis[k] = next[k] * scale;
            if (scale == 0.0f) break;
        }
    }
}

// The squared distance from `q` to the vector at `at`, or some value at least `limit` once the
// sum passes it.
float NearestSearch::Distance(const float* q, size_t at, float limit) const {
    const float* v = &m_vectors[at * m_stride];
    F4 acc = {0, 0, 0, 0};
    for (size_t k = 0; k < m_stride; k += 8) {
        const F4 d0 = Load(q + k) - Load(v + k), d1 = Load(q + k + 4) - Load(v + k + 4);
        acc += d0 * d0 + d1 * d1;
        if (k + 8 < m_stride && Sum(acc) >= limit) break;
    }
    return Sum(acc);
}

struct NearestSearch::Query {
    alignas(16) float x[kMaxStride];
    alignas(16) float along[kAxes];
    float offset[kAxes];  // how far outside the current box, per projection
    float best;
    size_t bestAt;
    bool greedy;
};

// Searches below `node`, whose box lies at squared distance `reach` from the query over the
// projections: the nearer child first, the farther one only while its box might hold something
// nearer than the best so far.
void NearestSearch::Search(uint32_t id, float reach, Query& q) const {
    const Node& node = m_nodes[id];
    if (node.low == node.high) {
        const F4 p0 = Load(q.along), p1 = Load(q.along + 4);
        for (uint32_t at = node.begin; at < node.end; ++at) {
            const F4 d0 = Load(&m_projection[at * kAxes]) - p0;
            const F4 d1 = Load(&m_projection[at * kAxes + 4]) - p1;
            if (Sum(d0 * d0 + d1 * d1) >= q.best) continue;
            const float distance = Distance(q.x, at, q.best);
            if (distance < q.best) {
                q.best = distance;
                q.bestAt = at;
            }
        }
        return;
    }
    const float gap = q.along[node.axis] - node.split;
    Search(gap < 0 ? node.low : node.high, reach, q);
    const float old = q.offset[node.axis];
    const float farReach = reach - old * old + gap * gap;
    if (farReach >= q.best || q.greedy) return;
    q.offset[node.axis] = gap;
    Search(gap < 0 ? node.high : node.low, farReach, q);
    q.offset[node.axis] = old;
}

NearestSearch::Hit NearestSearch::Find(const float* x, uint32_t hint, bool greedy) const {
    Query q;
    q.greedy = greedy;
    std::copy_n(x, m_dims, q.x);
    std::fill(q.x + m_dims, q.x + m_stride, 0.0f);
    for (size_t a = 0; a < kAxes; ++a) {
        q.along[a] = Dot(&m_axes[a * m_stride], q.x, m_stride);
        q.offset[a] = 0;
    }
    q.best = std::numeric_limits<float>::max();
    q.bestAt = 0;
    if (hint < m_count) {
        q.bestAt = m_position[hint];
        q.best = Distance(q.x, q.bestAt, q.best);
    }
    Search(0, 0.0f, q);
    return {m_order[q.bestAt], q.best};
}

}  // namespace rw
