#include "run/convert_frames.h"
#include "playback/frame_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "avi/avi_header.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/memory_file.h"
#include "tests/support/memory_files.h"
#include "tests/support/names.h"
#include "tests/support/tiny_vqa.h"
#include "vqa/ima_adpcm.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

using test::PrintTo;

using test::BuildTinyVqa;
using test::TinyFrame;
using test::TinyPalette;
using test::TinySolidPicture;
using test::TinyVideoChunk;
using test::TinyVqa;

// Records the progress calls; a run in two parts asks for the cancel from both of its threads.
class Recorder final : public ConversionObserver {
  public:
    int32_t cancelAt = -1;  // frame before which to ask for the stop
    std::vector<int32_t> starts;
    void OnFrameStart(int32_t frame) override {
        std::lock_guard lock(m_mutex);
        starts.push_back(frame);
    }
    bool CancelRequested() override {
        std::lock_guard lock(m_mutex);
        return cancelAt >= 0 && static_cast<int32_t>(starts.size()) >= cancelAt;
    }

  private:
    std::mutex m_mutex;
};

// Progress means the same in one part and two: it rises, a complete run ends with its last frame,
// and a failed seek of frame f ends with frame f.
void ExpectProgressEnds(const std::vector<int32_t>& starts, const ConversionOutcome& o,
                        int32_t frames, const char* mode) {
    SCOPED_TRACE(mode);
    using Status = ConversionOutcome::Status;
    if (o.status == Status::Completed) {
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts.back(), frames - 1);
    }
    if (o.status == Status::SeekFailed) {
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts.back(), static_cast<int32_t>(o.failedFrame));
    }
    const size_t rising =
        o.status == Status::SeekFailed && !starts.empty() ? starts.size() - 1 : starts.size();
    for (size_t i = 1; i < rising; ++i) EXPECT_LT(starts[i - 1], starts[i]) << "call " << i;
}

struct RunResult {
    ConversionOutcome outcome;
    std::vector<uint8_t> avi;
    test::AviWalk walk;
    std::vector<int32_t> starts;
};

// Converts in one part, and checks that two parts make the same file and end the same way (with
// `delay`, each write of the second part takes that long: it ends well after the first).
RunResult Convert(const std::vector<uint8_t>& vqa, int64_t failAfter = -1, int32_t cancelAt = -1,
                  std::chrono::milliseconds delay = {}) {
    auto header = ReadVqaHeader(std::span<const uint8_t>(vqa));
    EXPECT_EQ(header.status, VqaHeaderResult::Status::Ok);
    RunResult r;
    for (bool twoParts : {false, true}) {
        MemoryInputFile in(vqa, "tiny.vqa");
        auto index = ReadFrameIndex(in, header.properties.frames);
        EXPECT_TRUE(index.ok());
        MemoryOutputFile out("tiny.avi", failAfter);
        Recorder recorder;
        recorder.cancelAt = cancelAt;
        if (!twoParts) {
            r.outcome = ConvertFrames(in, out, header.properties, *index, recorder);
            r.avi = out.Data();
            r.starts = recorder.starts;
            ExpectProgressEnds(recorder.starts, r.outcome, header.properties.frames, "one part");
            continue;
        }
        test::MemoryFiles files(vqa, failAfter);
        files.writeDelay = delay;
        const ConversionOutcome o =
            ConvertFramesInTwoParts(in, out, header.properties, *index, recorder, files);
        if (cancelAt > 0 && o.status != r.outcome.status) {
            // The parts report progress together, so a cancel "before frame n" cannot be exact:
            // the run may also have finished first.
            EXPECT_EQ(o.status, ConversionOutcome::Status::Completed) << "in two parts";
            continue;
        }
        EXPECT_EQ(o.status, r.outcome.status) << "in two parts: " << o.message;
        ExpectProgressEnds(recorder.starts, o, header.properties.frames, "two parts");
        if (o.status == ConversionOutcome::Status::Completed) {
            std::vector<uint8_t> whole = out.Data();
            whole.insert(whole.end(), files.second.Data().begin(), files.second.Data().end());
            EXPECT_EQ(whole, r.avi) << "in two parts";
            EXPECT_EQ(o.damagedFrames, r.outcome.damagedFrames) << "in two parts";
            EXPECT_EQ(o.leadingSoundMissing, r.outcome.leadingSoundMissing) << "in two parts";
            EXPECT_EQ(o.message, r.outcome.message) << "in two parts";
        } else if (o.status == ConversionOutcome::Status::SeekFailed) {
            EXPECT_EQ(o.failedFrame, r.outcome.failedFrame) << "in two parts";
            EXPECT_EQ(o.failedPosition, r.outcome.failedPosition) << "in two parts";
        }
    }
    if (r.outcome.status == ConversionOutcome::Status::Completed) r.walk = test::WalkAvi(r.avi);
    return r;
}

