#include "vqa/lcw.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Concat;
using test::Hex;
using test::Repeat;

// Commands that would fail if they ran (relative copies from distance 0), put after the end
// command: the stream's bytes are then read with plenty of input left, as in real data, where
// checks for the input's end are not made command by command.
Bytes WithDataAfterTheEnd(const Bytes& stream) {
    return Concat({stream, Repeat(0x00, 80)});
}

// CheckLcw must say of a stream exactly what DecompressLcw says: the same length or the same error.
void ExpectCheckAgrees(const Bytes& input, size_t maxOutput = kLcwDefaultMaxOutput) {
    auto unpacked = DecompressLcw(input, maxOutput);
    auto checked = CheckLcw(input, maxOutput);
    ASSERT_EQ(checked.ok(), unpacked.ok()) << input.size() << " bytes of input";
    if (unpacked.ok()) {
        EXPECT_EQ(*checked, unpacked->size());
    } else {
        EXPECT_EQ(checked.error().message, unpacked.error().message);
    }
}

// A literal run of 63 bytes, the longest, to put commands further into a stream.
const Bytes kRun63 = Concat({Hex("BF"), Repeat(0x07, 63)});

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
    for (const Bytes& input : {GetParam().input, WithDataAfterTheEnd(GetParam().input)}) {
        auto out = DecompressLcw(input);
        ASSERT_TRUE(out.ok()) << out.error().message;
        EXPECT_EQ(*out, GetParam().expected) << input.size() << " bytes of input";
        ExpectCheckAgrees(input);
    }
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
        Unpacks{"RelativeNotReachingItsOwnOutput", Hex("85 01 02 03 04 05 00 05 80"),
                Hex("01 02 03 04 05 01 02 03")},
        Unpacks{"ShortAbsoluteLongPatternOfThree", Hex("83 01 02 03 D7 00 00 80"),
                Concat({Hex("01 02 03 01 02 03 01 02 03 01 02 03 01 02 03"),
                        Hex("01 02 03 01 02 03 01 02 03 01 02 03 01 02")})},
        Unpacks{"ShortAbsoluteIntoItsOwnOutput", Hex("FE 20 00 11 82 21 22 E5 02 00 80"),
                Concat({Repeat(0x11, 32), Hex("21 22"), Repeat(0x11, 30), Hex("21 22"),
                        Repeat(0x11, 8)})},
        Unpacks{"FillSixtyFourThenSixtyFive", Hex("FE 40 00 41 FE 41 00 42 80"),
                Concat({Repeat(0x41, 64), Repeat(0x42, 65)})},
        Unpacks{"RelativeFarBack", Concat({Hex("FE 00 10 11 82 21 22 7F FF 80")}),
                Concat({Repeat(0x11, 4096), Hex("21 22"), Repeat(0x11, 10)})}),
    [](const auto& info) { return std::string(info.param.name); });

