#include "wav/wav_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "tests/support/bytes.h"

namespace rw {
namespace {

TEST(WavFile, WritesMonoPcmThatReadsBackAtItsRate) {
    const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234};
    for (uint32_t rate : {11025u, 22050u, 8000u}) {
        auto file = EncodeWav(samples, rate);
        ASSERT_TRUE(file.ok());
        EXPECT_EQ(file->size(), kWavHeaderSize + 2 * samples.size());
        EXPECT_EQ(test::Le32(*file, 28), 2 * rate);
        auto back = DecodeWav(*file);
        ASSERT_TRUE(back.ok()) << back.error().message;
        EXPECT_EQ(back->rate, rate);
        EXPECT_EQ(back->channels, 1);
        EXPECT_EQ(back->samples, samples);
    }
}

TEST(WavFile, HeaderCountsThePadByteOfAnOddLength) {
    auto odd = WavHeader(22050, 3);
    ASSERT_TRUE(odd.ok());
    EXPECT_EQ(test::Le32(*odd, 4), 36u + 4u);
    EXPECT_EQ(test::Le32(*odd, 40), 3u);
    EXPECT_FALSE(WavHeader(0, 2).ok());
    EXPECT_FALSE(WavHeader(22050, 0xFFFFFFF0u).ok());
}

TEST(WavFile, ReadsTheCorpusFormats) {
    struct Case {
        const char* file;
        uint32_t rate;
        uint16_t channels, bits;
        std::vector<int16_t> samples;
    } cases[] = {
        {"mono16-11025.wav", 11025, 1, 16, {0, 1000, -1000, 32767}},
        {"stereo8-8000.wav", 8000, 2, 8, {-32768, 0, 32512, -16384, 16384, -32512}},
        {"mono8-odd-list.wav", 22050, 1, 8, {-32512, -32256, -32000}},
        {"stereo16-extensible.wav", 44100, 2, 16, {1, -1, 2, -2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto bytes = ReadWholeFile(std::string(RW_SOURCE_DIR) + "/fuzz/corpus/fuzz_wav/" + c.file);
        ASSERT_TRUE(bytes.ok());
        auto sound = DecodeWav(*bytes);
        ASSERT_TRUE(sound.ok()) << sound.error().message;
        EXPECT_EQ(sound->rate, c.rate);
        EXPECT_EQ(sound->channels, c.channels);
        EXPECT_EQ(sound->bitsPerSample, c.bits);
        EXPECT_EQ(sound->samples, c.samples);
    }
}

TEST(WavFile, RefusesWhatItCannotReadWithAMessage) {
    auto good = EncodeWav(std::vector<int16_t>{1, 2}, 8000);
    ASSERT_TRUE(good.ok());
    auto withFormat = [&](size_t at, uint16_t value) {
        std::vector<uint8_t> f = *good;
        f[at] = uint8_t(value);
        f[at + 1] = uint8_t(value >> 8);
        return f;
    };
    struct Case {
        std::vector<uint8_t> file;
        const char* words;
    } cases[] = {
        {{}, "not a WAV file"},
        {withFormat(20, 2), "compressed sound (format 2)"},
        {withFormat(22, 6), "6 channels"},
        {withFormat(34, 24), "24-bit samples"},
        {std::vector<uint8_t>(good->begin(), good->begin() + 12), "no format chunk"},
    };
    for (const Case& c : cases) {
        auto sound = DecodeWav(c.file);
        ASSERT_FALSE(sound.ok()) << c.words;
        EXPECT_NE(sound.error().message.find(c.words), std::string::npos) << sound.error().message;
    }
}

}  // namespace
}  // namespace rw
