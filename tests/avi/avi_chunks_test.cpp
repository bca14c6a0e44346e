#include "avi/avi_chunks.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "avi/avi_header.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

using test::Props;

using test::Id;
using test::Le32;

// A complete file written by hand through the writers, as the run does, with frame f's picture
// filled with the byte f + 1 and its sound with 0x40 + f.
std::vector<uint8_t> WriteFile(const VqaProperties& p) {
    MemoryOutputFile out;
    EXPECT_TRUE(WriteAviHeader(out, p).ok());
    const int32_t r = p.soundRate;
    std::vector<uint8_t> leading(static_cast<size_t>(4 * (r / 4)), 0x33);
    auto lead = WriteSoundChunk(out, r, leading, r);
    EXPECT_TRUE(lead.ok());
    std::vector<uint32_t> sound, video;
    for (int32_t f = 0; f < p.frames; ++f) {
        std::vector<uint8_t> decoded(static_cast<size_t>(4 * ((r / 15) / 2)),
                                     static_cast<uint8_t>(0x40 + f));
        auto s = WriteSoundChunk(out, (2 * r) / 15, decoded, (2 * r) / 15);
        std::vector<uint8_t> image(static_cast<size_t>(3 * p.width * p.height),
                                   static_cast<uint8_t>(f + 1));
        auto v = WriteVideoChunk(out, image, p);
        EXPECT_TRUE(s.ok() && v.ok());
        sound.push_back(*s);
        video.push_back(*v);
    }
    EXPECT_TRUE(WriteIndexChunk(out, *lead, sound, video, p).ok());
    return out.Data();
}

TEST(MovieChunks, WorkedLayoutOfTwoFramesOf4x2) {
    const auto file = WriteFile(Props(2, 4, 2, 22050));
    ASSERT_EQ(file.size(), 28630u);
    EXPECT_EQ(Le32(file, 4), 28622u);
    EXPECT_EQ(Le32(file, 516), 28022u);
    struct Chunk {
        uint32_t offset;
        const char* id;
        uint32_t size;
    };
    const Chunk chunks[] = {{524, "01wb", 22050},  {22582, "01wb", 2940}, {25530, "00db", 24},
                            {25562, "01wb", 2940}, {28510, "00db", 24},   {28542, "idx1", 80}};
    for (const Chunk& c : chunks) {
        EXPECT_EQ(Id(file, c.offset), c.id) << c.offset;
        EXPECT_EQ(Le32(file, c.offset + 4), c.size) << c.offset;
    }
    struct Entry {
        const char* id;
        uint32_t flags, offset, size;
    };
    const Entry entries[] = {{"01wb", 0, 524, 22050},
                             {"01wb", 0, 22582, 2940},
                             {"00db", 0x10, 25530, 24},
                             {"01wb", 0, 25562, 2940},
                             {"00db", 0x10, 28510, 24}};
    for (size_t i = 0; i < 5; ++i) {
        const size_t at = 28550 + 16 * i;
        EXPECT_EQ(Id(file, at), entries[i].id) << i;
        EXPECT_EQ(Le32(file, at + 4), entries[i].flags) << i;
        EXPECT_EQ(Le32(file, at + 8), entries[i].offset) << i;
        EXPECT_EQ(Le32(file, at + 12), entries[i].size) << i;
    }
    // The leading chunk holds the 22048 decoded bytes and two zero bytes.
    EXPECT_EQ(file[532 + 22047], 0x33);
    EXPECT_EQ(file[532 + 22048], 0);
    EXPECT_EQ(file[532 + 22049], 0);
}

// Every declared size agrees with the bytes written: odd picture sizes, no sound, a rate above
// what the synthesised videos of the end-to-end conversions use, and S exceeding 2 * (R / 15).
struct ShapeCase {
    int32_t frames, width, height, rate;
};
void PrintTo(const ShapeCase& c, std::ostream* os) {
    PrintTo(Props(c.frames, c.width, c.height, c.rate), os);
}
class WalkableFiles : public testing::TestWithParam<ShapeCase> {};

