#include "avi/avi_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "avi/avi_header.h"
#include "tests/support/avi_walk.h"
#include "tests/support/memory_file.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::Le32;

// A complete file written by hand through the writers, as the run does, with frame f's picture
// filled with the byte f + 1 and its sound with 0x40 + f.
std::vector<uint8_t> WriteFile(const AviFormat& p) {
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
        auto v = BeginVideoChunk(out, static_cast<size_t>(3 * p.width * p.height));
        EXPECT_TRUE(s.ok() && v.ok());
        std::fill(v->image.begin(), v->image.end(), static_cast<uint8_t>(f + 1));
        EXPECT_TRUE(EndVideoChunk(out, *v).ok());
        sound.push_back(*s);
        video.push_back(v->position);
    }
    EXPECT_TRUE(WriteIndexChunk(out, *lead, sound, video, p).ok());
    return out.Data();
}

TEST(MovieChunks, WorkedLayoutOfTwoFramesOf4x2) {
    const auto file = WriteFile(AviFormat{2, 4, 2, 22050});
    ASSERT_EQ(file.size(), 28630u);
    const test::AviWalk walk = test::WalkAvi(file);
    ASSERT_EQ(walk.problem, "");
    EXPECT_EQ(test::Layout(walk),
              "01wb@524+22050 01wb@22582+2940 00db@25530+24 01wb@25562+2940 00db@28510+24 "
              "| 0 0 16 0 16");
    // The leading chunk holds the 22048 decoded bytes and two zero bytes.
    EXPECT_EQ(file[532 + 22047], 0x33);
    EXPECT_EQ(file[532 + 22048], 0);
    EXPECT_EQ(file[532 + 22049], 0);
}

// Every declared size agrees with the bytes written, and each sound chunk holds the decoded block
// and zero bytes up to S: odd picture sizes, no sound, and a rate above those of the end-to-end
// conversions, where S exceeds 2 * (R / 15).
TEST(MovieChunks, DeclaredSizesAgreeWithTheBytes) {
    for (const AviFormat& p : {AviFormat{4, 7, 5, 44100}, AviFormat{2, 5, 1, 0}}) {
        SCOPED_TRACE(testing::PrintToString(p));
        const auto file = WriteFile(p);
        EXPECT_EQ(static_cast<int64_t>(file.size()), ComputeAviLayout(p).fileLength);
        const auto walk = test::WalkAvi(file);
        ASSERT_EQ(walk.problem, "");
        ASSERT_EQ(walk.videoFrames.size(), static_cast<size_t>(p.frames));
        for (int32_t f = 0; f < p.frames; ++f) {
            const auto& chunk = walk.movie[1 + 2 * f];
            ASSERT_EQ(chunk.size, static_cast<uint32_t>((2 * p.soundRate) / 15));
            const size_t decoded = static_cast<size_t>(4 * ((p.soundRate / 15) / 2));
            for (size_t i = 0; i < chunk.data.size(); ++i) {
                ASSERT_EQ(chunk.data[i], i < decoded ? 0x40 + f : 0) << "frame " << f << " " << i;
            }
        }
    }
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

// Position tables that do not match the format are refused and nothing is written.
TEST(MovieChunks, InputsThatDoNotMatchTheFormatAreRefused) {
    const AviFormat p{2, 4, 2, 22050};
    MemoryOutputFile out;
    const uint32_t two[] = {1, 2};
    const uint32_t one[] = {1};
    EXPECT_FALSE(WriteIndexChunk(out, 524, two, one, p).ok());
    EXPECT_FALSE(WriteIndexChunk(out, 524, one, one, p).ok());
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
    ASSERT_TRUE(WriteIndexChunk(out, 524, sound, video, AviFormat{frames, 4, 2, 22050}).ok());
    // Checked once entry by entry: the leading sound, then per frame its sound and its video.
    EXPECT_EQ(out.Data().size(), 8u + 32 * frames + 16);
    EXPECT_EQ(test::Fingerprint(out.Data()), "39359f37b83bfa8c");
}

}  // namespace
}  // namespace rw
