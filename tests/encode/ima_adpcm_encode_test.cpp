// EncodeImaAdpcm, held against the project's decoder: what it says a decoder will produce, the
// state it leaves, and how near that comes to the input. (Encoding frame after frame from the
// carried state is checked by the end-to-end conversions, whose sound must match.)
#include "encode/ima_adpcm_encode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "vqa/ima_adpcm.h"

namespace rw {
namespace {

std::vector<int16_t> Decode(const std::vector<uint8_t>& codes, ImaAdpcmState& state) {
    const std::vector<uint8_t> pcm = DecodeImaAdpcm(codes, state);
    std::vector<int16_t> out(pcm.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    }
    return out;
}

std::vector<int16_t> Sine(size_t n, double freq, double amplitude) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * i / 22050)));
    }
    return v;
}

TEST(EncodeImaAdpcm, WorkedExample) {
    // From the zero state code 7 gives 12 (step 7) and code 0 then adds 16 / 8 = 2.
    ImaAdpcmState state;
    EXPECT_EQ(EncodeImaAdpcm(std::vector<int16_t>{12, 14}, state), std::vector<uint8_t>{0x07});
}

TEST(EncodeImaAdpcm, TracksTheDecoderAndTheInput) {
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        int32_t meanErrorAtMost;  // after the first 200 samples
    };
    std::vector<int16_t> square(4000);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 500) % 2 ? 12000 : -12000;
    const Case cases[] = {
        {"quiet sine", Sine(4000, 440, 300), 40},
        {"loud sine", Sine(4000, 440, 20000), 1500},
        {"square wave", square, 1500},
        {"full-scale high", std::vector<int16_t>(1000, 32767), 50},
        {"full-scale low", std::vector<int16_t>(1000, -32768), 50},
        {"odd count padded with the last sample", {12, 14, 14}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImaAdpcmState encoder;
        std::vector<int16_t> decoded;
        const std::vector<uint8_t> bytes = EncodeImaAdpcm(c.samples, encoder, &decoded);
        ASSERT_EQ(bytes.size(), (c.samples.size() + 1) / 2);

        ImaAdpcmState decoder;
        const std::vector<int16_t> reference = Decode(bytes, decoder);
        EXPECT_EQ(decoded, reference) << "the encoder's account differs from the decoder";
        EXPECT_EQ(encoder.predictor, decoder.predictor);
        EXPECT_EQ(encoder.stepIndex, decoder.stepIndex);

        const size_t skip = c.samples.size() > 200 ? 200 : 0;
        int64_t error = 0;
        for (size_t i = skip; i < c.samples.size(); ++i) {
            error += std::abs(int32_t{reference[i]} - c.samples[i]);
        }
        EXPECT_LE(error / static_cast<int64_t>(c.samples.size() - skip), c.meanErrorAtMost);
    }
}

}  // namespace
}  // namespace rw