// After 65536 bytes the relative source counts from the low 16 bits of the length.
TEST(Lcw, RelativeCopyWrapsPast65536Bytes) {
    const Bytes stream = Hex("FE FF FF 41 82 42 43 10 01 80");
    for (const Bytes& input : {stream, WithDataAfterTheEnd(stream)}) {
        auto out = DecompressLcw(input);
        ASSERT_TRUE(out.ok()) << out.error().message;
        ASSERT_EQ(out->size(), 65541u);
        Bytes tail(out->end() - 6, out->end());
        EXPECT_EQ(tail, Hex("42 43 41 41 41 41"));  // not four copies of 43
    }
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

// Refused streams; those whose refusal comes before their end command are refused the same way
// when more data follows them (a copy from a position not yet unpacked names the same byte and
// position wherever it stands).
struct Refused {
    const char* name;
    Bytes input;
    const char* messagePart;
    bool alsoWithDataAfter = false;
};

void PrintTo(const Refused& c, std::ostream* os) {
    *os << c.name;
}

class LcwRefuses : public testing::TestWithParam<Refused> {};

TEST_P(LcwRefuses, WithAMessage) {
    std::vector<Bytes> inputs{GetParam().input};
    if (GetParam().alsoWithDataAfter) inputs.push_back(WithDataAfterTheEnd(GetParam().input));
    for (const Bytes& input : inputs) {
        auto out = DecompressLcw(input);
        ASSERT_FALSE(out.ok()) << input.size() << " bytes of input";
        EXPECT_NE(out.error().message.find(GetParam().messagePart), std::string::npos)
            << out.error().message;
        ExpectCheckAgrees(input);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, LcwRefuses,
    testing::Values(
        Refused{"Empty", {}, "without an end command"},
        Refused{"NoEnd", Hex("81 41"), "without an end command"},
        Refused{"LiteralPastEnd", Hex("83 41 42"), "run past the end"},
        Refused{"RelativeOperandMissing", Hex("81 41 10"), "run past the end"},
        Refused{"ShortCopyOperandMissing", Hex("81 41 C0 00"), "run past the end"},
        Refused{"FillOperandMissing", Hex("FE 01 00"), "run past the end"},
        Refused{"LongCopyOperandMissing", Hex("81 41 FF 01 00 00"), "run past the end"},
        Refused{"LiteralPastEndOfLongerData", Concat({kRun63, kRun63, Hex("83 41 42")}),
                "at byte 128: the command's operands run past the end"},
        Refused{"RelativeOperandMissingInLongerData", Concat({kRun63, kRun63, Hex("10")}),
                "at byte 128: the command's operands run past the end"},
        Refused{"NoEndAfterLongerData", Concat({kRun63, kRun63, Hex("10 01")}),
                "without an end command"},
        Refused{"RelativeDistanceBeyondLength", Hex("81 41 00 02 80"), "position", true},
        Refused{"RelativeDistanceZero", Hex("81 41 00 00 80"), "position", true},
        Refused{"ShortCopyAtLength", Hex("81 41 C0 01 00 80"), "position 1", true},
        Refused{"LongCopyOnEmptyOutput", Hex("FF 01 00 00 00 80"), "position 0", true},
        Refused{"RelativeOnEmptyOutput", Hex("00 01 80"),
                "LCW data is damaged at byte 0: a copy reads from position 65535 but "
                "only 0 bytes are unpacked",
                true},
        Refused{"RelativeBeyondLength", Concat({kRun63, Hex("00 40 80")}),
                "LCW data is damaged at byte 64: a copy reads from position 65535 but "
                "only 63 bytes are unpacked",
                true},
        Refused{"ShortAbsoluteAtLength", Concat({kRun63, kRun63, Hex("C5 7E 00 80")}),
                "LCW data is damaged at byte 128: a copy reads from position 126 but "
                "only 126 bytes are unpacked",
                true},
        Refused{"LongCopyPastLength", Concat({kRun63, Hex("FF 01 00 50 00 80")}),
                "LCW data is damaged at byte 64: a copy reads from position 80 but only "
                "63 bytes are unpacked",
                true}),
    [](const auto& info) { return std::string(info.param.name); });

// Each kind of command, after some output or none, gives exactly `size` bytes: a limit of `size`
// passes and one byte less is refused at that command.
struct AtTheLimit {
    const char* name;
    Bytes input;
    size_t size;
    size_t lastCommandAt;
};

void PrintTo(const AtTheLimit& c, std::ostream* os) {
    *os << c.name;
}

class LcwLimit : public testing::TestWithParam<AtTheLimit> {};

TEST_P(LcwLimit, IsEnforcedExactly) {
    const AtTheLimit& c = GetParam();
    for (const Bytes& input : {c.input, WithDataAfterTheEnd(c.input)}) {
        auto out = DecompressLcw(input, c.size);
        ASSERT_TRUE(out.ok()) << out.error().message;
        EXPECT_EQ(out->size(), c.size);
        auto refused = DecompressLcw(input, c.size - 1);
        ASSERT_FALSE(refused.ok()) << input.size() << " bytes of input";
        EXPECT_EQ(refused.error().message,
                  "LCW data is damaged at byte " + std::to_string(c.lastCommandAt) +
                      ": the unpacked data would exceed " + std::to_string(c.size - 1) + " bytes");
        ExpectCheckAgrees(input, c.size);
        ExpectCheckAgrees(input, c.size - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LcwLimit,
    testing::Values(
        AtTheLimit{"LiteralRunFirst", Concat({kRun63, Hex("80")}), 63, 0},
        AtTheLimit{"LiteralRun", Concat({kRun63, kRun63, Hex("81 41 80")}), 127, 128},
        AtTheLimit{"Relative", Concat({kRun63, kRun63, Hex("70 01 80")}), 136, 128},
        AtTheLimit{"ShortAbsolute", Concat({kRun63, kRun63, Hex("FD 00 00 80")}), 190, 128},
        AtTheLimit{"FillFirst", Hex("FE 00 01 41 80"), 256, 0},
        AtTheLimit{"ShortFill", Concat({kRun63, kRun63, Hex("FE 40 00 07 80")}), 190, 128},
        AtTheLimit{"LongCopy", Concat({kRun63, kRun63, Hex("FF FF FF 00 00 80")}), 126 + 65535,
                   128}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rw