std::vector<uint8_t> Video(const RunResult& r, size_t frame) {
    const auto& v = r.walk.videoFrames.at(frame);
    return std::vector<uint8_t>(v.begin(), v.end());
}
std::vector<uint8_t> SoundChunk(const RunResult& r, size_t chunk) {
    const auto& d = r.walk.movie.at(chunk == 0 ? 0 : 2 * chunk - 1).data;
    return std::vector<uint8_t>(d.begin(), d.end());
}

// TinyPalette moved down by one: index k shows what k + 1 shows there.
test::TinySubChunk ShiftedPalette() {
    test::TinySubChunk s{"CPL0", {}};
    for (uint8_t k = 1; k <= 16; ++k) {
        s.data.insert(s.data.end(), {k, static_cast<uint8_t>(2 * k), static_cast<uint8_t>(3 * k)});
    }
    return s;
}

// What each frame of a damaged or unusual file shows, its sound, and how many frames count as
// damaged. (The pictures of the other open cases are checked through the command line.)
struct ConcealCase {
    const char* name;
    std::function<void(TinyVqa&)> change;
    const char* frames;  // per frame its top and bottom colour, "s" when its sound is silence
    int32_t damaged;
};
class Concealment : public testing::TestWithParam<ConcealCase> {};

TEST_P(Concealment, RepeatsThePreviousPicture) {
    const ConcealCase& c = GetParam();
    TinyVqa v = test::TinyThreeFrames();
    c.change(v);
    const RunResult r = Convert(BuildTinyVqa(v));
    ASSERT_EQ(r.outcome.status, ConversionOutcome::Status::Completed) << r.outcome.message;
    ASSERT_EQ(r.walk.problem, "");
    EXPECT_EQ(r.outcome.damagedFrames, c.damaged);
    EXPECT_EQ(r.outcome.message.empty(), c.damaged == 0) << r.outcome.message;
    std::istringstream frames(c.frames);
    size_t f = 0;
    for (std::string shown; frames >> shown; ++f) {
        const auto colour = [&](size_t i) { return static_cast<uint8_t>(shown[i] - '0'); };
        EXPECT_EQ(Video(r, f), TinyVideoChunk(colour(0), colour(1))) << "frame " << f;
        const bool silent = SoundChunk(r, f + 1) == std::vector<uint8_t>(40, 0);
        EXPECT_EQ(silent, shown.ends_with("s")) << "frame " << f;
    }
    EXPECT_EQ(f, 3u);
}

