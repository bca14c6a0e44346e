// Whole conversions of synthesised high-colour videos of every sound kind, through the conversion
// thread as the front ends run it, read back by an outside reader (ffprobe / ffmpeg): the frame
// rate, sound rate and channels are the video's own, and the pictures and sound are the ones the
// synthesiser says a reader must decode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/video_source.h"
#include "run/conversion_host.h"
#include "run/conversion_worker.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell.h"
#include "tools/synth/hc_synth.h"

namespace rw {
namespace {

using synth::HighColourSoundKind;

class NotingHost final : public ConversionHost {
  public:
    void ProgressChanged(const ProgressTexts&) override {}
    void SeekFailed(uint32_t, uint32_t) override {}
    void ConcealedDamage(int32_t, const std::string& message) override { told = message; }
    void ConversionFinished() override {}
    void ConversionFailed(const std::string& message) override { told = message; }
    std::string told;
};

struct Kind {
    const char* name;
    HighColourSoundKind sound;
    int32_t width, blockWidth, rate, fps;
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.name;
}

std::string Probe(const std::string& path) {
    return test::RunShell(
               "ffprobe -v error -show_entries stream=codec_name,r_frame_rate,"
               "sample_rate,channels,nb_frames -of csv=p=0 '" +
               path + "' 2>&1")
        .out;
}

std::vector<uint8_t> Decoded(const std::string& avi, const std::string& map,
                             const std::string& format, const test::ScratchFolder& dir) {
    const std::string out = (dir / "decoded.raw").string();
    const test::ShellRun run = test::RunShell("ffmpeg -v error -nostdin -y -i '" + avi + "' -map " +
                                              map + " -f " + format + " '" + out + "' 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    return dir.Get("decoded.raw").value_or(std::vector<uint8_t>{});
}

class HighColourConversion : public testing::TestWithParam<Kind> {};

TEST_P(HighColourConversion, OutsideReaderSeesTheVideosOwnRatesPicturesAndSound) {
    if (test::RunShell("ffprobe -version >/dev/null 2>&1").status != 0) GTEST_SKIP();
    const Kind& k = GetParam();
    const auto video = synth::SynthesizeHighColourVqa({.frames = 20,
                                                       .width = k.width,
                                                       .height = 24,
                                                       .blockWidth = k.blockWidth,
                                                       .blockHeight = 2,
                                                       .soundRate = k.rate,
                                                       .framesPerSecond = k.fps,
                                                       .sound = k.sound,
                                                       .codebookEvery = 7});
    const test::ScratchFolder dir;
    const std::string avi = (dir / "out.avi").string();
    ConversionRequest request;
    request.source = LooseSource((dir / dir.Put("in.vqa", video.file)).string());
    request.outputPath = avi;
    NotingHost host;
    ConversionWorker worker;
    worker.Start(std::move(request), host);
    worker.Join();
    ASSERT_EQ(worker.Outcome().status, ConversionOutcome::Status::Completed) << host.told;
    EXPECT_EQ(host.told.find("SND1") != std::string::npos, k.sound == HighColourSoundKind::Snd1)
        << host.told;

    std::vector<uint8_t> sound;
    for (const auto& s : video.sound) sound.insert(sound.end(), s.begin(), s.end());
    const bool audible =
        k.sound != HighColourSoundKind::Snd1 && k.sound != HighColourSoundKind::None;
    const int32_t channels =
        k.sound == HighColourSoundKind::Snd2Stereo || k.sound == HighColourSoundKind::Snd0Bits16
            ? 2
            : 1;
    const std::string soundLine = "pcm_s16le," + std::to_string(k.rate) + "," +
                                  std::to_string(channels) + ",0/0," +
                                  std::to_string(sound.size() / (2 * channels)) + "\n";
    EXPECT_EQ(Probe(avi), "rawvideo," + std::to_string(k.fps == 0 ? 15 : k.fps) + "/1,20\n" +
                              (audible ? soundLine : ""));
    std::vector<uint8_t> pictures;
    for (const auto& image : video.images)
        pictures.insert(pictures.end(), image.begin(), image.end());
    EXPECT_TRUE(Decoded(avi, "0:v", "rawvideo -pix_fmt bgr24", dir) == pictures);
    if (audible) {
        EXPECT_TRUE(Decoded(avi, "0:a", "s16le", dir) == sound);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HighColourConversion,
    testing::Values(Kind{"Snd2Mono", HighColourSoundKind::Snd2Mono, 64, 4, 22050, 15},
                    Kind{"Snd2Stereo", HighColourSoundKind::Snd2Stereo, 64, 4, 44100, 12},
                    Kind{"Snd0Bits8", HighColourSoundKind::Snd0Bits8, 70, 2, 11025, 30},
                    Kind{"Snd0Bits16", HighColourSoundKind::Snd0Bits16, 64, 4, 48000, 10},
                    Kind{"Snd1", HighColourSoundKind::Snd1, 64, 4, 22050, 15},
                    Kind{"Silent", HighColourSoundKind::None, 64, 4, 0, 0}),
    [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// Broken files convert with the damage concealed and reported, naming the file, or fail with a
// message naming it; nothing is left behind by a failure.
TEST(HighColourConversion, BrokenFilesAreReportedByNameAndNeverCrash) {
    const auto video = synth::SynthesizeHighColourVqa(
        {.frames = 12, .width = 32, .height = 16, .soundRate = 11025, .keepExpected = false});
    const int64_t lastFrame = video.frameOffsets.back();
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        ConversionOutcome::Status status;
        const char* told;  // a part of what the user is told
    };
    std::vector<uint8_t> cut(video.file.begin(), video.file.begin() + lastFrame + 20);
    std::vector<uint8_t> noIndex(video.file.begin(), video.file.begin() + 80);
    std::vector<uint8_t> scrambled = video.file;
    for (size_t i = static_cast<size_t>(video.frameOffsets[3]); i < scrambled.size(); i += 7) {
        scrambled[i] ^= 0x5A;
    }
    const std::vector<Case> cases = {
        {"cut inside the last frame", cut, ConversionOutcome::Status::Completed, "frame 12"},
        {"cut inside the header's chunks", noIndex, ConversionOutcome::Status::Failed,
         "Cannot convert \"in.vqa\""},
        {"scrambled from frame 3", scrambled, ConversionOutcome::Status::Completed, "damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScratchFolder dir;
        ConversionRequest request;
        request.source = LooseSource((dir / dir.Put("in.vqa", c.file)).string());
        request.source.name = "in.vqa";
        request.outputPath = (dir / "out.avi").string();
        NotingHost host;
        ConversionWorker worker;
        worker.Start(std::move(request), host);
        worker.Join();
        EXPECT_EQ(worker.Outcome().status, c.status) << host.told;
        EXPECT_NE(host.told.find(c.told), std::string::npos) << host.told;
        EXPECT_NE(host.told.find("in.vqa"), std::string::npos) << host.told;
        EXPECT_EQ(dir.Listing().size(), c.status == ConversionOutcome::Status::Completed ? 2u : 1u);
    }
}

}  // namespace
}  // namespace rw
