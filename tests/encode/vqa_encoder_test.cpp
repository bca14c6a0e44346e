// Whole files from the encoder, read back by the project's converter: no concealment, the pictures
// the encoder meant to the byte (codebook parts, switches and pointers included), the sound it
// meant to the sample, and the header fields other players rely on.
#include "encode/vqa_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "encode/vector_quantiser.h"
#include "tests/support/round_trip.h"
#include "tools/synth/scene.h"
#include "tools/synth/vqa_synth.h"

namespace rw {
namespace {

enum class Picture { Scene, Flat };

class TestFrames final : public EncodeFrames {
  public:
    TestFrames(int32_t frames, int32_t width, int32_t height, Picture kind)
        : m_frames(frames),
          m_width(width),
          m_height(height),
          m_kind(kind),
          m_scene(width, height, 3) {}
    int32_t Frames() const override { return m_frames; }
    int32_t Width() const override { return m_width; }
    int32_t Height() const override { return m_height; }
    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        if (m_kind == Picture::Scene) {
            m_scene.Render(frame, bgr);
        } else {
            for (size_t i = 0; i < bgr.size(); ++i)
                bgr[i] = static_cast<uint8_t>(frame * 20 + i % 3);
        }
        return {};
    }

  private:
    int32_t m_frames, m_width, m_height;
    Picture m_kind;
    synth::TrueColourScene m_scene;
};

class TuneSound final : public EncodeSound {
  public:
    Expected<size_t> Read(std::span<int16_t> out) override {
        const std::vector<int16_t> next = m_tune.Next(out.size());
        std::copy(next.begin(), next.end(), out.begin());
        return out.size();
    }

  private:
    synth::Tune m_tune{kEncodeSoundRate, 5};
};

struct Shape {
    const char* name;
    int32_t width, height, blockHeight, frames;
    Picture picture;
};

class EncodedFile : public ::testing::TestWithParam<Shape> {};

TEST_P(EncodedFile, ReadsBackAsTheEncoderMeantIt) {
    const Shape& s = GetParam();
    TestFrames frames(s.frames, s.width, s.height, s.picture);
    TuneSound sound;
    EncodeSettings settings;
    settings.blockHeight = s.blockHeight;
    EncodeRecord record;
    auto vqa = EncodeVqa(frames, &sound, settings, nullptr, &record);
    ASSERT_TRUE(vqa.ok()) << vqa.error().message;

    const test::RoundTrip back = test::ConvertBack(vqa->file);
    ASSERT_EQ(back.problem, "");
    EXPECT_EQ(back.properties, vqa->properties);
    EXPECT_EQ(back.properties.width, PadToBlocks(s.width, 4));
    EXPECT_EQ(back.properties.height, PadToBlocks(s.height, s.blockHeight));
    ASSERT_EQ(back.frames.size(), record.images.size());
    for (size_t f = 0; f < back.frames.size(); ++f)
        EXPECT_EQ(back.frames[f], record.images[f]) << "frame " << f;
    ASSERT_EQ(back.sound.size(), size_t(kEncodeLeadingSamples + kEncodeFrameSamples * s.frames));
    ASSERT_EQ(record.sound.size(), back.sound.size());
    for (size_t i = 0; i < back.sound.size(); ++i)
        ASSERT_EQ(back.sound[i], record.sound[i]) << "sample " << i;
    // The header fields the converter does not need but other players do: version 2, 15 frames a
    // second, 256 colours, and the largest codebook's entries.
    const std::vector<uint8_t>& file = vqa->file;
    auto le16 = [&](size_t at) { return file[at] | (file[at + 1] << 8); };
    EXPECT_EQ(le16(20), 2);
    EXPECT_EQ(file[32], 15);
    EXPECT_EQ(file[33], 8);
    EXPECT_EQ(le16(34), 256);
    size_t largest = 0;
    for (const auto& book : record.codebooks)
        largest = std::max(largest, book.size() / size_t(4 * s.blockHeight));
    EXPECT_EQ(size_t(le16(36)), largest);
}

INSTANTIATE_TEST_SUITE_P(Shapes, EncodedFile,
                         ::testing::Values(Shape{"TrainedCodebooks", 160, 120, 2, 17,
                                                 Picture::Scene},
                                           Shape{"PaddedBigBlocks", 61, 37, 4, 9, Picture::Scene},
                                           Shape{"OneFrame", 8, 2, 2, 1, Picture::Scene},
                                           Shape{"AllSolid", 16, 8, 2, 10, Picture::Flat}),
                         [](const auto& info) { return std::string(info.param.name); });

// Pictures held in memory.
class StoredFrames final : public EncodeFrames {
  public:
    StoredFrames(std::vector<std::vector<uint8_t>> frames, int32_t width, int32_t height)
        : m_frames(std::move(frames)), m_width(width), m_height(height) {}
    int32_t Frames() const override { return static_cast<int32_t>(m_frames.size()); }
    int32_t Width() const override { return m_width; }
    int32_t Height() const override { return m_height; }
    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        std::copy(m_frames[size_t(frame)].begin(), m_frames[size_t(frame)].end(), bgr.begin());
        return {};
    }
    const std::vector<uint8_t>& Frame(size_t f) const { return m_frames[f]; }