TEST_P(WalkableFiles, DeclaredSizesAgreeWithTheBytes) {
    const ShapeCase c = GetParam();
    const VqaProperties p = Props(c.frames, c.width, c.height, c.rate);
    const auto file = WriteFile(p);
    EXPECT_EQ(static_cast<int64_t>(file.size()), ComputeAviLayout(p).fileLength);
    const auto walk = test::WalkAvi(file);
    ASSERT_EQ(walk.problem, "");
    EXPECT_EQ(walk.index.size(), 2u * c.frames + 1);
    EXPECT_EQ(walk.videoFrames.size(), static_cast<size_t>(c.frames));
    const uint32_t s = static_cast<uint32_t>((2 * c.rate) / 15);
    for (int32_t f = 0; f < c.frames; ++f) {
        EXPECT_EQ(walk.index[1 + 2 * f].size, s);
        EXPECT_EQ(walk.index[2 + 2 * f].flags, 0x10u);
        EXPECT_EQ(walk.index[1 + 2 * f].flags, 0u);
        // The chunk holds the decoded block and zero bytes up to S.
        const auto& chunk = walk.movie[1 + 2 * f];
        const size_t decoded = static_cast<size_t>(4 * ((c.rate / 15) / 2));
        for (size_t i = 0; i < chunk.data.size(); ++i) {
            ASSERT_EQ(chunk.data[i], i < decoded ? 0x40 + f : 0) << "frame " << f << " byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, WalkableFiles,
                         testing::Values(ShapeCase{3, 4, 2, 16000}, ShapeCase{2, 3, 3, 22050},
                                         ShapeCase{2, 5, 1, 0}, ShapeCase{4, 7, 5, 44100}));

TEST(WriteVideoChunk, StoresTheRowsBottomRowFirst) {
    const VqaProperties p = Props(1, 2, 3, 22050);
    std::vector<uint8_t> image(18);
    std::iota(image.begin(), image.end(), uint8_t{0});  // row 0: 0..5, row 1: 6..11, row 2: 12..17
    MemoryOutputFile out;
    auto pos = WriteVideoChunk(out, image, p);
    ASSERT_TRUE(pos.ok());
    EXPECT_EQ(*pos, 0u);
    const std::vector<uint8_t> expected = {'0', '0', 'd', 'b', 18, 0,  0,  0, 12, 13, 14, 15, 16,
                                           17,  6,   7,   8,   9,  10, 11, 0, 1,  2,  3,  4,  5};
    EXPECT_EQ(out.Data(), expected);

    MemoryOutputFile bottomUp;
    ASSERT_TRUE(WriteVideoChunkBottomUp(bottomUp, image).ok());
    EXPECT_EQ(std::vector<uint8_t>(bottomUp.Data().begin() + 8, bottomUp.Data().end()), image);
}

TEST(WriteVideoChunk, RefusesAnImageOfTheWrongSize) {
    MemoryOutputFile out;
    EXPECT_FALSE(WriteVideoChunk(out, std::vector<uint8_t>(17), Props(1, 2, 3, 22050)).ok());
    EXPECT_TRUE(out.Data().empty());
}

TEST(WriteSoundChunk, NeverReadsPastTheDecodedSound) {
    struct Case {
        size_t decoded;
        int32_t toWrite;
    };
    for (const Case c : {Case{0, 5}, Case{3, 5}, Case{5, 5}, Case{8, 5}}) {
        std::vector<uint8_t> decoded(c.decoded, 0xAB);
        MemoryOutputFile out;
        ASSERT_TRUE(WriteSoundChunk(out, 7, decoded, c.toWrite).ok());
        ASSERT_EQ(out.Data().size(), 8u + c.toWrite);
        EXPECT_EQ(Le32(out.Data(), 4), 7u);
        for (size_t i = 0; i < static_cast<size_t>(c.toWrite); ++i) {
            EXPECT_EQ(out.Data()[8 + i], i < c.decoded ? 0xAB : 0) << c.decoded << " " << i;
        }
    }
}

TEST(WriteIndexChunk, RefusesPositionTablesOfTheWrongLength) {
    MemoryOutputFile out;
    const uint32_t two[] = {1, 2};
    const uint32_t one[] = {1};
    EXPECT_FALSE(WriteIndexChunk(out, 524, two, one, Props(2, 4, 2, 22050)).ok());
    EXPECT_FALSE(WriteIndexChunk(out, 524, one, one, Props(2, 4, 2, 22050)).ok());
    EXPECT_TRUE(out.Data().empty());
}

TEST(WriteIndexChunk, WritesLongIndexesWhole) {
    // More entries than one write block holds.
    const int32_t frames = 1000;
    std::vector<uint32_t> sound(frames), video(frames);
    for (int32_t f = 0; f < frames; ++f) {
        sound[f] = static_cast<uint32_t>(1000 + 2 * f);
        video[f] = static_cast<uint32_t>(1001 + 2 * f);
    }
    MemoryOutputFile out;
    ASSERT_TRUE(WriteIndexChunk(out, 524, sound, video, Props(frames, 4, 2, 22050)).ok());
    const auto& d = out.Data();
    ASSERT_EQ(d.size(), 8u + 32 * frames + 16);
    EXPECT_EQ(Le32(d, 4), 32u * frames + 16);
    for (int32_t f = 0; f < frames; ++f) {
        ASSERT_EQ(Le32(d, 8 + 16 + 32 * f + 8), sound[f]);
        ASSERT_EQ(Le32(d, 8 + 32 + 32 * f + 8), video[f]);
        ASSERT_EQ(Id(d, 8 + 32 + 32 * f), "00db");
    }
}

}  // namespace
}  // namespace rw
