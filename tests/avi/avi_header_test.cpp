#include "avi/avi_header.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

using test::Props;

using test::Id;
using test::Le16;
using test::Le32;

std::vector<uint8_t> Block(const VqaProperties& p) {
    MemoryOutputFile out;
    EXPECT_TRUE(WriteAviHeader(out, p).ok());
    return out.Data();
}

// The sizes the header declares, including the worked figures at 320 x 156.
struct SizeCase {
    int32_t frames, width, height, rate;
    uint32_t riff, movie, soundLength;
};
void PrintTo(const SizeCase& c, std::ostream* os) {
    PrintTo(Props(c.frames, c.width, c.height, c.rate), os);
}
class HeaderSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(HeaderSizes, DeclaresTheSizesOfTheCompleteFile) {
    const SizeCase c = GetParam();
    const auto b = Block(Props(c.frames, c.width, c.height, c.rate));
    ASSERT_EQ(b.size(), 524u);
    EXPECT_EQ(Le32(b, 4), c.riff);
    EXPECT_EQ(Le32(b, 516), c.movie);
    EXPECT_EQ(Le32(b, 264), c.soundLength);
    const AviLayout l = ComputeAviLayout(Props(c.frames, c.width, c.height, c.rate));
    EXPECT_EQ(l.riffSize, c.riff);
    EXPECT_EQ(l.movieListSize, c.movie);
    EXPECT_EQ(l.fileLength, int64_t{c.riff} + 8);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, HeaderSizes,
    testing::Values(SizeCase{1, 320, 156, 22050, 175346, 174778, 12495},
                    SizeCase{100, 320, 156, 22050, 15297398, 15293662, 158025},
                    // W = 4, H = 2, F = 2: a file of 28630 bytes, the movie list ends at 28542.
                    SizeCase{2, 4, 2, 22050, 28622, 28022, 13965},
                    // 11025 Hz: S = 1470; 16000 Hz: S = 2133, both follow R.
                    SizeCase{3, 320, 200, 11025, 3 * (192000 + 48 + 1470) + 11025 + 548,
                             3 * (192000 + 16 + 1470) + 11025 + 12, 15435},
                    SizeCase{3, 320, 200, 16000, 3 * (192000 + 48 + 2133) + 16000 + 548,
                             3 * (192000 + 16 + 2133) + 16000 + 12, 15435}));

// Fields that depend on the input, at their offsets.
struct FieldCase {
    const char* name;
    size_t offset;
    uint32_t expected;
};
class InputFields : public testing::TestWithParam<FieldCase> {};

