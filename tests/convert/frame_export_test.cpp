// The frame stream's other targets: the exported sound file, the player's decoding thread and
// clock, and the export of a silent video.
#include "export/frame_export.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "playback/playback_source.h"
#include "png/png_image.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/hc_synth.h"
#include "wav/wav_file.h"

namespace rw {
namespace {

std::vector<uint8_t> VideoAt(int32_t rate, int32_t frames = 6) {
    return synth::SynthesizeVqa(test::SmallOptions(frames, 32, 16, rate)).file;
}

// A high-colour video exports true-colour pictures and its sound at its own rate and channels,
// equal to what the synthesiser says a reader decodes.
TEST(ExportFrames, HighColourPicturesAndStereoSoundAreTheVideos) {
    const auto video =
        synth::SynthesizeHighColourVqa({.frames = 8,
                                        .width = 32,
                                        .height = 16,
                                        .soundRate = 11025,
                                        .sound = synth::HighColourSoundKind::Snd2Stereo});
    test::ScratchFolder dir;
    dir.Put("hc.vqa", video.file);
    test::NullObserver quiet;
    const ConversionOutcome done = ExportFrames(LooseSource((dir.Path() / "hc.vqa").string()),
                                                dir.Path() / "out", false, quiet);
    ASSERT_EQ(done.status, ConversionOutcome::Status::Completed) << done.message;
    const auto wav = ReadWholeFile(dir.Path() / "out" / "sound.wav");
    ASSERT_TRUE(wav);
    const auto sound = DecodeWav(*wav);
    ASSERT_TRUE(sound) << sound.error().message;
    EXPECT_EQ(sound->rate, 11025u);
    EXPECT_EQ(sound->channels, 2u);
    std::vector<uint8_t> expected;
    for (const auto& s : video.sound) expected.insert(expected.end(), s.begin(), s.end());
    ASSERT_EQ(sound->samples.size() * 2, expected.size());
    EXPECT_EQ(std::memcmp(sound->samples.data(), expected.data(), expected.size()), 0);
    const auto png = ReadWholeFile(dir.Path() / "out" / FrameFileName(7, 8));
    ASSERT_TRUE(png);
    const auto image = DecodePng(*png);
    ASSERT_TRUE(image);
    std::vector<uint8_t> bgr(image->pixels.size());
    for (size_t p = 0; p + 2 < bgr.size(); p += 3) {
        bgr[p] = image->pixels[p + 2];
        bgr[p + 1] = image->pixels[p + 1];
        bgr[p + 2] = image->pixels[p];
    }
    EXPECT_EQ(bgr, video.images[7]);
}

// The exported sound file, read from its bytes: the sizes its header declares are what follows,
// and the samples are the AVI file's whole samples (at 11025 Hz the leading chunk has 11025 bytes,
// the last one half a sample).
TEST(ExportFrames, TheSoundFileDeclaresWhatItHoldsAndHoldsTheAvisSamples) {
    for (int32_t rate : {11025, 22050}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        test::ScratchFolder dir;
        const std::vector<uint8_t> vqa = VideoAt(rate);
        dir.Put("clip.vqa", vqa);
        test::NullObserver quiet;
        const ConversionOutcome done = ExportFrames(LooseSource((dir.Path() / "clip.vqa").string()),
                                                    dir.Path() / "out", false, quiet);
        ASSERT_EQ(done.status, ConversionOutcome::Status::Completed) << done.message;
        const auto wav = ReadWholeFile(dir.Path() / "out" / "sound.wav");
        ASSERT_TRUE(wav);
        ASSERT_GE(wav->size(), 44u);
        EXPECT_EQ(ByteReader::LoadU32Le(wav->data() + 4), wav->size() - 8);
        EXPECT_EQ(std::string(wav->begin() + 36, wav->begin() + 40), "data");
        EXPECT_EQ(ByteReader::LoadU32Le(wav->data() + 40), wav->size() - 44);
        const std::vector<uint8_t> avi = test::ConvertInMemory(vqa).avi;  // the walk points into it
        const test::AviWalk walk = test::WalkAvi(avi);
        ASSERT_EQ(walk.problem, "");
        const std::vector<uint8_t> samples = test::WholeSamples(walk);
        ASSERT_EQ(wav->size() - 44, samples.size());
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), wav->begin() + 44));
    }
}

