// Whole conversions of synthesised videos of many shapes, checked three ways: the declared sizes
// against the bytes, the pictures and sound against what the synthesiser says a reader must
// decode, and an outside reader (ffprobe / ffmpeg) against our own reading of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "avi/avi_header.h"
#include "run/avi_format_of.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell.h"
#include "tools/synth/vqa_synth.h"

namespace rw {
namespace {

using test::PrintTo;
namespace fs = std::filesystem;

struct Shape {
    const char* name;
    int32_t frames, width, height, blockWidth, blockHeight, rate;
    synth::CodebookParts parts;
    bool compress;
    bool paletteChanges;
};

synth::SynthOptions OptionsFor(const Shape& s) {
    return {.frames = s.frames,
            .width = s.width,
            .height = s.height,
            .blockWidth = s.blockWidth,
            .blockHeight = s.blockHeight,
            .soundRate = s.rate,
            .parts = s.parts,
            .compressPointerTables = s.compress,
            .compressCodebooks = s.compress,
            .compressPalettes = s.compress,
            .paletteChanges = s.paletteChanges};
}

struct Converted {
    synth::SynthVideo video;
    ConversionOutcome outcome;
    std::vector<uint8_t> avi;
};

Converted ConvertShape(const Shape& s) {
    Converted c;
    c.video = synth::SynthesizeVqa(OptionsFor(s));
    test::InMemory r = test::ConvertInMemory(c.video.file);
    c.outcome = r.outcome;
    c.avi = std::move(r.avi);
    return c;
}

class EndToEnd : public testing::TestWithParam<Shape> {};

TEST_P(EndToEnd, SizesPicturesAndSoundAgree) {
    const Shape& s = GetParam();
    const Converted c = ConvertShape(s);
    ASSERT_EQ(c.outcome.status, ConversionOutcome::Status::Completed) << c.outcome.message;
    EXPECT_EQ(c.outcome.damagedFrames, 0) << c.outcome.message;
    EXPECT_EQ(static_cast<int64_t>(c.avi.size()),
              ComputeAviLayout(AviFormatOf(c.video.properties)).fileLength);

    const test::AviWalk walk = test::WalkAvi(c.avi);
    ASSERT_EQ(walk.problem, "");
    ASSERT_EQ(walk.videoFrames.size(), static_cast<size_t>(s.frames));
    ASSERT_EQ(walk.index.size(), 2u * s.frames + 1);
    for (int32_t f = 0; f < s.frames; ++f) {
        const auto expected = test::FlipRows(c.video.images[f], s.width, s.height);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), walk.videoFrames[f].begin(),
                               walk.videoFrames[f].end()))
            << "picture of frame " << f;
    }
    // Sound: the leading block filled to R bytes, then each frame's block filled to S, with the
    // block's last sample repeated.
    auto filled = [](std::vector<uint8_t> block, size_t size) {
        const size_t decoded = block.size();
        block.resize(size);
        for (size_t i = decoded; decoded >= 2 && i < size; ++i) {
            block[i] = block[decoded - 2 + (i - decoded) % 2];
        }
        return block;
    };
    const size_t r = static_cast<size_t>(s.rate);
    const size_t soundChunk = static_cast<size_t>((2 * s.rate) / 15);
    std::vector<uint8_t> expected = filled(c.video.leadingSound, r);
    for (const auto& block : c.video.frameSound) {
        const std::vector<uint8_t> chunk = filled(block, soundChunk);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(walk.sound, expected);
}