// The player's reader: after a seek to any frame, the pictures and sound from there on are the
// AVI file's, damage and all.
void ExpectReaderGivesTheAvi(const std::vector<uint8_t>& vqa, const RunResult& r,
                             std::initializer_list<int32_t> seeks) {
    const VqaProperties props = ReadVqaHeader(std::span<const uint8_t>(vqa)).properties;
    for (int32_t from : seeks) {
        MemoryInputFile in(vqa, "in.vqa");
        auto index = ReadFrameIndex(in, props.frames);
        ASSERT_TRUE(index.ok());
        FrameReader reader(in, props, *index);
        std::vector<uint8_t> picture, sound;
        ASSERT_TRUE(reader.Start(sound).ok());
        EXPECT_EQ(sound, SoundChunk(r, 0));
        ASSERT_TRUE(reader.Seek(from).ok());
        for (int32_t f = from; f < props.frames; ++f) {
            ASSERT_TRUE(reader.Next(picture, sound).ok()) << "from " << from << ", frame " << f;
            EXPECT_EQ(picture, Video(r, size_t(f))) << "from " << from << ", frame " << f;
            EXPECT_EQ(sound, SoundChunk(r, size_t(f) + 1)) << "from " << from << ", frame " << f;
        }
        EXPECT_FALSE(reader.Next(picture, sound).ok());
    }
}

TEST_P(Concealment, AReaderFromAnyFrameGivesTheAvisFrames) {
    TinyVqa v = test::TinyThreeFrames();
    GetParam().change(v);
    const std::vector<uint8_t> vqa = BuildTinyVqa(v);
    ExpectReaderGivesTheAvi(vqa, Convert(vqa), {0, 1, 2});
}

