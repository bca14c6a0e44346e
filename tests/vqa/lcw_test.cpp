#include "vqa/lcw.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Concat;
using test::Hex;
using test::Repeat;

struct Unpacks {
    const char* name;
    Bytes input;
    Bytes expected;
};

void PrintTo(const Unpacks& c, std::ostream* os) {
    *os << c.name;
}

class LcwUnpacks : public testing::TestWithParam<Unpacks> {};

TEST_P(LcwUnpacks, GivesTheExpectedBytes) {
    auto out = DecompressLcw(GetParam().input);
    ASSERT_TRUE(out.ok()) << out.error().message;
    EXPECT_EQ(*out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LcwUnpacks,
    testing::Values(
        Unpacks{"OnlyEnd", Hex("80"), {}},
        Unpacks{"LiteralThenRelativeDistance1", Hex("81 41 00 01 80"), Hex("41 41 41 41")},
        Unpacks{"RelativeDistance2Pattern", Hex("82 41 42 10 02 80"), Hex("41 42 41 42 41 42")},
        Unpacks{"ShortAbsoluteOverlapping", Hex("83 41 42 43 C0 01 00 80"),
                Hex("41 42 43 42 43 42")},
        Unpacks{"FillThenLongCopy", Hex("FE 05 00 5A FF 02 00 03 00 80"), Repeat(0x5A, 7)},
        Unpacks{"EndIgnoresWhatFollows", Hex("80 41 42"), {}},
        Unpacks{"ShortCopyC0CopiesThree", Hex("81 41 C0 00 00 80"), Repeat(0x41, 4)},
        Unpacks{"ShortCopyFDCopiesSixtyFour", Hex("81 41 FD 00 00 80"), Repeat(0x41, 65)},
        Unpacks{"RelativeCountTen", Hex("81 41 70 01 80"), Repeat(0x41, 11)},
        Unpacks{"FillCountZero", Hex("FE 00 00 41 80"), {}},
        Unpacks{"LongCopyCountZeroWithAnySource", Hex("81 41 FF 00 00 FF FF 80"), Hex("41")},
        Unpacks{"FillCountLowByteFirst", Hex("FE 00 01 41 80"), Repeat(0x41, 256)},
        Unpacks{"LiteralRunSixtyThree", Concat({Hex("BF"), Repeat(0x07, 63), Hex("80")}),
                Repeat(0x07, 63)},
        Unpacks{"AbsolutePatternOfThree", Hex("83 41 42 43 C2 00 00 80"),
                Hex("41 42 43 41 42 43 41 42")},
        Unpacks{"LongOverlappingPattern", Hex("83 01 02 03 FF 0A 00 00 00 80"),
                Hex("01 02 03 01 02 03 01 02 03 01 02 03 01")},
        Unpacks{"RelativeFarBack", Concat({Hex("FE 00 10 11 82 21 22 7F FF 80")}),
                Concat({Repeat(0x11, 4096), Hex("21 22"), Repeat(0x11, 10)})}),
    [](const auto& info) { return std::string(info.param.name); });

// After 65536 bytes the relative source counts from the low 16 bits of the length.
TEST(Lcw, RelativeCopyWrapsPast65536Bytes) {
    auto out = DecompressLcw(Hex("FE FF FF 41 82 42 43 10 01 80"));
    ASSERT_TRUE(out.ok()) << out.error().message;
    ASSERT_EQ(out->size(), 65541u);
    Bytes tail(out->end() - 6, out->end());
    EXPECT_EQ(tail, Hex("42 43 41 41 41 41"));  // not four copies of 43
}

TEST(Lcw, LongCopyFromTheTopOfThe16BitRange) {
    // 65535 bytes 00, then 00 77; a copy of 2 from FFFF reads 00 77 again.
    auto out = DecompressLcw(Hex("FE FF FF 00 82 00 77 FF 02 00 FF FF 80"));
    ASSERT_TRUE(out.ok()) << out.error().message;
    ASSERT_EQ(out->size(), 65539u);
    EXPECT_EQ((*out)[65536], 0x77);
    EXPECT_EQ((*out)[65537], 0x00);
    EXPECT_EQ((*out)[65538], 0x77);
}

struct Refused {
    const char* name;
    Bytes input;
    const char* messagePart;
};

void PrintTo(const Refused& c, std::ostream* os) {
    *os << c.name;
}

class LcwRefuses : public testing::TestWithParam<Refused> {};

TEST_P(LcwRefuses, WithAMessage) {
    auto out = DecompressLcw(GetParam().input);
    ASSERT_FALSE(out.ok());
    EXPECT_NE(out.error().message.find(GetParam().messagePart), std::string::npos)
        << out.error().message;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, LcwRefuses,
    testing::Values(Refused{"Empty", {}, "without an end command"},
                    Refused{"NoEnd", Hex("81 41"), "without an end command"},
                    Refused{"LiteralPastEnd", Hex("83 41 42"), "run past the end"},
                    Refused{"RelativeOperandMissing", Hex("81 41 10"), "run past the end"},
                    Refused{"ShortCopyOperandMissing", Hex("81 41 C0 00"), "run past the end"},
                    Refused{"FillOperandMissing", Hex("FE 01 00"), "run past the end"},
                    Refused{"LongCopyOperandMissing", Hex("81 41 FF 01 00 00"), "run past the end"},
                    Refused{"RelativeOnEmptyOutput", Hex("00 01 80"), "position"},
                    Refused{"RelativeDistanceBeyondLength", Hex("81 41 00 02 80"), "position"},
                    Refused{"RelativeDistanceZero", Hex("81 41 00 00 80"), "position"},
                    Refused{"ShortCopyAtLength", Hex("81 41 C0 01 00 80"), "position 1"},
                    Refused{"LongCopyOnEmptyOutput", Hex("FF 01 00 00 00 80"), "position 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lcw, OutputLimitIsEnforcedExactly) {
    Bytes fill256 = Hex("FE 00 01 41 80");
    EXPECT_TRUE(DecompressLcw(fill256, 256).ok());
    auto refused = DecompressLcw(fill256, 255);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("exceed 255"), std::string::npos);
    EXPECT_FALSE(DecompressLcw(Hex("81 41 FF FF FF 00 00 80"), 60000).ok());
}

}  // namespace
}  // namespace rw
