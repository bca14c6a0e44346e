// The LCW compressor, read back by the project's reader. (Whole synthesised videos
// are read back by the end-to-end conversions.)
#include "encode/lcw_compress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/synth/scene.h"
#include "vqa/lcw.h"

namespace rw {
namespace {

TEST(CompressLcw, UnpacksToItsInput) {
    synth::Random random(11);
    std::vector<std::vector<uint8_t>> inputs;
    inputs.push_back({});
    inputs.push_back(std::vector<uint8_t>(70000, 0x0F));
    inputs.push_back(std::vector<uint8_t>(65535, 0x41));
    inputs.push_back(std::vector<uint8_t>(65536, 0x41));
    std::vector<uint8_t> noise(3000);
    for (auto& b : noise) b = static_cast<uint8_t>(random.Below(256));
    inputs.push_back(noise);
    std::vector<uint8_t> farRepeats(65600);  // noise past 64 KiB, then copies from near and far
    for (auto& b : farRepeats) b = static_cast<uint8_t>(random.Below(256));
    const std::vector<uint8_t> early(farRepeats.begin() + 100, farRepeats.begin() + 5000),
        late(farRepeats.end() - 3000, farRepeats.end());
    farRepeats.insert(farRepeats.end(), early.begin(), early.end());
    farRepeats.insert(farRepeats.end(), late.begin(), late.end());
    inputs.push_back(farRepeats);
    std::vector<uint8_t> mixed;
    while (mixed.size() < 140000) {
        mixed.insert(mixed.end(), static_cast<size_t>(random.Below(80)),
                     static_cast<uint8_t>(random.Below(4)));
        const size_t from =
            static_cast<size_t>(random.Below(static_cast<int32_t>(mixed.size() + 1)));
        const size_t len =
            std::min<size_t>(static_cast<size_t>(random.Below(300)), mixed.size() - from);
        std::vector<uint8_t> copy(mixed.begin() + static_cast<ptrdiff_t>(from),
                                  mixed.begin() + static_cast<ptrdiff_t>(from + len));
        mixed.insert(mixed.end(), copy.begin(), copy.end());
        mixed.push_back(static_cast<uint8_t>(random.Below(256)));
    }
    inputs.push_back(mixed);
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("input " + std::to_string(i));
        auto unpacked = DecompressLcw(CompressLcw(inputs[i]));
        ASSERT_TRUE(unpacked.ok()) << unpacked.error().message;
        EXPECT_TRUE(*unpacked == inputs[i]);
    }
}

}  // namespace
}  // namespace rw
