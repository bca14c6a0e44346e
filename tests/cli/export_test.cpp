// --frames and --thumbnail: the pictures and sound against the AVI file of the same video, read
// back with an outside reader (ffmpeg); the folder rules and the failure policy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "export/frame_export.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell.h"

namespace rw {
namespace {

namespace fs = std::filesystem;

// The standard output of a shell command, as bytes.
std::vector<uint8_t> Capture(const std::string& command) {
    const std::string out = test::RunShell(command).out;
    return {out.begin(), out.end()};
}

// Raw pixels of PNG pictures (an ffmpeg input pattern), blue green red, top row first.
std::vector<uint8_t> DecodedPictures(const fs::path& input) {
    return Capture("ffmpeg -v error -i '" + input.string() +
                   "' -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
}

// The AVI's frames, top row first, joined.
std::vector<uint8_t> TopDown(const test::AviWalk& avi) {
    std::vector<uint8_t> out;
    for (auto frame : avi.videoFrames) {
        const test::Bytes picture = test::FlipRows(frame, avi.width, avi.height);
        out.insert(out.end(), picture.begin(), picture.end());
    }
    return out;
}

class CliExport : public testing::Test {
  public:
    // A video at 11025 Hz, so the WAV's rate is the video's, not the AVI's 22050.
    void PutVideo(int32_t frames) const {
        m_dir.Put("clip.vqa", synth::SynthesizeVqa(test::SmallOptions(frames, 64, 32, 11025)).file);
    }

    test::ScratchFolder m_dir;
};

TEST_F(CliExport, FramesAndSoundAreTheAvisPixelsAndSamplesAtTheVideosRate) {
    PutVideo(12);
    ASSERT_EQ(m_dir.Run({"clip.vqa"}).status, 0);
    const test::CliRun r = m_dir.Run({"--frames", "out", "clip.vqa"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Exported 12 frames of \"clip.vqa\" to \"out\"\n");

    std::vector<std::string> names;
    for (int f = 0; f < 12; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", f);
        names.push_back(name);
    }
    names.push_back("sound.wav");
    EXPECT_EQ(m_dir.Listing("out"), names);

    auto avi = m_dir.Get("clip.avi");
    ASSERT_TRUE(avi);
    const test::AviWalk walk = test::WalkAvi(*avi);
    ASSERT_EQ(walk.problem, "");
    EXPECT_EQ(DecodedPictures(m_dir / "out/frame-%04d.png"), TopDown(walk));

    // The leading chunk of 11025 bytes ends in half a sample.
    const std::vector<uint8_t> samples = test::WholeSamples(walk);
    EXPECT_EQ(
        test::RunShell("ffprobe -v error -show_entries stream=sample_rate,channels,codec_name "
                       "-of csv=p=0 '" +
                       (m_dir / "out/sound.wav").string() + "'")
            .out,
        "pcm_s16le,11025,1\n");
    // An outside reader takes the same samples from the WAV as from the AVI file.
    EXPECT_EQ(Capture("ffmpeg -v error -i '" + (m_dir / "out/sound.wav").string() +
                      "' -f s16le - 2>/dev/null"),
              samples);
    EXPECT_EQ(Capture("ffmpeg -v error -i '" + (m_dir / "clip.avi").string() +
                      "' -vn -f s16le - 2>/dev/null"),
              samples);
}

TEST(FrameFileName, TakesTheDigitsTheLastFrameNeeds) {
    for (auto [frame, frames, name] :
         {std::tuple{0, 1, "frame-0000.png"}, std::tuple{9999, 10000, "frame-9999.png"},
          std::tuple{7, 10001, "frame-00007.png"},
          std::tuple{123456, 123457, "frame-123456.png"}}) {
        EXPECT_EQ(FrameFileName(frame, frames), name);
    }
}

// A disk that fills up half-way: the folder the export made is gone again, with everything in it;
// a folder with files is refused unless forced, and then keeps its own files whatever happens.
TEST_F(CliExport, AFailureLeavesNothingBehindAndAFolderWithFilesNeedsForce) {
    PutVideo(40);
    const test::CliRun r = m_dir.Run({"--frames", "out", "clip.vqa"}, rlim_t{16384});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "out"));

    m_dir.Put("out/keep.txt", {'k'});
    const test::CliRun refused = m_dir.Run({"--frames", "out", "clip.vqa"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("\"out\" is not empty (--force writes into it)"), std::string::npos)
        << refused.err;
    EXPECT_EQ(m_dir.Run({"--frames", "out", "--force", "clip.vqa"}, rlim_t{16384}).status, 1);
    EXPECT_EQ(m_dir.Listing("out"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(m_dir.Run({"--frames", "out", "--force", "clip.vqa"}).status, 0);
    const std::vector<std::string> written = m_dir.Listing("out");
    ASSERT_EQ(written.size(), 42u);
    EXPECT_EQ(written[39], "frame-0039.png");
    EXPECT_EQ(written[40], "keep.txt");
}

TEST_F(CliExport, ThumbnailIsALitFrameScaledToFit) {
    PutVideo(20);
    for (auto [args, w, h] :
         {std::tuple{std::vector<std::string>{"--thumbnail", "t.png", "clip.vqa"}, 64, 32},
          std::tuple{std::vector<std::string>{"--thumbnail", "t.png", "--size", "16", "--force",
                                              "clip.vqa"},
                     16, 8}}) {
        const test::CliRun r = m_dir.Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint8_t> pixels = DecodedPictures(m_dir / "t.png");
        ASSERT_EQ(pixels.size(), size_t(3 * w * h));
        EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0), std::ptrdiff_t(pixels.size()));
        EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.vqa", "t.png"}));
    }
}

}  // namespace
}  // namespace rw
