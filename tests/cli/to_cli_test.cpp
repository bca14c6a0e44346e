// Conversions into compressed files (--to): the pictures and sound of a lossless file read back by
// an outside reader (ffmpeg, given only the files written here), the refused options, the kept
// existing output, and nothing left behind by a failed or interrupted run.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

namespace fs = std::filesystem;

// The pictures (BGR) or the sound (16-bit PCM) of a file this program wrote, as ffmpeg reads them.
std::string Decoded(const fs::path& path, const std::string& what) {
    const std::string out = what == "v" ? "-vsync passthrough -f rawvideo -pix_fmt bgr24"
                                        : "-f s16le -acodec pcm_s16le";
    return test::RunShell("ffmpeg -v error -i '" + path.string() + "' -map 0:" + what + " " + out +
                          " -")
        .out;
}

class ToFormat : public testing::Test {
  protected:
    std::vector<std::string> Others() const {
        std::vector<std::string> names = m_dir.Listing();
        std::erase(names, "clip.vqa");
        return names;
    }
    test::ScratchFolder m_dir;
};

// A lossless file holds the AVI file's pictures and sound, bit for bit, lead of sound included (R
// bytes, then 2R / 15 a frame).
TEST_F(ToFormat, MkvHoldsTheAvisPicturesAndSoundExactly) {
    m_dir.Put("clip.vqa", test::SmallVideo(30, 64, 32).file);
    ASSERT_EQ(m_dir.Run({"clip.vqa"}).status, 0);
    const test::CliRun r = m_dir.Run({"--to", "mkv", "clip.vqa"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Converted \"clip.vqa\" to \"clip.mkv\"\n");
    for (const char* what : {"v", "a"}) {
        const std::string avi = Decoded(m_dir / "clip.avi", what);
        EXPECT_EQ(avi.size(), what[0] == 'v' ? 30u * 64 * 32 * 3 : 22050u + 30 * 2 * 22050 / 15);
        EXPECT_TRUE(Decoded(m_dir / "clip.mkv", what) == avi) << what;
    }
}

// A video without sound and a high-colour one (stereo, 12 frames a second) take the same way.
TEST_F(ToFormat, MkvOfASilentOrHighColourVideoHoldsTheAvisPicturesAndSound) {
    m_dir.Put("silent.vqa", synth::SynthesizeVqa(test::SmallOptions(12, 64, 32, 0)).file);
    m_dir.Put("hc.vqa",
              synth::SynthesizeHighColourVqa({.frames = 12,
                                              .width = 64,
                                              .height = 32,
                                              .soundRate = 22050,
                                              .framesPerSecond = 12,
                                              .sound = synth::HighColourSoundKind::Snd2Stereo,
                                              .keepExpected = false})
                  .file);
    for (const char* name : {"silent", "hc"}) {
        const std::string vqa = std::string(name) + ".vqa";
        ASSERT_EQ(m_dir.Run({vqa}).status, 0) << name;
        const test::CliRun r = m_dir.Run({"--to", "mkv", vqa});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* what : {"v", "a"}) {
            const std::string avi = Decoded(m_dir / (std::string(name) + ".avi"), what);
            EXPECT_TRUE(Decoded(m_dir / (std::string(name) + ".mkv"), what) == avi)
                << name << " " << what;
        }
        EXPECT_EQ(Decoded(m_dir / (std::string(name) + ".avi"), "v").size(), 12u * 64 * 32 * 3);
    }
}

// Folders and archives, into another folder, two files at once: each output named as its AVI
// file would be, with the format's extension.
TEST_F(ToFormat, FoldersAndArchivesIntoAnOutputFolder) {
    const auto& video = test::SmallVideo(6, 64, 32).file;
    m_dir.Put("in/a.vqa", video);
    m_dir.Put("in/MOVIES.MIX", synth::PackMix({{0x10, video}}));
    const test::CliRun r = m_dir.Run({"--to", "mpg", "--jobs", "2", "-o", "out", "in"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(m_dir.Listing("out"),
              (std::vector<std::string>{"MOVIES-0001-00000010.mpg", "a.mpg"}));
}

// An existing output is kept unless --force is given.
TEST_F(ToFormat, AnExistingOutputIsKeptWithoutForce) {
    m_dir.Put("clip.vqa", test::SmallVideo(6, 64, 32).file);
    m_dir.Put("clip.webm", {'o', 'l', 'd'});
    const test::CliRun kept = m_dir.Run({"--to", "webm", "clip.vqa"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("\"clip.webm\" already exists; give --force to replace it"),
              std::string::npos)
        << kept.err;
    EXPECT_EQ(m_dir.Get("clip.webm"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(m_dir.Run({"--to", "webm", "--force", "clip.vqa"}).status, 0);
    EXPECT_GT(m_dir.Get("clip.webm").value_or(std::vector<uint8_t>{}).size(), 3u);
}

// A write that fails (a full disk) and an interrupt both leave nothing behind.
TEST_F(ToFormat, AFailedOrInterruptedRunLeavesNothing) {
    m_dir.Put("clip.vqa", test::SmallVideo(600, 64, 32).file);
    const test::CliRun full = m_dir.Run({"--to", "mkv", "clip.vqa"}, 64 * 1024);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Cannot convert \"clip.vqa\""), std::string::npos) << full.err;
    EXPECT_EQ(Others(), std::vector<std::string>{});

    test::Child child(test::kCliProgram, {"--to", "webm", "--scale", "8", "clip.vqa"},
                      m_dir.Path());
    for (int i = 0; i < 500 && Others().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    child.Signal(SIGINT);
    const test::CliRun r = child.Finish();
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(Others(), std::vector<std::string>{});
}

}  // namespace
}  // namespace rw
