// 15-bit colour and the high-colour codebook in both LCW forms.
#include "vqa/hc_codebook.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

TEST(HighColourColour, FiveBitsBecomeEightAsVTimes8PlusVOver4) {
    const std::pair<uint32_t, uint8_t> cases[] = {{0, 0},    {1, 8},    {3, 24},  {4, 33},
                                                  {16, 132}, {30, 247}, {31, 255}};
    for (auto [v, expected] : cases) EXPECT_EQ(ExpandFiveBits(v), expected) << v;
}

TEST(HighColourColour, RedGreenBlueFromBits14To0WithBit15Ignored) {
    const std::pair<uint16_t, Bytes> cases[] = {
        {0x7C00, Hex("00 00 FF")}, {0x03E0, Hex("00 FF 00")}, {0x001F, Hex("FF 00 00")},
        {0x7FFF, Hex("FF FF FF")}, {0x8000, Hex("00 00 00")}, {0x0421, Hex("08 08 08")},
    };
    for (const auto& [pixel, bgr] : cases) {
        Bytes out(3);
        HighColourToBgr(pixel, out.data());
        EXPECT_EQ(out, bgr) << pixel;
    }
}

struct CodebookCase {
    const char* name;
    Bytes cbfz;
    int32_t bw, bh;
    int32_t entries;  // 0: refused
    Bytes bgr;        // the first entries, when given
};

TEST(HighColourCodebook, UnpacksEitherFormAndIgnoresAPartialEntry) {
    const CodebookCase cases[] = {
        // Ordinary LCW: blue, green, and a byte that makes no whole entry.
        {"Ordinary", Hex("85 1F 00 E0 03 FF 80"), 1, 1, 2, Hex("FF 00 00 00 FF 00")},
        // First byte 0: red, then 3 bytes copied from 2 back (00 7C 00).
        {"BackCounted", Hex("00 82 00 7C C0 02 00 80"), 1, 1, 2, Hex("00 00 FF 00 00 FF")},
        // Entries of 2 x 1 pixels: the bytes of one and a half entries.
        {"WholeEntriesOnly", Hex("86 1F 00 1F 00 E0 03 80"), 2, 1, 1, Hex("FF 00 00 FF 00 00")},
        {"Largest", Hex("FE 00 40 00 80"), 1, 1, 8192, {}},
        {"PastTheLargest", Hex("FE 02 40 00 80"), 1, 1, 0, {}},
        {"NoWholeEntry", Hex("81 00 80"), 1, 1, 0, {}},
        {"Damaged", Hex("82 00 7C C0 02 00 80"), 1, 1, 0, {}},
        {"BackCountedDamaged", Hex("00 82 00 7C C0 03 00 80"), 1, 1, 0, {}},
    };
    for (const CodebookCase& c : cases) {
        HighColourCodebook book;
        book.entries = 77;  // stays when refused
        auto r = DecodeHighColourCodebook(c.cbfz, c.bw, c.bh, book);
        ASSERT_EQ(r.ok(), c.entries > 0) << c.name;
        EXPECT_EQ(book.entries, c.entries > 0 ? c.entries : 77) << c.name;
        if (!c.bgr.empty()) {
            EXPECT_EQ(Bytes(book.bgr.begin(), book.bgr.begin() + 6), c.bgr) << c.name;
        }
    }
}

}  // namespace
}  // namespace rw
