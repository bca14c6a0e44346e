#include "vqa/vqa_header.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/names.h"
#include "tests/support/tiny_vqa.h"

namespace rw {
namespace {

using Status = VqaHeaderResult::Status;
using test::Bytes;
using test::Hex;
using test::PrintTo;

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

Bytes Cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

class ContainerCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(ContainerCheck, GivesTheExpectedVerdict) {
    auto result = ReadVqaHeader(GetParam().file);
    EXPECT_EQ(result.status, GetParam().expected) << result.message;
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, ContainerCheck,
    testing::Values(
        CheckCase{"Valid", Valid(), Status::Ok},
        CheckCase{"OtherFormType", Patched(Valid(), 8, "WVQBVQHD"), Status::NotVqa},
        CheckCase{"OtherContainer", Patched(Valid(), 0, "LIST"), Status::NotVqa},
        CheckCase{"LowerCaseForm", Patched(Valid(), 0, "form"), Status::NotVqa},
        CheckCase{"LowerCaseHeaderId", Patched(Valid(), 8, "WVQAvqhd"), Status::NotVqa},
        CheckCase{"NulInsideForm", Patched(Valid(), 2, std::string_view("\0", 1)), Status::NotVqa},
        CheckCase{"NulInsideType", Patched(Valid(), 12, std::string_view("\0", 1)), Status::NotVqa},
        CheckCase{"Empty", {}, Status::NotVqa},
        CheckCase{"FifteenBytes", Cut(Valid(), 15), Status::NotVqa},
        CheckCase{"SignaturesOnly", Cut(Valid(), 16), Status::Truncated},
        CheckCase{"EndsBeforeSoundRate", Cut(Valid(), 45), Status::Truncated},
        CheckCase{"EndsAfterSoundRate", Cut(Valid(), 46), Status::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VqaHeader, ReadsTheSixValuesUnsignedWidthBeforeHeight) {
    auto result = ReadVqaHeader(MakeHeader(0xFFFE, 0xFFFF, 0x8000, 0xFF, 0xFE, 0xFFFD));
    ASSERT_EQ(result.status, Status::Ok);
    EXPECT_EQ(result.properties, (VqaProperties{65534, 32768, 65535, 255, 254, 65533}));
}

TEST(VqaHeader, TruncatedHeaderNamesTheFile) {
    Bytes b = Cut(Valid(), 30);
    MemoryInputFile file(b, "short.vqa");
    auto result = ReadVqaHeader(file);
    ASSERT_EQ(result.status, Status::Truncated);
    EXPECT_NE(result.message.find("short.vqa"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("30 bytes"), std::string::npos) << result.message;
}

// ---- Frame index ----

Bytes WithIndex(std::initializer_list<uint32_t> entries) {
    Bytes b = Valid();
    for (uint32_t e : entries) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(e >> (8 * k)));
    }
    return b;
}

struct IndexCase {
    const char* name;
    uint32_t entry;
    int32_t offset;
};

class FrameIndexEntry : public testing::TestWithParam<IndexCase> {};

TEST_P(FrameIndexEntry, GivesTheOffset) {
    Bytes b = WithIndex({GetParam().entry});
    MemoryInputFile file(b);
    auto index = ReadFrameIndex(file, 1);
    ASSERT_TRUE(index.ok()) << index.error().message;
    ASSERT_EQ(index->size(), 1u);
    EXPECT_EQ((*index)[0], GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(Entries, FrameIndexEntry,
                         testing::Values(IndexCase{"One", 1, 2}, IndexCase{"Zero", 0, 0},
                                         IndexCase{"TopBitsIgnored", 0xC0000001, 2},
                                         IndexCase{"TopBitOnly", 0x80000000, 0},
                                         IndexCase{"Largest", 0xFFFFFFFF, 0x7FFFFFFE},
                                         IndexCase{"LittleEndian", 0x00012345, 0x2468A}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameIndex, ReadsOnlyTheFramesEntries) {
    Bytes b = WithIndex({0x100, 0x40000200, 0x300, 0x400});
    MemoryInputFile file(b);
    auto index = ReadFrameIndex(file, 3);
    ASSERT_TRUE(index.ok());
    EXPECT_EQ(*index, (std::vector<int32_t>{0x200, 0x400, 0x600}));
}

TEST(FrameIndex, FileEndingInsideTheIndexIsAnErrorNamingTheFile) {
    Bytes b = WithIndex({1, 2});
    b.pop_back();
    MemoryInputFile file(b, "cut.vqa");
    auto index = ReadFrameIndex(file, 2);
    ASSERT_FALSE(index.ok());
    EXPECT_NE(index.error().message.find("cut.vqa"), std::string::npos) << index.error().message;
    EXPECT_NE(index.error().message.find("frame index"), std::string::npos);
}

TEST(FrameIndex, ZeroFramesIsEmptyAndANegativeCountAnError) {
    Bytes b = Valid();
    MemoryInputFile file(b);
    auto index = ReadFrameIndex(file, 0);
    ASSERT_TRUE(index.ok());
    EXPECT_TRUE(index->empty());
    EXPECT_FALSE(ReadFrameIndex(file, -1).ok());
}

}  // namespace
}  // namespace rw
