#include "vqa/vqa_header.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"
#include "tests/support/tiny_vqa.h"

namespace rw {
namespace {

using Status = VqaHeaderResult::Status;
using test::Bytes;
using test::Cut;

// A front part up to the frame index: FORM, size, WVQAVQHD, size, then the header fields.
Bytes MakeHeader(uint16_t frames, uint16_t width, uint16_t height, uint8_t bw, uint8_t bh,
                 uint16_t rate) {
    test::TinyVqa v;
    v.width = width;
    v.height = height;
    v.blockWidth = bw;
    v.blockHeight = bh;
    v.rate = rate;
    Bytes b = test::BuildTinyVqa(v);
    test::PutLe(b, 24, frames, 2);
    return b;
}

Bytes Valid() {
    return MakeHeader(100, 320, 200, 4, 2, 22050);
}

struct CheckCase {
    const char* name;
    Bytes file;
    Status expected;
};

Bytes Patched(Bytes b, size_t at, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) b[at + i] = static_cast<uint8_t>(text[i]);
    return b;
}

TEST(VqaHeader, ContainerCheckGivesTheExpectedVerdict) {
    const CheckCase cases[] = {
        {"Valid", Valid(), Status::Ok},
        {"OtherFormType", Patched(Valid(), 8, "WVQBVQHD"), Status::NotVqa},
        {"OtherContainer", Patched(Valid(), 0, "LIST"), Status::NotVqa},
        {"LowerCaseForm", Patched(Valid(), 0, "form"), Status::NotVqa},
        {"NulInsideForm", Patched(Valid(), 2, std::string_view("\0", 1)), Status::NotVqa},
        {"FifteenBytes", Cut(Valid(), 15), Status::NotVqa},
        {"SignaturesOnly", Cut(Valid(), 16), Status::Truncated},
        {"EndsBeforeSoundRate", Cut(Valid(), 45), Status::Truncated},
        {"EndsAfterSoundRate", Cut(Valid(), 46), Status::Ok},
    };
    for (const CheckCase& c : cases) {
        auto result = ReadVqaHeader(c.file);
        EXPECT_EQ(result.status, c.expected) << c.name << ": " << result.message;
    }
}

TEST(VqaHeader, ReadsTheSixValuesUnsignedWidthBeforeHeight) {
    auto result = ReadVqaHeader(MakeHeader(0xFFFE, 0xFFFF, 0x8000, 0xFF, 0xFE, 0xFFFD));
    ASSERT_EQ(result.status, Status::Ok);
    EXPECT_EQ(result.properties, (VqaProperties{65534, 32768, 65535, 255, 254, 65533}));
}

// ---- Frame index ----

Bytes WithIndex(std::initializer_list<uint32_t> entries) {
    Bytes b = Valid();
    for (uint32_t e : entries) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(e >> (8 * k)));
    }
    return b;
}

// Entries count 2-byte units, little-endian, their top two bits flags; entries past the frames'
// are not read.
TEST(FrameIndex, GivesTheOffsetsOfTheFramesEntries) {
    Bytes b = WithIndex({1, 0, 0xC0000001, 0x80000000, 0xFFFFFFFF, 0x00012345, 0x400});
    MemoryInputFile file(b);
    auto index = ReadFrameIndex(file, 6);
    ASSERT_TRUE(index.ok()) << index.error().message;
    EXPECT_EQ(*index, (std::vector<int32_t>{2, 0, 2, 0, 0x7FFFFFFE, 0x2468A}));
}

}  // namespace
}  // namespace rw
