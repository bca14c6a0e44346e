// The decoder's worked examples and limits. (Decoding frame after frame from the carried state is
// held against the synthesiser's encoder in the end-to-end conversions.)
#include "vqa/ima_adpcm.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

int16_t SampleAt(const Bytes& pcm, size_t i) {
    return static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
}

TEST(ImaAdpcm, DecodesTheWorkedExamplesFromZero) {
    const struct {
        const char* name;
        Bytes input, output;
        int32_t predictorAfter, stepIndexAfter;
    } cases[] = {
        // 7*7/4 + 7/8 = 12, index 8; then step 16: 0 + 2 = 2, index 7.
        {"Byte07LowNibbleFirst", Hex("07"), Hex("0C 00 0E 00"), 14, 7},
        // Sign set, magnitude 0: -(0 + 7/8) = 0; the index stays at 0.
        {"Byte08", Hex("08"), Hex("00 00 00 00"), 0, 0},
        // One multiplication: 7*3/4 + 0 = 5 (the shift-sum form would give 4). Index stays 0.
        {"Magnitude3AddsFive", Hex("33"), Hex("05 00 0A 00"), 10, 0},
        // -12, index 8; then step 16: +2 -> -10, index 7.
        {"Byte0FNegative", Hex("0F"), Hex("F4 FF F6 FF"), -10, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImaAdpcmState state;
        EXPECT_EQ(DecodeImaAdpcm(c.input, state), c.output);
        EXPECT_EQ(state.predictor, c.predictorAfter);
        EXPECT_EQ(state.stepIndex, c.stepIndexAfter);
    }
}

// Code 7 raises the index by 8 a sample: 88 is reached and never passed, and the predictor moves
// monotonically to the limit and stays there.
TEST(ImaAdpcm, LongRunsClampAndHold) {
    for (const auto& [byte, limit, limitBytes] :
         {std::tuple{0x77, 32767, Hex("FF 7F")}, std::tuple{0xFF, -32768, Hex("00 80")}}) {
        SCOPED_TRACE(limit);
        ImaAdpcmState state;
        Bytes pcm = DecodeImaAdpcm(Bytes(200, static_cast<uint8_t>(byte)), state);
        ASSERT_EQ(pcm.size(), 800u);
        EXPECT_EQ(state.stepIndex, 88);
        EXPECT_EQ(state.predictor, limit);
        for (size_t i = 300; i < 400; ++i) ASSERT_EQ(SampleAt(pcm, i), limit) << i;
        EXPECT_EQ(Bytes(pcm.end() - 2, pcm.end()), limitBytes);
        for (size_t i = 1; i < 400; ++i) {
            ASSERT_GE((SampleAt(pcm, i) - SampleAt(pcm, i - 1)) * (limit > 0 ? 1 : -1), 0) << i;
        }
    }
}

TEST(ImaAdpcm, IntoWritesExactlyFourBytesPerInputByte) {
    Bytes out(12, 0xAA);
    ImaAdpcmState state;
    DecodeImaAdpcmInto(Hex("07 08"), state, out);
    ImaAdpcmState fresh;
    Bytes expected = DecodeImaAdpcm(Hex("07 08"), fresh);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), expected);
    EXPECT_EQ(Bytes(out.begin() + 8, out.end()), Bytes(4, 0xAA));
}

}  // namespace
}  // namespace rw
