// Whole files from the encoder, read back by the project's converter: no concealment, the pictures
// the encoder meant to the byte, the sound it meant to the sample, and a layout whose index, sizes,
// codebook parts and pointers agree.
#include "encode/vqa_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encode/vector_quantiser.h"
#include "platform/byte_reader.h"
#include "tests/support/bytes.h"
#include "tests/support/round_trip.h"
#include "tools/synth/scene.h"
#include "vqa/lcw.h"

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

uint16_t Le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct SubChunk {
    std::string id;
    std::span<const uint8_t> data;
};

// The file's layout as a checker sees it: the header fields, and each frame's sound chunks and
// picture sub-chunks, found from the index with every size checked against the bytes there.
struct VqaLayout {
    std::string problem;
    uint16_t frames = 0, width = 0, height = 0, maxEntries = 0, rate = 0;
    uint8_t blockWidth = 0, blockHeight = 0, channels = 0, bits = 0;
    std::vector<std::vector<SubChunk>> pictures;
};

VqaLayout WalkVqa(std::span<const uint8_t> file) {
    VqaLayout v;
    ByteReader r(file);
    auto fail = [&](const std::string& why) {
        v.problem = why;
        return v;
    };
    if (file.size() < 70 || test::Id(file, 0) != "FORM" || test::Id(file, 8) != "WVQA")
        return fail("container");
    r.Seek(4);
    if (*r.U32Be() != file.size() - 8) return fail("FORM size");
    v.frames = Le16(file, 24), v.width = Le16(file, 26), v.height = Le16(file, 28);
    v.blockWidth = file[30], v.blockHeight = file[31], v.maxEntries = Le16(file, 36);
    v.rate = Le16(file, 44), v.channels = file[46], v.bits = file[47];
    if (Le16(file, 20) != 2 || file[32] != 15 || file[33] != 8 || Le16(file, 34) != 256)
        return fail("fixed fields");
    if (test::Id(file, 62) != "FINF") return fail("FINF");
    for (size_t f = 0; f < v.frames; ++f) {
        const size_t at = size_t{test::Le32(file, 70 + 4 * f)} * 2;
        r.Seek(at);
        for (int chunk = 0; chunk < (f == 0 ? 2 : 1); ++chunk) {
            auto id = r.Bytes(4);
            auto size = r.U32Be();
            const size_t want = chunk == 0 && f == 0 ? 5512 : 735;
            if (!size || test::Id(*id, 0) != "SND2" || *size != want || !r.Skip(*size + *size % 2))
                return fail("sound of frame " + std::to_string(f));
        }
        auto id = r.Bytes(4);
        auto size = r.U32Be();
        auto data = size ? r.Bytes(*size) : std::nullopt;
        if (!data || test::Id(*id, 0) != "VQFR")
            return fail("picture chunk of frame " + std::to_string(f));
        std::vector<SubChunk> subs;
        for (ByteReader s(*data); !s.AtEnd();) {
            auto sid = s.Bytes(4);
            auto ssize = s.U32Be();
            auto sdata = ssize ? s.Bytes(*ssize) : std::nullopt;
            if (!sdata || (*ssize % 2 && !s.Skip(1)))
                return fail("sub-chunk of frame " + std::to_string(f));
            subs.push_back({test::Id(*sid, 0), *sdata});
        }
        v.pictures.push_back(std::move(subs));
    }
    return v;
}

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
}

TEST_P(EncodedFile, HasTheLayoutCodebookPartsAndPointersItShould) {
    const Shape& s = GetParam();
    TestFrames frames(s.frames, s.width, s.height, s.picture);
    EncodeSettings settings;
    settings.blockHeight = s.blockHeight;
    EncodeRecord record;
    auto vqa = EncodeVqa(frames, nullptr, settings, nullptr, &record);
    ASSERT_TRUE(vqa.ok());
    const VqaLayout v = WalkVqa(vqa->file);
    ASSERT_EQ(v.problem, "");
    EXPECT_EQ(v.frames, s.frames);
    EXPECT_EQ(v.rate, 22050);
    EXPECT_EQ(v.channels, 1);
    EXPECT_EQ(v.bits, 16);
    const size_t pixels = size_t(4 * s.blockHeight);
    size_t largest = 0;
    for (const auto& book : record.codebooks) largest = std::max(largest, book.size() / pixels);
    EXPECT_EQ(v.maxEntries, largest);

    std::vector<uint8_t> joined;
    for (size_t f = 0; f < v.pictures.size(); ++f) {
        const size_t group = f / 8;
        const size_t entries = record.codebooks[group].size() / pixels;
        for (const SubChunk& sub : v.pictures[f]) {
            if (sub.id == "CBFZ") {
                EXPECT_EQ(f, 0u);
                EXPECT_EQ(*DecompressLcw(sub.data), record.codebooks[0]);
            } else if (sub.id == "CBPZ") {
                joined.insert(joined.end(), sub.data.begin(), sub.data.end());
            } else if (sub.id == "VPTZ") {
                const std::vector<uint8_t> table = *DecompressLcw(sub.data);
                const size_t blocks = table.size() / 2;
                for (size_t k = 0; k < blocks; ++k) {
                    const uint8_t hi = table[blocks + k];
                    ASSERT_TRUE(hi == kSolidHighByte || size_t(hi) * 256 + table[k] < entries)
                        << "frame " << f << " block " << k;
                }
            } else {
                EXPECT_EQ(sub.id, "CPL0");
                EXPECT_EQ(sub.data.size(), 768u);
            }
        }
        if (f % 8 == 7 && group + 1 < record.codebooks.size()) {  // the switch after this frame
            auto unpacked = DecompressLcw(joined);
            ASSERT_TRUE(unpacked.ok()) << "group " << group + 1;
            EXPECT_EQ(*unpacked, record.codebooks[group + 1]) << "group " << group + 1;
            joined.clear();
        }
    }
    EXPECT_TRUE(joined.empty());
}

INSTANTIATE_TEST_SUITE_P(Shapes, EncodedFile,
                         ::testing::Values(Shape{"TrainedCodebooks", 160, 120, 2, 17,
                                                 Picture::Scene},
                                           Shape{"PaddedBigBlocks", 61, 37, 4, 9, Picture::Scene},
                                           Shape{"OneFrame", 8, 2, 2, 1, Picture::Scene},
                                           Shape{"AllSolid", 16, 8, 2, 10, Picture::Flat}),
                         [](const auto& info) { return std::string(info.param.name); });

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