// Frame n shows from n / 15 s; the sound before frame 0 lasts half a second (R bytes).
TEST(PlaybackClock, PlacesFramesInTheSound) {
    const VqaProperties props = test::Props(100, 32, 16, 22050);
    struct Case {
        int32_t frame;
        int32_t chunk;
        int64_t byte;
    } cases[] = {{0, -1, 0}, {7, -1, 20580}, {8, 0, 1470}, {15, 7, 1470}, {99, 91, 1470}};
    for (const Case& c : cases) {
        const SoundPlace place = SoundPlaceOfFrame(props, c.frame);
        EXPECT_EQ(place.chunk, c.chunk) << c.frame;
        EXPECT_EQ(place.byte, c.byte) << c.frame;
    }
    EXPECT_EQ(FrameAtSample(props, 0), 0);
    EXPECT_EQ(FrameAtSample(props, 1469), 0);
    EXPECT_EQ(FrameAtSample(props, 1470), 1);
    EXPECT_EQ(FrameAtSample(props, int64_t{1} << 40), 99);
    EXPECT_EQ(FrameAtSample(test::Props(100, 32, 16, 0), 5000), 0);
}

TEST(PlaybackSource, DecodesAheadAndStartsAgainAtAnyFrame) {
    test::ScratchFolder dir;
    const std::string path = dir.Put("clip.vqa", VideoAt(22050, 20));
    PlaybackSource source(4);
    ASSERT_TRUE(source.Open((dir.Path() / path).string()).ok());
    EXPECT_EQ(source.Format().frames, 20);
    EXPECT_EQ(source.LeadingSound().size(), 22050u);
    for (int32_t restart : {-1, 15, 3}) {
        if (restart >= 0) source.Restart(restart);
        for (int32_t f = std::max(restart, 0); f < 20; ++f) {
            auto frame = source.TakeWaiting(10000);
            ASSERT_TRUE(frame) << f;
            EXPECT_EQ(frame->frame, f);
            EXPECT_EQ(frame->picture.size(), 32u * 16 * 3);
            EXPECT_EQ(frame->sound.size(), 2940u);
        }
        EXPECT_FALSE(source.TakeWaiting(2000));
        EXPECT_TRUE(source.Ended());
        EXPECT_EQ(source.Problem(), "");
    }
}

// A high-colour video plays at its own frame rate with its own (stereo) sound: every frame's
// picture and sound as the synthesiser says a reader decodes them, also after a seek into the
// middle of a codebook's frames; the clock finds the sound of each frame.
TEST(PlaybackSource, HighColourFramesSoundAndSeeks) {
    const auto video =
        synth::SynthesizeHighColourVqa({.frames = 30,
                                        .width = 32,
                                        .height = 16,
                                        .soundRate = 22050,
                                        .framesPerSecond = 10,
                                        .sound = synth::HighColourSoundKind::Snd2Stereo,
                                        .codebookEvery = 7});
    test::ScratchFolder dir;
    PlaybackSource source(4);
    ASSERT_TRUE(source.Open((dir.Path() / dir.Put("hc.vqa", video.file)).string()).ok());
    EXPECT_EQ(source.Format().framesPerSecond, 10);
    EXPECT_EQ(source.Format().channels, 2);
    EXPECT_EQ(source.FrameAtSample(2205 * 17 + 2204), 17);
    for (size_t f = 0; f < 30; ++f) {
        const SoundPlace place = source.SoundPlaceOf(int32_t(f));
        const int64_t due = 4 * (int64_t(f) * 2205);
        int64_t at = 0;
        for (int32_t c = 0; c < place.chunk; ++c) at += int64_t(video.sound[size_t(c)].size());
        EXPECT_EQ(at + place.byte, due) << f;
    }
    for (int32_t restart : {-1, 20, 9, 29}) {
        if (restart >= 0) source.Restart(restart);
        for (int32_t f = std::max(restart, 0); f < 30; ++f) {
            auto frame = source.TakeWaiting(10000);
            ASSERT_TRUE(frame) << f;
            ASSERT_EQ(frame->frame, f);
            const auto& image = video.images[size_t(f)];
            std::vector<uint8_t> topDown;
            for (size_t row = 16; row-- > 0;)
                topDown.insert(topDown.end(), frame->picture.begin() + long(row * 96),
                               frame->picture.begin() + long(row * 96 + 96));
            EXPECT_TRUE(topDown == image) << restart << " " << f;
            EXPECT_TRUE(frame->sound == video.sound[size_t(f)]) << f;
        }
        EXPECT_FALSE(source.TakeWaiting(2000));
        EXPECT_TRUE(source.Ended());
    }
}

// (An export that does not complete leaves nothing behind, whatever ended it: the command line's
// full-disk case.)
TEST(ExportFrames, ASilentVideoHasNoSoundFile) {
    test::ScratchFolder dir;
    dir.Put("silent.vqa", VideoAt(0, 3));
    test::NullObserver quiet;
    const ConversionOutcome done = ExportFrames(LooseSource((dir.Path() / "silent.vqa").string()),
                                                dir.Path() / "silent", false, quiet);
    EXPECT_EQ(done.status, ConversionOutcome::Status::Completed) << done.message;
    EXPECT_EQ(dir.Listing("silent"),
              (std::vector<std::string>{"frame-0000.png", "frame-0001.png", "frame-0002.png"}));
}

}  // namespace
}  // namespace rw
