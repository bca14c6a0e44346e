// The even-enlargement way of making 4:2:0 frames (colours converted at the source size, planes
// enlarged) against the general way (enlarge, then convert), like a fast function against its
// reference: the same frames up to one step of rounding.
#include "compressed/picture_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace rw::av {
namespace {

struct Sizes {
    int width, height, scale;
};

class PictureConversionTest : public ::testing::TestWithParam<Sizes> {};

TEST_P(PictureConversionTest, EvenEnlargementMatchesTheGeneralWay) {
    const auto [w, h, s] = GetParam();
    std::mt19937 random(7);
    std::vector<uint8_t> picture(size_t(w) * h * 3);
    for (auto& b : picture) b = uint8_t(random());
    auto fast = PictureConversion::Make(w, h, s, w * s, h * s, AV_PIX_FMT_YUV420P);
    auto general = PictureConversion::Make(w, h, s, w * s, h * s, AV_PIX_FMT_YUV420P, false);
    ASSERT_TRUE(fast && general);
    FramePtr frames[2] = {FramePtr(av_frame_alloc()), FramePtr(av_frame_alloc())};
    for (auto& f : frames) {
        f->format = AV_PIX_FMT_YUV420P;
        f->width = w * s;
        f->height = h * s;
        ASSERT_GE(av_frame_get_buffer(f.get(), 0), 0);
    }
    ASSERT_TRUE(fast->Convert(picture, *frames[0]));
    ASSERT_TRUE(general->Convert(picture, *frames[1]));
    int worst = 0;
    for (int p = 0; p < 3; ++p) {
        const int pw = p ? w * s / 2 : w * s, ph = p ? h * s / 2 : h * s;
        for (int y = 0; y < ph; ++y) {
            for (int x = 0; x < pw; ++x) {
                const int a = frames[0]->data[p][y * frames[0]->linesize[p] + x];
                const int b = frames[1]->data[p][y * frames[1]->linesize[p] + x];
                worst = std::max(worst, std::abs(a - b));
            }
        }
    }
    EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PictureConversionTest,
                         ::testing::Values(Sizes{32, 20, 2}, Sizes{17, 9, 2}, Sizes{10, 6, 4}));

}  // namespace
}  // namespace rw::av
