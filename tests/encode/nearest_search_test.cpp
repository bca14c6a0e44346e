// The nearest-entry search against a plain scan of every entry, on random codebooks: spread
// evenly, in tight clusters with exact duplicates, and flat along all but a few components; and
// the nearest palette colour the same way, to the entry number.
#include "encode/nearest_search.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "encode/palette.h"

namespace rw {
namespace {

enum class Layout { Even, Clusters, Thin };

struct Book {
    const char* name;
    size_t count, dims;
    Layout layout;
};

std::vector<float> MakeVectors(const Book& b, size_t count, std::mt19937& random) {
    std::uniform_real_distribution<float> any(0.0f, 255.0f), near(-3.0f, 3.0f);
    std::vector<float> centre(b.dims);
    std::vector<float> out;
    for (size_t i = 0; i < count; ++i) {
        if (i % 16 == 0) {
            for (float& c : centre) c = any(random);
        }
        for (size_t k = 0; k < b.dims; ++k) {
            switch (b.layout) {
                case Layout::Even:
                    out.push_back(any(random));
                    break;
                case Layout::Clusters:
                    out.push_back(i % 4 == 1 ? out[out.size() - b.dims] : centre[k] + near(random));
                    break;
                case Layout::Thin:
                    out.push_back(k < 2 ? any(random) : 100.0f + 0.01f * near(random));
                    break;
            }
        }
    }
    return out;
}

double Distance(const float* a, const float* b, size_t dims) {
    double d = 0;
    for (size_t k = 0; k < dims; ++k) d += (double(a[k]) - b[k]) * (double(a[k]) - b[k]);
    return d;
}

class NearestSearchBook : public ::testing::TestWithParam<Book> {};

TEST_P(NearestSearchBook, FindsWhatAScanOfEveryEntryFinds) {
    const Book& b = GetParam();
    std::mt19937 random(static_cast<uint32_t>(b.count * 31 + b.dims));
    const std::vector<float> book = MakeVectors(b, b.count, random);
    const std::vector<float> queries = MakeVectors(b, 300, random);
    const NearestSearch search(book, b.dims);
    std::uniform_int_distribution<uint32_t> anyEntry(0, static_cast<uint32_t>(b.count - 1));
    for (size_t q = 0; q < 300; ++q) {
        const float* x = &queries[q * b.dims];
        double best = std::numeric_limits<double>::max();
        for (size_t i = 0; i < b.count; ++i)
            best = std::min(best, Distance(x, &book[i * b.dims], b.dims));
        const uint32_t hint = q % 2 ? anyEntry(random) : NearestSearch::kNoHint;
        const NearestSearch::Hit hit = search.Find(x, hint);
        ASSERT_LT(hit.index, b.count);
        const double found = Distance(x, &book[hit.index * b.dims], b.dims);
        EXPECT_LE(found, best * (1 + 1e-5) + 1e-3) << "query " << q;
        EXPECT_NEAR(hit.distance, found, found * 1e-5 + 1e-3) << "query " << q;
    }
}

INSTANTIATE_TEST_SUITE_P(Books, NearestSearchBook,
                         ::testing::Values(Book{"OneEntry", 1, 24, Layout::Even},
                                           Book{"Colours", 256, 3, Layout::Even},
                                           Book{"Blocks4x2", 3840, 24, Layout::Even},
                                           Book{"ClusteredBlocks4x2", 3840, 24, Layout::Clusters},
                                           Book{"ThinBlocks4x4", 1000, 48, Layout::Thin},
                                           Book{"LargestBlocks", 200, 768, Layout::Clusters}),
                         [](const auto& info) { return std::string(info.param.name); });

// Palettes of 256 colours at 8 bits (shift 5) and of 37 centres at a sixteenth of a 6-bit step
// (shift 7), spread evenly and bunched with duplicates: the first of the equally near points.
TEST(NearestGrid, FindsTheFirstOfTheNearestAsAScanDoes) {
    std::mt19937 random(7);
    for (const auto& [count, shift, bunched] :
         {std::tuple{256, 5, false}, {256, 5, true}, {37, 7, false}, {37, 7, true}}) {
        const int32_t top = 8 << shift;
        std::uniform_int_distribution<int32_t> any(0, top - 1), near(top / 2 - 9, top / 2 + 9);
        std::vector<int32_t> points;
        for (int32_t i = 0; i < 3 * count; ++i)
            points.push_back(bunched ? near(random) : any(random));
        if (bunched) std::copy_n(points.begin(), 30, points.end() - 30);
        const NearestGrid grid(points, shift);
        for (int q = 0; q < 3000; ++q) {
            const int32_t c[3] = {any(random), q % 2 ? near(random) : any(random), any(random)};
            int32_t best = INT32_MAX, first = 0;
            for (int32_t j = 0; j < count; ++j) {
                int32_t d = 0;
                for (int k = 0; k < 3; ++k)
                    d += (c[k] - points[3 * j + k]) * (c[k] - points[3 * j + k]);
                if (d < best) best = d, first = j;
            }
            ASSERT_EQ(grid.Nearest(c[0], c[1], c[2]), first)
                << "query " << q << ", shift " << shift;
        }
    }
}

}  // namespace
}  // namespace rw