  private:
    std::vector<std::vector<uint8_t>> m_frames;
    int32_t m_width, m_height;
};

test::RoundTrip EncodeAndConvertBack(StoredFrames& frames, int32_t effort) {
    EncodeSettings settings;
    settings.effort = effort;
    auto vqa = EncodeVqa(frames, nullptr, settings, nullptr);
    if (vqa) return test::ConvertBack(vqa->file);
    test::RoundTrip failed;
    failed.problem = vqa.error().message;
    return failed;
}

// A true-colour scene of tens of thousands of colours a frame, more distinct blocks than a
// codebook holds: what comes back stays close to the source at every quality.
TEST(EncodeVqa, TrueColourComesBackCloseToItsSource) {
    constexpr int32_t kWidth = 160, kHeight = 120, kFrames = 16;
    TestFrames scene(kFrames, kWidth, kHeight, Picture::Scene);
    std::vector<std::vector<uint8_t>> pictures(kFrames);
    for (int32_t f = 0; f < kFrames; ++f) {
        pictures[size_t(f)].resize(size_t(kWidth) * kHeight * 3);
        ASSERT_TRUE(scene.Read(f, pictures[size_t(f)]).ok());
    }
    StoredFrames frames(pictures, kWidth, kHeight);
    for (const auto& [effort, minPsnr] : {std::pair{1, 37.5}, {2, 38.0}, {3, 38.0}}) {
        const test::RoundTrip back = EncodeAndConvertBack(frames, effort);
        ASSERT_EQ(back.problem, "");
        double sum = 0;
        for (size_t f = 0; f < back.frames.size(); ++f)
            sum += test::Psnr(frames.Frame(f), back.frames[f]);
        EXPECT_GE(sum / kFrames, minPsnr) << "effort " << effort;
    }
}

// A film that came from a VQA file: every group's blocks fit a codebook and its colours a
// palette, so every picture comes back to the byte, near-flat blocks included.
TEST(EncodeVqa, PicturesFromAVqaComeBackExactly) {
    synth::SynthOptions options;
    options.frames = 20;
    options.width = 160;
    options.height = 96;
    options.paletteChanges = false;
    const synth::SynthVideo video = synth::SynthesizeVqa(options);
    StoredFrames frames(video.images, options.width, options.height);
    for (int32_t effort : {1, 2, 3}) {
        const test::RoundTrip back = EncodeAndConvertBack(frames, effort);
        ASSERT_EQ(back.problem, "");
        ASSERT_EQ(back.frames.size(), video.images.size());
        for (size_t f = 0; f < back.frames.size(); ++f)
            EXPECT_EQ(back.frames[f], video.images[f]) << "effort " << effort << ", frame " << f;
    }
}

TEST(EncodeVqa, RefusesWhatTheFormatCannotDescribe) {
    const EncodeSettings normal;
    EncodeSettings odd;
    odd.blockWidth = 0;
    EXPECT_EQ(CheckEncodable(320, 200, 150, normal), std::nullopt);
    EXPECT_NE(CheckEncodable(320, 200, 0, normal), std::nullopt);
    EXPECT_NE(CheckEncodable(320, 200, 65536, normal), std::nullopt);
    EXPECT_NE(CheckEncodable(65534, 200, 1, normal), std::nullopt);  // 65536 once padded
    EXPECT_NE(CheckEncodable(320, 200, 1, odd), std::nullopt);
}

}  // namespace
}  // namespace rw
