// EncodeImaAdpcm, checked by a decoder of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "tools/synth/vqa_synth.h"

namespace rw::synth {
namespace {

// Decodes codes low nibble first: difference (step * magnitude) / 4 + step / 8, negated by the sign
// bit, predictor clamped to 16 bits, step index moved by {-1,-1,-1,-1,2,4,6,8} within 0..88.
std::vector<int16_t> DecodeReference(const std::vector<uint8_t>& bytes, ImaAdpcmState& s) {
    static const int32_t kSteps[89] = {
        7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
        25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
        88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
        307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
        1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
        3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
        12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static const int32_t kAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    std::vector<int16_t> out;
    for (uint8_t byte : bytes) {
        for (int code : {byte & 0x0F, byte >> 4}) {
            const int32_t step = kSteps[s.stepIndex];
            int32_t diff = (step * (code & 7)) / 4 + step / 8;
            if (code & 8) diff = -diff;
            s.predictor = std::clamp(s.predictor + diff, -32768, 32767);
            s.stepIndex = std::clamp(s.stepIndex + kAdjust[code & 7], 0, 88);
            out.push_back(static_cast<int16_t>(s.predictor));
        }
    }
    return out;
}

std::vector<int16_t> Sine(size_t n, double freq, double amplitude, int rate = 22050) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * i / rate)));
    }
    return v;
}

TEST(EncodeImaAdpcm, WorkedExamples) {
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        // From the zero state code 7 gives 12 (step 7) and code 0 then adds 16 / 8 = 2.
        {"12 then 14 is the byte 07", {12, 14}, {0x07}},
        {"silence from the zero state", {0, 0, 0, 0}, {0x00, 0x00}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImaAdpcmState state;
        EXPECT_EQ(EncodeImaAdpcm(c.samples, state), c.expected);
    }
}

TEST(EncodeImaAdpcm, TracksTheDecoderModel) {
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        int32_t meanErrorAtMost;  // after the first 200 samples
    };
    std::vector<int16_t> steps(4000);
    for (size_t i = 0; i < steps.size(); ++i) steps[i] = (i / 500) % 2 ? 12000 : -12000;
    const Case cases[] = {
        {"quiet sine", Sine(4000, 440, 300), 40},
        {"loud sine", Sine(4000, 440, 20000), 1500},
        {"low sine", Sine(4000, 55, 8000), 200},
        {"square wave", steps, 1500},
        {"full-scale high", std::vector<int16_t>(1000, 32767), 50},
        {"full-scale low", std::vector<int16_t>(1000, -32768), 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImaAdpcmState encoder;
        std::vector<int16_t> decoded;
        const std::vector<uint8_t> bytes = EncodeImaAdpcm(c.samples, encoder, &decoded);
        ASSERT_EQ(bytes.size(), c.samples.size() / 2);

        ImaAdpcmState decoder;
        const std::vector<int16_t> reference = DecodeReference(bytes, decoder);
        EXPECT_EQ(decoded, reference) << "the encoder's account differs from a decoder";
        EXPECT_EQ(encoder.predictor, decoder.predictor);
        EXPECT_EQ(encoder.stepIndex, decoder.stepIndex);

        int64_t error = 0;
        for (size_t i = 200; i < c.samples.size(); ++i) {
            error += std::abs(int32_t{reference[i]} - c.samples[i]);
        }
        EXPECT_LE(error / static_cast<int64_t>(c.samples.size() - 200), c.meanErrorAtMost);
    }
}

TEST(EncodeImaAdpcm, ReachesBothEndsOfTheRange) {
    for (int16_t target : {int16_t{32767}, int16_t{-32768}}) {
        ImaAdpcmState state;
        std::vector<int16_t> decoded;
        (void)EncodeImaAdpcm(std::vector<int16_t>(400, target), state, &decoded);
        EXPECT_EQ(decoded.back(), target);
        EXPECT_EQ(state.predictor, target);
    }
}

TEST(EncodeImaAdpcm, ContinuesFromTheStateItWasGiven) {
    const std::vector<int16_t> samples = Sine(3000, 330, 9000);
    ImaAdpcmState whole;
    const std::vector<uint8_t> joined = EncodeImaAdpcm(samples, whole);

    ImaAdpcmState split;
    std::vector<uint8_t> pieces;
    for (size_t at = 0; at < samples.size(); at += 1000) {
        auto part = EncodeImaAdpcm(std::span(samples).subspan(at, 1000), split);
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    EXPECT_EQ(pieces, joined);
    EXPECT_EQ(split.predictor, whole.predictor);
    EXPECT_EQ(split.stepIndex, whole.stepIndex);
}

TEST(EncodeImaAdpcm, PadsAnOddCountWithTheLastSample) {
    ImaAdpcmState state;
    std::vector<int16_t> decoded;
    const std::vector<uint8_t> bytes =
        EncodeImaAdpcm(std::vector<int16_t>{12, 14, 14}, state, &decoded);
    ASSERT_EQ(bytes.size(), 2u);
    ASSERT_EQ(decoded.size(), 4u);
    ImaAdpcmState decoder;
    EXPECT_EQ(DecodeReference(bytes, decoder), decoded);
}

}  // namespace
}  // namespace rw::synth
