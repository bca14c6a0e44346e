#include "avi/avi_header.h"

#include <gtest/gtest.h>

#include <string>

#include "run/avi_format_of.h"
#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"
#include "tests/support/names.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

using test::Le32;

std::vector<uint8_t> Block(const AviFormat& p) {
    MemoryOutputFile out;
    EXPECT_TRUE(WriteAviHeader(out, p).ok());
    return out.Data();
}

// Every byte of the header block the sample video gets.
TEST(AviHeader, TheSampleGetsTheGoldenBlock) {
    auto vqa = ReadWholeFile(RW_SOURCE_DIR "/samples/sample.vqa");
    ASSERT_TRUE(vqa.ok()) << vqa.error().message;
    const VqaHeaderResult header = ReadVqaHeader(std::span<const uint8_t>(*vqa));
    ASSERT_EQ(header.status, VqaHeaderResult::Status::Ok) << header.message;
    const std::vector<uint8_t> block = Block(AviFormatOf(header.properties));
    ASSERT_EQ(block.size(), 524u);
    EXPECT_EQ(test::Fingerprint(block), "48b41742a04edbcc") << test::HexDump(block);
    const std::vector<uint8_t> built = BuildAviHeader(AviFormatOf(header.properties));
    EXPECT_TRUE(std::equal(built.begin(), built.end(), block.begin())) << "the first 168 bytes";
}

// The sizes the header declares, including the worked figures at 320 x 156.
TEST(AviHeader, DeclaresTheSizesOfTheCompleteFile) {
    const struct {
        AviFormat format;
        uint32_t riff, movie, soundLength;
    } cases[] = {
        {{1, 320, 156, 22050}, 175346, 174778, 12495},
        {{100, 320, 156, 22050}, 15297398, 15293662, 158025},
        {{3, 320, 200, 16000}, 599091, 598459, 15435},  // 16000 Hz: S = 2133 follows R
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.format));
        const auto b = Block(c.format);
        ASSERT_EQ(b.size(), 524u);
        EXPECT_EQ(Le32(b, 4), c.riff);
        EXPECT_EQ(Le32(b, 516), c.movie);
        EXPECT_EQ(Le32(b, 264), c.soundLength);
        EXPECT_EQ(ComputeAviLayout(c.format).fileLength, int64_t{c.riff} + 8);
    }
}

// Videos whose sizes the signed 32-bit fields cannot hold are refused.
// 11013 frames of 320 x 200 at 22050 Hz: RIFF size 2147425442; one frame more passes 2^31 - 1.
TEST(CheckAviDescribable, OnlyWhenEverySizeFits) {
    for (const auto& [format, describable] : {std::pair{AviFormat{11013, 320, 200, 22050}, true},
                                              std::pair{AviFormat{11014, 320, 200, 22050}, false},
                                              std::pair{AviFormat{1, 65535, 65535, 65535}, false},
                                              std::pair{AviFormat{65535, 1, 1, 65535}, true}}) {
        const auto why = CheckAviDescribable(format);
        EXPECT_EQ(!why.has_value(), describable) << testing::PrintToString(format);
        EXPECT_NE(why.value_or("too large").find("too large"), std::string::npos) << *why;
    }
}

}  // namespace
}  // namespace rw