// Far enough in that the frames long before the seek are only skimmed.
TEST(FrameReader, SeeksPastCodebookSwitchesAndPaletteChanges) {
    const std::vector<uint8_t>& vqa = test::SmallVideo(40, 64, 32).file;
    ExpectReaderGivesTheAvi(vqa, Convert(vqa), {0, 13, 27, 39});
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Concealment,
    testing::Values(
        ConcealCase{"NoImageInTheFirstFrameIsBlack",
                    [](TinyVqa& v) { v.frames[0].picture = {TinyPalette()}; }, "00 34 56", 0},
        ConcealCase{"TwoImagesInAFrameShowTheLast",
                    [](TinyVqa& v) {
                        v.frames[1].picture = {TinySolidPicture(9, 9), TinySolidPicture(7, 8)};
                    },
                    "12 78 56", 0},
        ConcealCase{"SubChunkReachingPastItsChunk",
                    [](TinyVqa& v) {
                        v.frames[1].picture.push_back({"CBF0", std::vector<uint8_t>(8, 1)});
                        v.frames[1].pictureSizeOverride = 12 + 8 - 4;
                    },
                    "12 12 56", 1},
        // Frames that repeat a picture drawn with a palette that has changed since:
        // they show it as it was drawn. The new palette shows colour k + 1 for index k.
        ConcealCase{"NoImageAfterAPaletteChange",
                    [](TinyVqa& v) {
                        v.frames[1].picture = {ShiftedPalette()};
                        v.frames[2].picture = {TinySolidPicture(4, 5)};
                    },
                    "12 12 56", 0},
        ConcealCase{"DamageAfterAPaletteChangeAndAnImage",
                    [](TinyVqa& v) {
                        v.frames[1].picture = {ShiftedPalette(),
                                               TinySolidPicture(2, 3),
                                               {"CBF0", std::vector<uint8_t>(8, 1)}};
                        v.frames[1].pictureSizeOverride = (8 + 48) + (8 + 4) + 8 - 4;
                        v.frames[2].picture = {TinySolidPicture(4, 5)};
                    },
                    "12 12 56", 1},
        ConcealCase{"FramePastTheEndOfTheFile", [](TinyVqa& v) { v.frames[1].omit = true; },
                    "12 12s 56", 1},
        ConcealCase{"CutInsideTheLastPicture",
                    [](TinyVqa& v) { v.cutAt = BuildTinyVqa(v).size() - 1; }, "12 34 34", 1},
        ConcealCase{"CutInsideTheLastSound",
                    [](TinyVqa& v) {
                        TinyVqa shorter = v;
                        shorter.frames.pop_back();
                        v.cutAt = BuildTinyVqa(shorter).size() + 8 + 4;
                    },
                    "12 34 34s", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFrames, SilenceLeavesTheSoundDecoderWhereItWas) {
    TinyVqa v = test::TinyThreeFrames();
    v.frames[1].omit = true;
    const RunResult r = Convert(BuildTinyVqa(v));
    ASSERT_EQ(r.walk.problem, "");
    ImaAdpcmState state;
    DecodeImaAdpcm(test::TinyRamp(75, 1), state);
    DecodeImaAdpcm(test::TinyRamp(10, 2), state);
    // Frame 2 continues from frame 0's state: frame 1 was never decoded.
    EXPECT_EQ(SoundChunk(r, 3), DecodeImaAdpcm(test::TinyRamp(10, 4), state));
}

TEST(ConvertFrames, LeadingSoundPastTheEndIsSilence) {
    TinyVqa v = test::TinyThreeFrames();
    v.frames[0].omit = true;
    const RunResult r = Convert(BuildTinyVqa(v));
    ASSERT_EQ(r.outcome.status, ConversionOutcome::Status::Completed);
    ASSERT_EQ(r.walk.problem, "");
    EXPECT_TRUE(r.outcome.leadingSoundMissing);
    EXPECT_EQ(r.outcome.damagedFrames, 1);
    EXPECT_EQ(SoundChunk(r, 0), std::vector<uint8_t>(300, 0));
    EXPECT_NE(r.outcome.message.find("silence"), std::string::npos) << r.outcome.message;
}

TEST(ConvertFrames, TwoPartsEndWithTheLastFrameWhenTheSecondPartEndsLast) {
    TinyVqa v = test::TinyThreeFrames();
    for (int i = 0; i < 61; ++i) v.frames.push_back(TinyFrame{std::vector<uint8_t>(10, 5), {}});
    const RunResult r = Convert(BuildTinyVqa(v), -1, -1, std::chrono::milliseconds(2));
    EXPECT_EQ(r.outcome.status, ConversionOutcome::Status::Completed) << r.outcome.message;
}

// A synthesised video (codebook parts and switches, palettes) in two parts, whole and with frames
// around the split damaged in several ways: Convert checks the two parts make the same file.
TEST(ConvertFrames, TwoPartsMakeTheSameFileAsOne) {
    const synth::SynthVideo& video = test::SmallVideo(40, 64, 48);
    const size_t split = 40 * 9 / 16;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> variants{{"whole", video.file}};
    // A frame's record: its 8-byte header, its sound, then its picture chunk: a pad byte, the
    // chunk's name and size, and its sub-chunks. The flips hit the chunk's size, the first
    // sub-chunk's size and its data.
    const size_t sound = static_cast<size_t>((video.properties.soundRate / 15) / 2);

    for (size_t f : {split - 1, split, split + 1, size_t{30}}) {
        const auto picture = static_cast<size_t>(video.frameOffsets[f]) + 8 + sound;
        for (size_t delta : {size_t{5}, size_t{14}, size_t{24}}) {
            std::vector<uint8_t> damaged = video.file;
            damaged.at(picture + delta) ^= 0xA5;
            variants.emplace_back("frame " + std::to_string(f) + " byte " + std::to_string(delta),
                                  std::move(damaged));
        }
    }
    // Every frame from five before the split to the split damaged: the second part's first frame
    // repeats a picture from further back than the frames it reads in full.
    std::vector<uint8_t> longDamage = video.file;
    for (size_t f = split - 5; f <= split; ++f) {
        longDamage.at(static_cast<size_t>(video.frameOffsets[f]) + 8 + sound + 5) ^= 0xA5;
    }
    variants.emplace_back("frames before the split damaged", longDamage);
    std::vector<uint8_t> cut = video.file;
    cut.resize(static_cast<size_t>(video.frameOffsets[split + 3]) + 100);
    variants.emplace_back("cut after the split", cut);
    for (const auto& [name, bytes] : variants) {
        SCOPED_TRACE(name);
        const RunResult r = Convert(bytes);
        EXPECT_EQ(r.outcome.status, ConversionOutcome::Status::Completed) << r.outcome.message;
    }
    // A write failing in either part ends the run the same way.
    const auto length = static_cast<int64_t>(Convert(video.file).avi.size());
    for (int64_t failAfter : {int64_t{5000}, length - 5000}) {
        const RunResult r = Convert(video.file, failAfter);
        EXPECT_EQ(r.outcome.status, ConversionOutcome::Status::Failed) << failAfter;
        EXPECT_NE(r.outcome.message.find("Cannot write"), std::string::npos) << r.outcome.message;
    }
}

// A seek to a position that is negative as a signed 32-bit number fails: the run stops at that
// frame with the frame's number and the position, and writes no index.
TEST(ConvertFrames, StopsAtTheFrameWhoseSeekFails) {
    // Frame, index entry, position: (0x3FFFFFFC * 2) + 8 = 0x80000000; frame 0 adds 5520:
    // 0x7FFFEA70 + 5520 + 8 = 0x80000008.
    for (const auto& [frame, entry, position] :
         {std::tuple{size_t{1}, 0x3FFFFFFCu, 0x80000000u},
          std::tuple{size_t{2}, 0xFFFFFFFFu, 0x80000006u},
          std::tuple{size_t{0}, 0x7FFFEA70u / 2, 0x80000008u}}) {
        SCOPED_TRACE(frame);
        TinyVqa v = test::TinyThreeFrames();
        v.rawIndexEntries = {{frame, entry}};
        const RunResult r = Convert(BuildTinyVqa(v));
        ASSERT_EQ(r.outcome.status, ConversionOutcome::Status::SeekFailed);
        EXPECT_EQ(r.outcome.failedFrame, frame);
        EXPECT_EQ(r.outcome.failedPosition, position);
        // Progress was shown for the failing frame before the seek.
        EXPECT_EQ(r.starts.size(), frame + 1);
        // The header, the leading sound chunk and the complete chunks of the frames before it.
        EXPECT_EQ(r.avi.size(), 524 + 8 + 300 + frame * (8 + 40 + 8 + 48));
    }
}

TEST(ConvertFrames, StopsBetweenFramesWhenCancelled) {
    const RunResult r = Convert(BuildTinyVqa(test::TinyThreeFrames()), -1, 2);
    EXPECT_EQ(r.outcome.status, ConversionOutcome::Status::Cancelled);
    EXPECT_EQ(r.starts, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(r.avi.size(), 524u + 8 + 300 + 2 * (8 + 40 + 8 + 48));
    // Asked before the first frame, both parts stop.
    EXPECT_EQ(Convert(BuildTinyVqa(test::TinyThreeFrames()), -1, 0).outcome.status,
              ConversionOutcome::Status::Cancelled);
}

// Headers the run refuses before writing anything.
TEST(ConvertFrames, RefusesBeforeAnythingIsWritten) {
    const auto p = [](int32_t f, int32_t w, int32_t h, int32_t bw, int32_t bh) {
        return VqaProperties{f, h, w, bw, bh, 22050};
    };
    for (const auto& [props, says] : {std::pair{p(0, 320, 200, 4, 2), "no frames"},
                                      std::pair{p(10, 320, 200, 0, 2), "block size"},
                                      std::pair{p(10, 0, 200, 4, 2), "no picture"},
                                      std::pair{p(65535, 640, 400, 4, 2), "too large"}}) {
        EXPECT_NE(CheckConvertible(props).find(says), std::string::npos) << CheckConvertible(props);
        std::vector<uint8_t> nothing;
        MemoryInputFile in(nothing);
        MemoryOutputFile out;
        Recorder recorder;
        std::vector<int32_t> index(static_cast<size_t>(props.frames), 100);
        EXPECT_EQ(ConvertFrames(in, out, props, index, recorder).status,
                  ConversionOutcome::Status::Failed);
        EXPECT_TRUE(out.Data().empty()) << says;
    }
}

}  // namespace
}  // namespace rw