TEST_P(InputFields, HoldTheHeaderValues) {
    const auto b = Block(Props(1234, 321, 157, 11025));
    EXPECT_EQ(Le32(b, GetParam().offset), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(AtOffsets, InputFields,
                         testing::Values(FieldCase{"total frames", 48, 1234},
                                         FieldCase{"width", 64, 321}, FieldCase{"height", 68, 157},
                                         FieldCase{"length", 84, 1234},
                                         FieldCase{"video length", 140, 1234},
                                         FieldCase{"bitmap width", 176, 321},
                                         FieldCase{"bitmap height", 180, 157},
                                         FieldCase{"sound length", 264, 1470 * 1234 + 11025}));

// Fixed fields: the same for every input, whatever W, H and R are.
struct FixedCase {
    size_t offset;
    const char* id;  // a four-character code, or nullptr for a number
    uint32_t value;
    int width;  // 2 or 4 bytes
};
class FixedFields : public testing::TestWithParam<VqaProperties> {};

TEST_P(FixedFields, AreTheSameForEveryInput) {
    static const FixedCase kFixed[] = {
        {0, "RIFF", 0, 4},
        {8, "AVI ", 0, 4},
        {12, "LIST", 0, 4},
        {16, nullptr, 492, 4},
        {20, "hdrl", 0, 4},
        {24, "avih", 0, 4},
        {28, nullptr, 56, 4},
        {32, nullptr, 66666, 4},
        {36, nullptr, 0, 4},
        {44, nullptr, 0x10, 4},
        {52, nullptr, 0, 4},
        {56, nullptr, 2, 4},
        {72, nullptr, 1000, 4},
        {76, nullptr, 15000, 4},
        {80, nullptr, 0, 4},
        {88, "LIST", 0, 4},
        {92, nullptr, 116, 4},
        {96, "strl", 0, 4},
        {100, "strh", 0, 4},
        {104, nullptr, 56, 4},
        {108, "vids", 0, 4},
        {112, "DIB ", 0, 4},
        {128, nullptr, 1000, 4},
        {132, nullptr, 15000, 4},
        {148, nullptr, 0xFFFFFFFF, 4},
        {152, nullptr, 0, 4},
        {164, "strf", 0, 4},
        {168, nullptr, 40, 4},
        {172, nullptr, 40, 4},
        {184, nullptr, 1, 2},
        {186, nullptr, 24, 2},
        {188, nullptr, 0, 4},
        {192, nullptr, 115200, 4},
        {212, "LIST", 0, 4},
        {216, nullptr, 92, 4},
        {220, "strl", 0, 4},
        {224, "strh", 0, 4},
        {228, nullptr, 56, 4},
        {232, "auds", 0, 4},
        {236, nullptr, 0, 4},
        {252, nullptr, 1, 4},
        {256, nullptr, 22050, 4},
        {272, nullptr, 0xFFFFFFFF, 4},
        {276, nullptr, 4, 4},
        {288, "strf", 0, 4},
        {292, nullptr, 16, 4},
        {296, nullptr, 1, 2},
        {298, nullptr, 1, 2},
        {300, nullptr, 22050, 4},
        {304, nullptr, 44100, 4},
        {308, nullptr, 2, 2},
        {310, nullptr, 16, 2},
        {312, "JUNK", 0, 4},
        {316, nullptr, 191, 4},
        {512, "LIST", 0, 4},
        {520, "movi", 0, 4},
    };
    const auto b = Block(GetParam());
    for (const FixedCase& f : kFixed) {
        if (f.id != nullptr) {
            EXPECT_EQ(Id(b, f.offset), f.id) << "offset " << f.offset;
        } else if (f.width == 2) {
            EXPECT_EQ(Le16(b, f.offset), f.value) << "offset " << f.offset;
        } else {
            EXPECT_EQ(Le32(b, f.offset), f.value) << "offset " << f.offset;
        }
    }
    for (size_t i = 156; i < 164; ++i) EXPECT_EQ(b[i], 0) << "video frame rectangle " << i;
    for (size_t i = 196; i < 212; ++i) EXPECT_EQ(b[i], 0) << "bitmap header " << i;
    for (size_t i = 280; i < 288; ++i) EXPECT_EQ(b[i], 0) << "sound frame rectangle " << i;
    for (size_t i = 320; i < 512; ++i) ASSERT_EQ(b[i], 0) << "filler " << i;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FixedFields,
                         testing::Values(Props(1, 320, 156, 22050), Props(100, 320, 200, 11025),
                                         Props(7, 3, 5, 16000), Props(65535, 64, 48, 0)));

TEST(BuildAviHeader, IsTheFirst168BytesOfTheBlock) {
    for (const VqaProperties& p : {Props(1, 320, 156, 22050), Props(9, 17, 3, 11025)}) {
        const auto built = BuildAviHeader(p);
        const auto block = Block(p);
        ASSERT_EQ(built.size(), 168u);
        EXPECT_TRUE(std::equal(built.begin(), built.end(), block.begin()));
    }
}

TEST(WriteAviHeader, RefusesAFileThatIsNotEmpty) {
    MemoryOutputFile out;
    ASSERT_TRUE(out.Write(std::vector<uint8_t>{1}).ok());
    EXPECT_FALSE(WriteAviHeader(out, Props(1, 4, 2, 22050)).ok());
}

// Videos whose sizes the signed 32-bit fields cannot hold are refused.
struct DescribableCase {
    VqaProperties props;
    bool describable;
};
void PrintTo(const DescribableCase& c, std::ostream* os) {
    PrintTo(c.props, os);
}
class Describable : public testing::TestWithParam<DescribableCase> {};

TEST_P(Describable, OnlyWhenEverySizeFits) {
    const auto why = CheckAviDescribable(GetParam().props);
    EXPECT_EQ(!why.has_value(), GetParam().describable) << why.value_or("");
    if (why) {
        EXPECT_NE(why->find("too large"), std::string::npos) << *why;
    }
}

// 11013 frames of 320 x 200 at 22050 Hz: RIFF size 2147425442; one frame more passes 2^31 - 1.
INSTANTIATE_TEST_SUITE_P(Limits, Describable,
                         testing::Values(DescribableCase{Props(1800, 320, 200, 22050), true},
                                         DescribableCase{Props(11013, 320, 200, 22050), true},
                                         DescribableCase{Props(11014, 320, 200, 22050), false},
                                         DescribableCase{Props(65535, 640, 400, 22050), false},
                                         DescribableCase{Props(1, 65535, 65535, 65535), false},
                                         DescribableCase{Props(65535, 1, 1, 65535), true}));

}  // namespace
}  // namespace rw
