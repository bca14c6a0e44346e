// The back-counted LCW form of high-colour codebooks, against the ordinary form on the same bytes.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "vqa/lcw.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

struct BackCase {
    const char* name;
    Bytes input;
    Bytes tail;       // the last bytes the back-counted form unpacks to
    size_t size;      // its whole length
    bool ordinaryOk;  // whether the ordinary form accepts the stream too
    Bytes ordinaryTail;
};

// 65535 zeros and "XY": copies from past the first 64 KiB.
const Bytes kPast64KiB = Hex("FE FF FF 00 82 58 59");

TEST(LcwBackCounted, CopiesCountBackFromTheEndOfTheOutput) {
    const BackCase cases[] = {
        // "ABCD", then 3 bytes from 4 back: ABC.
        {"ShortCopy", Hex("84 41 42 43 44 C0 04 00 80"), Hex("41 42 43 44 41 42 43"), 7, false, {}},
        // "AB", then 5 bytes from 2 back, overlapping its own output.
        {"LongCopy", Hex("82 41 42 FF 05 00 02 00 80"), Hex("41 42 41 42 41 42 41"), 7, false, {}},
        // 65535 'A', "BC", 4 bytes from 1 back: the ordinary form wraps to position 0 instead.
        {"RelativeWithoutWrap", Hex("FE FF FF 41 82 42 43 10 01 80"), Hex("42 43 43 43 43 43"),
         65541, true, Hex("42 43 41 41 41 41")},
        // 3 bytes from 2 back, at positions past 65535; the ordinary form reads position 2.
        {"ShortCopyPast64KiB", test::Concat({kPast64KiB, Hex("C0 02 00 80")}),
         Hex("58 59 58 59 58"), 65540, true, Hex("58 59 00 00 00")},
        // Literal runs, fills and the end are those of the ordinary form.
        {"NoCopies", Hex("FE 03 00 41 81 42 80 41"), Hex("41 41 41 42"), 4, true,
         Hex("41 41 41 42")},
    };
    for (const BackCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto out = DecompressLcwBackCounted(c.input);
        ASSERT_TRUE(out.ok()) << out.error().message;
        ASSERT_EQ(out->size(), c.size);
        EXPECT_EQ(Bytes(out->end() - static_cast<ptrdiff_t>(c.tail.size()), out->end()), c.tail);
        auto ordinary = DecompressLcw(c.input);
        ASSERT_EQ(ordinary.ok(), c.ordinaryOk);
        if (c.ordinaryOk) {
            EXPECT_EQ(Bytes(ordinary->end() - static_cast<ptrdiff_t>(c.ordinaryTail.size()),
                            ordinary->end()),
                      c.ordinaryTail);
        }
    }
}

TEST(LcwBackCounted, ACopyFromBeforeTheStartIsDamage) {
    const std::tuple<const char*, Bytes, const char*> cases[] = {
        {"ShortCopyTooFarBack", Hex("82 41 42 C0 03 00 80"),
         "at byte 3: a copy reads from 3 bytes"},
        {"LongCopyTooFarBack", Hex("82 41 42 FF 04 00 03 00 80"), "at byte 3: a copy reads from 3"},
        {"RelativeTooFarBack", Hex("82 41 42 00 03 80"), "at byte 3: a copy reads from 3 bytes"},
        {"CopyFromZeroBack", Hex("82 41 42 C0 00 00 80"), "at byte 3: a copy reads from 0 bytes"},
        {"RelativeOnEmptyOutput", Hex("00 01 80"),
         "at byte 0: a copy reads from 1 bytes back but "
         "only 0 bytes are unpacked"},
    };
    for (const auto& [name, input, message] : cases) {
        auto out = DecompressLcwBackCounted(input);
        ASSERT_FALSE(out.ok()) << name;
        EXPECT_NE(out.error().message.find(message), std::string::npos)
            << name << ": " << out.error().message;
    }
}

TEST(LcwBackCounted, KeepsTheOutputLimit) {
    EXPECT_TRUE(DecompressLcwBackCounted(Hex("82 41 42 C0 02 00 80"), 5).ok());
    EXPECT_FALSE(DecompressLcwBackCounted(Hex("82 41 42 C0 02 00 80"), 4).ok());
}

}  // namespace
}  // namespace rw
