// Synthesised high-colour videos decoded frame by frame, held against the synthesiser's own
// account of every picture and every frame's sound.
#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"
#include "tools/synth/hc_synth.h"
#include "vqa/hc_chunks.h"
#include "vqa/hc_decoder.h"

namespace rw {
namespace {

using synth::CodebookLcw;
using synth::HighColourSoundKind;
using synth::HighColourSynthOptions;
using synth::HighColourSynthVideo;

struct RoundTripCase {
    const char* name;
    HighColourSynthOptions options;
};

HighColourSynthOptions Shape(int32_t frames, int32_t w, int32_t h, int32_t bw, int32_t bh,
                             HighColourSoundKind sound, CodebookLcw lcw, int32_t every) {
    HighColourSynthOptions o;
    o.frames = frames;
    o.width = w;
    o.height = h;
    o.blockWidth = bw;
    o.blockHeight = bh;
    o.sound = sound;
    o.codebookLcw = lcw;
    o.codebookEvery = every;
    o.soundRate = 11025;
    return o;
}

std::vector<RoundTripCase> Cases() {
    using K = HighColourSoundKind;
    std::vector<RoundTripCase> cases = {
        {"Snd2MonoAlternatingLcw", Shape(14, 96, 64, 4, 4, K::Snd2Mono, CodebookLcw::Alternate, 4)},
        {"Snd2Stereo", Shape(9, 64, 40, 4, 2, K::Snd2Stereo, CodebookLcw::BackCounted, 3)},
        {"Snd0EightBits", Shape(6, 40, 30, 2, 2, K::Snd0Bits8, CodebookLcw::Ordinary, 2)},
        {"Snd0SixteenBitsStereo", Shape(5, 50, 34, 4, 4, K::Snd0Bits16, CodebookLcw::Alternate, 5)},
        {"Snd1IsSilent", Shape(4, 32, 32, 4, 4, K::Snd1, CodebookLcw::BackCounted, 4)},
        {"NoSound", Shape(3, 33, 17, 4, 2, K::None, CodebookLcw::Ordinary, 1)},
        {"CodebooksPast64KiB", Shape(7, 128, 96, 4, 4, K::Snd2Mono, CodebookLcw::Alternate, 3)},
    };
    cases.back().options.minCodebookEntries = 8192;
    cases[2].options.framesPerSecond = 0;
    cases[3].options.version = 2;
    cases[4].options.strayChunks = false;
    return cases;
}

SoundChunkKind SoundOf(HighColourSoundKind kind) {
    using K = HighColourSoundKind;
    if (kind == K::None) return SoundChunkKind::None;
    if (kind == K::Snd1) return SoundChunkKind::Unsupported;
    if (kind == K::Snd0Bits8 || kind == K::Snd0Bits16) return SoundChunkKind::Pcm;
    return SoundChunkKind::ImaAdpcm;
}

// Decodes every frame of `video`; fails the test at the first picture or sound that differs.
void ExpectDecodesAsSynthesised(const HighColourSynthVideo& video, const char* name,
                                HighColourSoundKind sound) {
    MemoryInputFile file(video.file, name);
    auto fields = ReadVqaHeaderFields(file);
    ASSERT_TRUE(fields.ok()) << fields.error().message;
    const HighColourProperties props = HighColourPropertiesOf(*fields);
    ASSERT_TRUE(props.headerSaysHighColour);
    ASSERT_TRUE(CheckHighColourProperties(props, name).ok());
    auto offsets = ReadHighColourFrameIndex(file, props.frames);
    ASSERT_TRUE(offsets.ok()) << offsets.error().message;
    ASSERT_EQ(*offsets, video.frameOffsets);
    EXPECT_EQ(DecideVideoKind(file, *fields).kind, PictureKind::HighColour);
    EXPECT_EQ(ProbeFrame(file, offsets->front()).sound, SoundOf(sound));

    HighColourDecoder decoder(props);
    const auto width = static_cast<size_t>(props.width);
    const auto height = static_cast<size_t>(props.height);
    for (size_t f = 0; f < offsets->size(); ++f) {
        HighColourFrame frame;
        decoder.DecodeFrame(file, (*offsets)[f], frame);
        ASSERT_FALSE(frame.damaged) << "frame " << f << ": " << frame.damage;
        ASSERT_EQ(test::FlipRows(frame.picture, width, height), video.images[f]) << "frame " << f;
        ASSERT_EQ(frame.sound, video.sound[f]) << "frame " << f;
        EXPECT_FALSE(frame.contradictsHeader);
    }
}

TEST(HighColourRoundTrip, EveryFrameDecodesToTheSynthesisedPictureAndSound) {
    for (const RoundTripCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const HighColourSynthVideo video = synth::SynthesizeHighColourVqa(c.options);
        ExpectDecodesAsSynthesised(video, c.name, c.options.sound);
    }
}

// The round trip above proves what the videos hold; this says they hold every feature.
TEST(HighColourRoundTrip, TheSynthesisedVideosUseEveryFeature) {
    std::array<int64_t, 8> commands{};
    int64_t zeroCounts = 0, ordinary = 0, backCounted = 0;
    size_t largest = 0;
    for (const RoundTripCase& c : Cases()) {
        const HighColourSynthVideo v = synth::SynthesizeHighColourVqa(c.options);
        for (size_t k = 0; k < 8; ++k) commands[k] += v.commands[k];
        zeroCounts += v.zeroCounts;
        ordinary += v.ordinaryCodebooks;
        backCounted += v.backCountedCodebooks;
        largest = std::max(largest, v.largestCodebook);
    }
    for (size_t k : {0, 1, 2, 3, 5}) EXPECT_GT(commands[k], 0) << "command " << k;
    EXPECT_GT(zeroCounts, 0);
    EXPECT_GT(ordinary, 0);
    EXPECT_GT(backCounted, 0);
    EXPECT_GT(largest, size_t{65536});
}

}  // namespace
}  // namespace rw
