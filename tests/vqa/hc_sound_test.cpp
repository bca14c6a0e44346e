// The sound kinds of high-colour videos.
#include "vqa/hc_sound.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

// One channel's samples, as the 8-bit files' decoder gives them from a byte stream.
std::vector<int16_t> Samples(const Bytes& pcm) {
    std::vector<int16_t> samples(pcm.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    }
    return samples;
}

std::vector<int16_t> Mono(const Bytes& codes) {
    ImaAdpcmState state;
    return Samples(DecodeImaAdpcm(codes, state));
}

TEST(HighColourSound, MonoSnd2CarriesItsStateAcrossChunks) {
    HighColourSound sound(1, 16);
    Bytes out;
    sound.DecodeSnd2(Hex("74 37 07"), out);
    sound.DecodeSnd2(Hex("F8 0C"), out);
    EXPECT_EQ(Samples(out), Mono(Hex("74 37 07 F8 0C")));
    // The first nibble, 4, from predictor 0 and step 7: 7 * 4 / 4 + 7 / 8 = 7.
    EXPECT_EQ(Samples(out)[0], 7);
}

// Left bytes 74 07 0C and right bytes 37 F8, sent as two chunks that each start with the left
// channel; the second chunk's lone last left byte plays against the right channel held.
TEST(HighColourSound, StereoSnd2AlternatesBytesLeftFirstInEveryChunk) {
    HighColourSound sound(2, 16);
    Bytes out;
    sound.DecodeSnd2(Hex("74 37"), out);
    sound.DecodeSnd2(Hex("07 F8 0C"), out);
    const std::vector<int16_t> left = Mono(Hex("74 07 0C"));
    const std::vector<int16_t> right = Mono(Hex("37 F8"));
    std::vector<int16_t> expected;
    for (size_t i = 0; i < left.size(); ++i) {
        expected.push_back(left[i]);
        expected.push_back(i < right.size() ? right[i] : right.back());
    }
    EXPECT_EQ(Samples(out), expected);
}

TEST(HighColourSound, Snd0IsPlainPcm) {
    struct Case {
        const char* name;
        int32_t channels, bits;
        Bytes data;
        std::vector<int16_t> samples;
    };
    const Case cases[] = {
        {"EightBitsBecome16", 1, 8, Hex("00 80 FF 01"), {-32768, 0, 32512, -32512}},
        {"EightBitStereoDropsAHalfSample", 2, 8, Hex("80 81 7F"), {0, 256}},
        {"SixteenBitsAsTheyAre", 1, 16, Hex("01 80 FF 7F"), {-32767, 32767}},
        {"SixteenBitStereoDropsAPartialSample", 2, 16, Hex("01 00 02 00 03 00"), {1, 2}},
        {"OddSixteenBitChunk", 1, 16, Hex("05 00 07"), {5}},
    };
    for (const Case& c : cases) {
        HighColourSound sound(c.channels, c.bits);
        Bytes out = Hex("AA BB");  // appended to
        sound.DecodeSnd0(c.data, out);
        ASSERT_EQ(Bytes(out.begin(), out.begin() + 2), Hex("AA BB")) << c.name;
        EXPECT_EQ(Samples(Bytes(out.begin() + 2, out.end())), c.samples) << c.name;
    }
}

}  // namespace
}  // namespace rw
