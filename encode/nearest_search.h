// The nearest of a set of vectors (codebook entries, cluster centres) by squared distance.
// Each vector is projected on the set's strongest principal axes; a k-d tree over these
// projections is searched nearest branch first, and a branch is skipped when the distance of the
// query to its box, over the projections, already rules it out (projections on orthonormal axes
// never exceed the true distance). Candidates in a leaf are screened the same way, and the
// survivors' distances are summed eight components at a time with an early exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rw {

class NearestSearch {
  public:
    static constexpr uint32_t kNoHint = UINT32_MAX;
    static constexpr size_t kAxes = 8;

    struct Hit {
        uint32_t index = 0;  // in the order the vectors were given
        float distance = 0;  // squared
    };

    // `vectors`: count * dims values, count >= 1.
    NearestSearch(std::span<const float> vectors, size_t dims);

    // The nearest vector to `x` (dims values). A `hint`, the index of a vector likely to be near,
    // only makes the search faster. `greedy` looks only in the query's own leaf of the tree and
    // at the hint: much faster, and near but not always nearest.
    Hit Find(const float* x, uint32_t hint = kNoHint, bool greedy = false) const;

  private:
    struct Node {
        uint32_t begin, end;         // positions covered
        uint32_t low = 0, high = 0;  // children; none for a leaf
        uint32_t axis = 0;
        float split = 0;
    };
    struct Query;

    void ChooseAxes(std::span<const float> vectors);
    uint32_t Build(std::vector<uint32_t>& order, const std::vector<float>& projection,
                   uint32_t begin, uint32_t end);
    void Search(uint32_t node, float reach, Query& q) const;
    float Distance(const float* q, size_t at, float limit) const;

    std::vector<Node> m_nodes;
    size_t m_dims, m_stride, m_count;
    std::vector<float> m_axes;         // kAxes unit vectors of m_stride values
    std::vector<float> m_vectors;      // in tree order, padded to m_stride
    std::vector<float> m_projection;   // kAxes per vector, in tree order
    std::vector<uint32_t> m_order;     // given index of each position
    std::vector<uint32_t> m_position;  // position of each given index
};

}  // namespace rw
