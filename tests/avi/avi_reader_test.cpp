// The AVI reader against files built as other tools write them: every picture layout and index
// form reads back the pictures and sound that went in; what it cannot read is refused by name.
#include "avi/avi_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/avi_builder.h"
#include "tests/support/memory_file.h"

namespace rw {
namespace {

using test::AviSpec;

struct ReadCase {
    const char* name;
    AviSpec spec;
};

class AviReaderReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AviReaderReads, ThePicturesAndSoundThatWentIn) {
    const test::BuiltAvi built = test::BuildAvi(GetParam().spec);
    MemoryInputFile file(built.file, "in.avi");
    auto reader = AviReader::Open(file);
    ASSERT_TRUE(reader.ok()) << reader.error().message;
    const AviSourceInfo& info = reader->Info();
    EXPECT_EQ(info.width, GetParam().spec.width);
    EXPECT_EQ(info.height, GetParam().spec.height);
    ASSERT_EQ(info.videoChunks.size(), built.pictures.size());
    for (size_t f = 0; f < built.pictures.size(); ++f) {
        std::vector<uint8_t> picture(built.pictures[f].size());
        ASSERT_TRUE(reader->ReadFrame(f, picture).ok());
        EXPECT_EQ(picture, built.pictures[f]) << "frame " << f;
    }
    ASSERT_EQ(info.soundChunks.size(), built.sound.size());
    for (size_t c = 0; c < built.sound.size(); ++c) {
        auto sound = reader->ReadSound(c);
        ASSERT_TRUE(sound.ok());
        EXPECT_EQ(*sound, built.sound[c]) << "sound chunk " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AviReaderReads,
    ::testing::Values(
        ReadCase{"BottomUp24", AviSpec{}},
        ReadCase{"TopDown32", AviSpec{.bits = 32, .topDown = true}},
        ReadCase{"PaddedRows", AviSpec{.width = 5, .height = 3}},
        ReadCase{"NoIndex", AviSpec{.index = AviSpec::Index::None}},
        ReadCase{"AbsoluteIndex", AviSpec{.index = AviSpec::Index::Absolute}},
        ReadCase{"RecLists", AviSpec{.index = AviSpec::Index::None, .recLists = true}},
        ReadCase{"OpenDml", AviSpec{.frames = 4, .extended = true}},
        ReadCase{"Silent", AviSpec{.sound = false}},
        ReadCase{"StereoBytes", AviSpec{.channels = 2, .soundBits = 8, .soundBytes = 10}}),
    [](const auto& info) { return std::string(info.param.name); });

// A small file whose header declares pictures larger than any of its frame chunks holds.
test::Bytes Declaring(uint32_t width, uint32_t height) {
    test::Bytes file = test::BuildAvi({}).file;
    const std::string text(file.begin(), file.end());
    const size_t format = text.find("strf") + 8;  // the video stream's comes first
    test::PutLe(file, format + 4, width, 4);
    test::PutLe(file, format + 8, height, 4);
    return file;
}

struct RefusalCase {
    const char* name;
    test::Bytes file;
    const char* words;  // the message holds these
};

class AviReaderRefuses : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AviReaderRefuses, WithAReasonNamingTheFile) {
    MemoryInputFile file(GetParam().file, "in.avi");
    auto reader = AviReader::Open(file);
    ASSERT_FALSE(reader.ok());
    EXPECT_NE(reader.error().message.find("\"in.avi\""), std::string::npos)
        << reader.error().message;
    EXPECT_NE(reader.error().message.find(GetParam().words), std::string::npos)
        << reader.error().message;
}

INSTANTIATE_TEST_SUITE_P(
    Files, AviReaderRefuses,
    ::testing::Values(
        RefusalCase{"NotRiff", test::Text("RIFX....AVI "), "is not an AVI file"},
        RefusalCase{"Compressed", test::BuildAvi({.compression = "MJPG"}).file,
                    "compressed video (MJPG)"},
        RefusalCase{"Palettised", test::BuildAvi({.bits = 8}).file, "8-bit pictures"},
        RefusalCase{"CompressedSound", test::BuildAvi({.soundTag = 0x55}).file, "compressed sound"},
        RefusalCase{"CutHeader", test::Cut(test::BuildAvi(AviSpec{}).file, 250),
                    "ends inside its header list"},
        RefusalCase{"NoMovie", test::Cut(test::BuildAvi(AviSpec{}).file, 312), "has no movie list"},
        RefusalCase{"PicturesNoChunkHolds", Declaring(16384, 16384),
                    "holds no whole picture of the 16384x16384 pixels"},
        RefusalCase{"PicturesOneRowTooTall", Declaring(6, 5),
                    "holds no whole picture of the 6x5 pixels"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AviReader, ShortFrameIsAnErrorNotARead) {
    test::BuiltAvi built = test::BuildAvi({.sound = false, .index = AviSpec::Index::None});
    MemoryInputFile file(built.file, "in.avi");
    auto reader = AviReader::Open(file);
    ASSERT_TRUE(reader.ok());
    std::vector<uint8_t> small(3);
    EXPECT_FALSE(reader->ReadFrame(0, small).ok());
    EXPECT_FALSE(reader->ReadSound(0).ok());
}

}  // namespace
}  // namespace rw