using synth::CodebookParts;
const Shape kShapes[] = {
    {"s320x156", 24, 320, 156, 4, 2, 22050, CodebookParts::SplitStream, true, true},
    {"s320x200", 20, 320, 200, 4, 2, 22050, CodebookParts::PerPart, true, true},
    {"s320x200raw", 12, 320, 200, 4, 2, 22050, CodebookParts::None, false, false},
    {"odd_size", 17, 37, 23, 4, 2, 22050, CodebookParts::SplitStream, true, true},
    {"blocks4x4", 18, 64, 48, 4, 4, 11025, CodebookParts::PerPart, false, true},
    {"hz11025", 16, 160, 100, 4, 2, 11025, CodebookParts::SplitStream, true, true},
    {"hz16000", 16, 160, 100, 4, 2, 16000, CodebookParts::None, true, true},
    {"silent", 5, 32, 16, 4, 2, 0, CodebookParts::SplitStream, true, false},
    {"one_frame", 1, 320, 156, 4, 2, 22050, CodebookParts::SplitStream, true, false},
    {"hz8000_blocks2x2_raw_parts", 26, 160, 100, 2, 2, 8000, CodebookParts::PerPart, false, true},
    {"large_800x600", 10, 800, 600, 4, 2, 22050, CodebookParts::SplitStream, true, true},
};

INSTANTIATE_TEST_SUITE_P(Shapes, EndToEnd, testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The outside reader ----

bool HaveFfmpeg() {
    return test::RunShell("ffprobe -version >/dev/null 2>&1 && ffmpeg -version >/dev/null 2>&1")
               .status == 0;
}

class OutsideReader : public testing::TestWithParam<Shape> {};

TEST_P(OutsideReader, AcceptsTheFileAndDecodesTheSamePictures) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    const Shape& s = GetParam();
    const Converted c = ConvertShape(s);
    ASSERT_EQ(c.outcome.status, ConversionOutcome::Status::Completed);

    const test::ScratchFolder dir;
    const std::string avi = dir.Put("out.avi", c.avi);
    const std::string probe =
        test::RunShell(
            "ffprobe -v error -show_entries "
            "stream=codec_type,codec_name,width,height,pix_fmt,nb_frames,sample_rate,channels,"
            "bits_per_sample -of default=noprint_wrappers=1 '" +
            (dir / avi).string() + "' 2>&1")
            .out;
    // (The sound's length is the one the header declares, stated at 22050 Hz whatever the rate.)
    EXPECT_EQ(probe.substr(0, probe.rfind("nb_frames=")),
              "codec_name=rawvideo\ncodec_type=video\nwidth=" + std::to_string(s.width) +
                  "\nheight=" + std::to_string(s.height) +
                  "\npix_fmt=bgr24\nnb_frames=" + std::to_string(s.frames) +
                  "\ncodec_name=pcm_s16le\ncodec_type=audio\nsample_rate=22050\nchannels=1\n"
                  "bits_per_sample=16\n")
        << probe;

    // The frames ffmpeg decodes, top row first, equal the synthesiser's pictures byte for byte.
    const std::string raw = (dir / "frames.bgr").string();
    const test::ShellRun decode =
        test::RunShell("ffmpeg -v error -nostdin -y -i '" + (dir / avi).string() +
                       "' -map 0:v -f rawvideo -pix_fmt bgr24 '" + raw + "' 2>&1");
    EXPECT_EQ(decode.status, 0) << decode.out;
    auto decoded = ReadWholeFile(raw);
    ASSERT_TRUE(decoded.ok());
    const size_t frameBytes = 3 * static_cast<size_t>(s.width) * s.height;
    ASSERT_EQ(decoded->size(), frameBytes * s.frames);
    for (int32_t f = 0; f < s.frames; ++f) {
        ASSERT_TRUE(std::equal(c.video.images[f].begin(), c.video.images[f].end(),
                               decoded->begin() + f * frameBytes))
            << "frame " << f;
    }
}

// Even widths keep ffmpeg's raw rows unpadded; the odd shape checks that an odd chunk size is read.
INSTANTIATE_TEST_SUITE_P(Shapes, OutsideReader,
                         testing::Values(kShapes[0], kShapes[1], kShapes[3], kShapes[4],
                                         kShapes[6]),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rw
