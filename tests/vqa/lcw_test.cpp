#include "vqa/lcw.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::Bytes;
using test::Concat;
using test::Hex;
using test::PrintTo;
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

// The messages of refused streams; those whose refusal comes before their end command are refused
// the same way when more data follows them (a copy from a position not yet unpacked names the same
// byte and position wherever it stands). (Which streams are refused, and what every other stream
// unpacks to, fuzz_lcw checks against a plain reading of the commands over its corpus.)
struct Refused {
    const char* name;
    Bytes input;
    const char* messagePart;
    bool alsoWithDataAfter = false;
};

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
    testing::Values(Refused{"Empty", {}, "without an end command"},
                    Refused{"LiteralPastEndOfLongerData", Concat({kRun63, kRun63, Hex("83 41 42")}),
                            "at byte 128: the command's operands run past the end"},
                    Refused{"RelativeOnEmptyOutput", Hex("00 01 80"),
                            "LCW data is damaged at byte 0: a copy reads from position 65535 but "
                            "only 0 bytes are unpacked",
                            true},
                    Refused{"ShortAbsoluteAtLength", Concat({kRun63, kRun63, Hex("C5 7E 00 80")}),
                            "LCW data is damaged at byte 128: a copy reads from position 126 but "
                            "only 126 bytes are unpacked",
                            true},
                    Refused{
                        "LongCopyPastLength", Concat({kRun63, Hex("FF 01 00 50 00 80")}),
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
