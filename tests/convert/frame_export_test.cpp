// The conversion's output taken apart for other uses: the chunk sink (export and player), the
// player's decoding thread and clock, and the export of a silent video.
#include "export/frame_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/avi_chunk_sink.h"
#include "playback/playback_source.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

class Collect final : public AviChunkReceiver {
  public:
    Expected<void> OnSound(std::span<const uint8_t> pcm) override {
        sound.insert(sound.end(), pcm.begin(), pcm.end());
        return {};
    }
    Expected<void> OnPicture(int32_t frame, std::span<const uint8_t> picture) override {
        EXPECT_EQ(frame, int32_t(pictures.size()));
        pictures.emplace_back(picture.begin(), picture.end());
        return {};
    }
    std::vector<uint8_t> sound;
    std::vector<std::vector<uint8_t>> pictures;
};

std::vector<uint8_t> VideoAt(int32_t rate, int32_t frames = 6) {
    return synth::SynthesizeVqa(test::SmallOptions(frames, 32, 16, rate)).file;
}

// The AVI file's bytes fed in pieces of any size: the same pictures, and every sound chunk's
// whole samples (at 11025 Hz the leading chunk has 11025 bytes, the last one half a sample).
TEST(AviChunkSink, HandsOnTheAvisPicturesAndWholeSamplesInAnyPieces) {
    for (int32_t rate : {11025, 22050, 0}) {
        const std::vector<uint8_t> avi = test::ConvertInMemory(VideoAt(rate)).avi;
        const test::AviWalk walk = test::WalkAvi(avi);
        ASSERT_EQ(walk.problem, "");
        const std::vector<uint8_t> samples = test::WholeSamples(walk);
        for (size_t piece : {size_t{1}, size_t{7}, size_t{4096}, avi.size()}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz in pieces of " + std::to_string(piece));
            Collect got;
            AviChunkSink sink(got, "sink");
            for (size_t at = 0; at < avi.size(); at += piece) {
                const size_t n = std::min(piece, avi.size() - at);
                ASSERT_TRUE(sink.Write(std::span<const uint8_t>(avi).subspan(at, n)).ok());
            }
            EXPECT_EQ(sink.Position(), int64_t(avi.size()));
            ASSERT_EQ(got.pictures.size(), walk.videoFrames.size());
            for (size_t f = 0; f < got.pictures.size(); ++f) {
                EXPECT_TRUE(std::equal(got.pictures[f].begin(), got.pictures[f].end(),
                                       walk.videoFrames[f].begin(), walk.videoFrames[f].end()));
            }
            EXPECT_EQ(got.sound, samples);
        }
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
    EXPECT_EQ(source.Properties().frames, 20);
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

// (An export that does not complete leaves nothing behind, whatever ended it: the command line's
// full-disk case.)
TEST(ExportFrames, ASilentVideoHasNoSoundFile) {
    test::ScratchFolder dir;
    dir.Put("silent.vqa", VideoAt(0, 3));
    test::NullObserver quiet;
    const ConversionOutcome done =
        ExportFrames((dir.Path() / "silent.vqa").string(), dir.Path() / "silent", false, quiet);
    EXPECT_EQ(done.status, ConversionOutcome::Status::Completed) << done.message;
    EXPECT_EQ(dir.Listing("silent"),
              (std::vector<std::string>{"frame-0000.png", "frame-0001.png", "frame-0002.png"}));
}

}  // namespace
}  // namespace rw
