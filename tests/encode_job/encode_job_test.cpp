// The encoding job on files: AVI frames retimed to 15 per second, sound that lines up with its
// source to the sample, PNG folders, and inputs that are refused without leaving anything behind.
#include "encode_job/encode_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "avi/avi_reader.h"
#include "png/png_image.h"
#include "tests/support/avi_builder.h"
#include "tests/support/fixtures.h"
#include "tests/support/memory_file.h"
#include "tests/support/round_trip.h"
#include "tests/support/scratch_folder.h"
#include "wav/wav_file.h"

namespace rw {
namespace {

TEST(EncodeJob, RetimingShowsTheFrameOnScreenAtEachFifteenthOfASecond) {
    const struct {
        uint32_t rate, scale;
        int32_t frames;
        std::vector<size_t> shown;  // the source frame of each output frame
    } cases[] = {{15, 1, 3, {0, 1, 2}},
                 {30, 1, 6, {0, 2, 4}},
                 {10, 1, 4, {0, 0, 1, 2, 2, 3}},
                 {30000, 1001, 5, {0, 1, 3}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.scale));
        const test::BuiltAvi built =
            test::BuildAvi({.rate = c.rate, .scale = c.scale, .frames = c.frames});
        test::ScratchFolder dir;
        dir.Put("in.avi", built.file);
        auto source = OpenAviSource((dir / "in.avi").string());
        ASSERT_TRUE(source.ok()) << source.error().message;
        ASSERT_EQ(source->frames->Frames(), static_cast<int32_t>(c.shown.size()));
        std::vector<uint8_t> picture(built.pictures[0].size());
        for (size_t f = 0; f < c.shown.size(); ++f) {
            ASSERT_TRUE(source->frames->Read(static_cast<int32_t>(f), picture).ok());
            EXPECT_EQ(picture, built.pictures[c.shown[f]]) << "frame " << f;
        }
        const bool noted =
            !source->notes.empty() && source->notes[0].find("retimed to 15") != std::string::npos;
        EXPECT_EQ(noted, c.rate != 15 * c.scale);
    }
}

TEST(ConverterFiller, IsTheLastSampleOfTheLeadingBlockWhenItRepeatsItsNeighbourOrIsZero) {
    const struct {
        uint32_t rate;
        size_t length;            // samples
        float neighbour, filler;  // samples rate / 2 - 2 and rate / 2 - 1, when there
        bool filled;
    } cases[] = {
        {22050, 11025, 300, 300, true},   // as the converter writes it now
        {22050, 11025, 300, 0, true},     // as earlier versions wrote it
        {22050, 20000, -7, -7, true},     // followed by the rest of the sound
        {22050, 11025, 300, 301, false},  // a sample of its own
        {22050, 11024, 300, 300, false},  // shorter than the leading block
        {22051, 11025, 5, 5, true},       // any rate that leaves one sample over
        {44100, 22050, 5, 5, false},      // 22050 samples, all decoded
        {11025, 5512, 0, 0, false},       // 5512 samples, all decoded
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.length) + " samples");
        std::vector<float> sound(c.length, 1000);
        const size_t leading = c.rate / 2;
        if (c.length >= leading) sound[leading - 1] = c.filler;
        if (c.length >= leading - 1) sound[leading - 2] = c.neighbour;
        EXPECT_EQ(BeginsWithConverterFiller(sound, c.rate), c.filled);
    }
}

// The converter's AVI file as it wrote it, or remuxed by another tool (the leading block shares
// the first sound chunk with the first frame's sound), with the filler of this version or of
// earlier ones: each comes back with the sound of the VQA file to the sample.
TEST(EncodeJob, OwnAviComesBackWithTheSameSoundToTheSample) {
    const test::RoundTrip first = test::ConvertBack(test::SmallVideo(20, 64, 48).file);
    ASSERT_EQ(first.problem, "");
    ASSERT_EQ(first.sound.size(), size_t(11024 + 1470 * 20));
    MemoryInputFile in(first.avi, "clip.avi");
    auto reader = AviReader::Open(in);
    ASSERT_TRUE(reader.ok());
    std::vector<test::Bytes> chunks;
    for (size_t c = 0; c < reader->Info().soundChunks.size(); ++c)
        chunks.push_back(*reader->ReadSound(c));
    ASSERT_EQ(chunks[0].size(), 22050u);
    for (const bool remuxed : {false, true}) {
        for (const bool repeated : {false, true}) {
            SCOPED_TRACE(std::string(remuxed ? "remuxed" : "as written") +
                         (repeated ? ", filler repeats its neighbour" : ", filler 0"));
            test::Bytes avi = first.avi;
            test::Bytes leading = chunks[0];
            if (repeated) {
                std::copy_n(leading.begin() + 22046, 2, leading.begin() + 22048);
                const std::string text(avi.begin(), avi.end());
                const size_t data = text.find("01wb") + 8;
                std::copy_n(avi.begin() + ptrdiff_t(data) + 22046, 2,
                            avi.begin() + ptrdiff_t(data) + 22048);
            }
            if (remuxed) {
                test::AviSpec spec{.width = 8, .frames = 20};
                spec.soundChunks.push_back(test::Concat({leading, chunks[1]}));
                spec.soundChunks.insert(spec.soundChunks.end(), chunks.begin() + 2, chunks.end());
                avi = test::BuildAvi(spec).file;
            }
            test::ScratchFolder dir;
            dir.Put("clip.avi", avi);
            dir.Put("clip.vqa", test::Text("the original film"));  // replaced when forced
            EncodeJobOptions options;
            options.force = true;
            auto result = RunEncodeJob((dir / "clip.avi").string(), options, nullptr);
            ASSERT_TRUE(result.ok()) << result.error().message;
            EXPECT_EQ(result->outputPath, (dir / "clip.vqa").string());
            EXPECT_TRUE(result->notes.empty()) << result->notes[0];
            const test::RoundTrip second = test::ConvertBack(*dir.Get("clip.vqa"));
            ASSERT_EQ(second.problem, "");
            EXPECT_EQ(second.properties.frames, 20);
            EXPECT_EQ(second.sound, first.sound);
        }
    }
}

// One second of a 440 Hz tone at `rate`, the same on every channel, as 16-bit PCM in chunks of
// `chunk` sample frames.
double Tone(double t) {
    return 8000 * std::sin(2 * std::numbers::pi * 440 * t);
}
std::vector<test::Bytes> ToneChunks(uint32_t rate, int channels, size_t chunk) {
    std::vector<test::Bytes> chunks;
    for (size_t i = 0; i < rate; ++i) {
        if (i % chunk == 0) chunks.emplace_back();
        const auto v =
            static_cast<uint16_t>(static_cast<int16_t>(std::lround(Tone(double(i) / rate))));
        for (int c = 0; c < channels; ++c)
            chunks.back().insert(chunks.back().end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    return chunks;
}

TEST(EncodeJob, ResamplesSoundOfEveryRateInTime) {
    const struct {
        uint32_t rate;
        int channels;
        size_t chunk;  // sample frames a chunk
    } cases[] = {
        {44100, 2, 2940},   // a frame's share at 15 per second
        {48000, 1, 48000},  // the whole second in one chunk, larger than a resampler slice
        {kEncodeMinSoundRate, 1, 4000},
        {kEncodeMaxSoundRate, 1, kEncodeMaxSoundRate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz");
        const std::vector<test::Bytes> chunks = ToneChunks(c.rate, c.channels, c.chunk);
        test::AviSpec spec{.frames = int32_t(chunks.size()),
                           .channels = c.channels,
                           .sampleRate = c.rate,
                           .soundChunks = chunks};
        test::ScratchFolder dir;
        dir.Put("tone.avi", test::BuildAvi(spec).file);
        auto source = OpenAviSource((dir / "tone.avi").string());
        ASSERT_TRUE(source.ok()) << source.error().message;
        ASSERT_TRUE(source->sound);
        EXPECT_NE(source->notes.back().find("made mono at 22050 Hz"), std::string::npos);
        std::vector<int16_t> out(33074);  // what a 15-frame VQA file holds; silence follows
        ASSERT_EQ(*source->sound->Read(out), 22050u);
        double signal = 0, noise = 0;
        for (size_t i = 200; i < 22050 - 200; ++i) {  // away from the tone's sudden start and end
            signal += Tone(double(i) / 22050) * Tone(double(i) / 22050);
            noise += (out[i] - Tone(double(i) / 22050)) * (out[i] - Tone(double(i) / 22050));
        }
        EXPECT_GT(10 * std::log10(signal / noise), 40) << "in time and in tune";
    }
}

TEST(EncodeJob, FolderOfPngFramesWithAWavFile) {
    test::ScratchFolder dir;
    for (int f = 0; f < 10; ++f) {
        RgbImage image{12, 6, std::vector<uint8_t>(12 * 6 * 3)};
        for (size_t i = 0; i < image.pixels.size(); ++i)
            image.pixels[i] = static_cast<uint8_t>(i * 7 + f * 30);
        dir.Put("film/" + std::string(f < 9 ? "f0" : "f") + std::to_string(f + 1) + ".png",
                *EncodePng(image));
    }
    std::vector<int16_t> tone(22050);
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>(std::lround(5000 * std::sin(double(i) * 0.125)));
    }
    dir.Put("film/sound.wav", *EncodeWav(tone, 22050));
    EncodeJobOptions options;
    auto result = RunEncodeJob((dir / "film").string() + "/", options, nullptr);
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result->outputPath, (dir / "film.vqa").string());
    EXPECT_EQ(result->properties.frames, 10);
    EXPECT_EQ(result->properties.width, 12);
    const test::RoundTrip back = test::ConvertBack(*dir.Get("film.vqa"));
    ASSERT_EQ(back.problem, "");
    ASSERT_EQ(back.sound.size(), size_t(11024 + 1470 * 10));
    double error = 0;
    for (size_t i = 0; i < tone.size(); ++i) error += std::abs(back.sound[i] - tone[i]);
    EXPECT_LT(error / double(tone.size()), 100);  // the tone, in time, through ADPCM
    for (size_t i = tone.size() + 100; i < back.sound.size(); ++i) {
        ASSERT_LT(std::abs(back.sound[i]), 50) << "silence after the sound, sample " << i;
    }
}

TEST(EncodeJob, PicturesAreBoundedByWhatAVqaFileHolds) {
    const struct {
        int32_t width, height;
        bool ok;
    } cases[] = {
        {1, 1, true},        {8192, 8192, true},    {16384, 4096, true}, {65535, 1024, true},
        {8193, 8192, false}, {16384, 4097, false},  {65536, 1, false},   {0, 4, false},
        {4, -4, false},      {32768, 32768, false},
    };
    for (const auto& c : cases) {
        const auto why = CheckSourcePicture(c.width, c.height);
        EXPECT_EQ(!why, c.ok) << c.width << "x" << c.height;
        if (why) {
            EXPECT_NE(why->find(std::to_string(c.width) + "x"), std::string::npos) << *why;
        }
    }
}

TEST(EncodeJob, NamesCompareNumbersAsNumbers) {
    const struct {
        const char* a;
        const char* b;
    } ordered[] = {
        {"frame2.png", "frame10.png"}, {"frame9.png", "frame10.png"},
        {"f1.png", "f01.png"},         {"f01.png", "f2.png"},
        {"a.png", "a1.png"},           {"a1.png", "b.png"},
        {"x2y10.png", "x10y2.png"},    {"x2y2.png", "x2y10.png"},
        {"A1.png", "a1.png"},          {"12345678901234567890.png", "99999999999999999999.png"},
    };
    for (const auto& c : ordered) {
        EXPECT_TRUE(NaturalNameLess(c.a, c.b)) << c.a << " before " << c.b;
        EXPECT_FALSE(NaturalNameLess(c.b, c.a)) << c.b << " after " << c.a;
        EXPECT_FALSE(NaturalNameLess(c.a, c.a)) << c.a;
    }
}

// Frames named as ffmpeg's %d writes them come in the order of their numbers, and the first
// .wav file in that order is the sound.
TEST(EncodeJob, FolderFramesComeInNaturalOrder) {
    std::map<std::string, test::Bytes> files;
    const std::vector<std::string> order = {"frame1.png", "frame2.png", "frame9.png", "frame10.png",
                                            "frame11.png"};
    for (size_t f = 0; f < order.size(); ++f) {
        files[order[f]] = *EncodePng(RgbImage{4, 2, std::vector<uint8_t>(24, uint8_t(f * 50))});
    }
    files["take10.wav"] = *EncodeWav(std::vector<int16_t>(100, 1), 8000);
    files["take9.wav"] = *EncodeWav(std::vector<int16_t>(100, 1), 22050);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name);
    auto source = OpenFrameFiles("film", names, [&files](const std::string& name) {
        return Expected<std::vector<uint8_t>>(files.at(name));
    });
    ASSERT_TRUE(source.ok()) << source.error().message;
    ASSERT_EQ(source->frames->Frames(), 5);
    std::vector<uint8_t> picture(24);
    for (int32_t f = 0; f < 5; ++f) {
        ASSERT_TRUE(source->frames->Read(f, picture).ok());
        EXPECT_EQ(picture[0], f * 50) << order[size_t(f)];
    }
    EXPECT_EQ(source->notes.back(), "sound from \"take9.wav\" (the first of 2 .wav files)");
}

// Asks to cancel from its `cancelAt`th question on, and counts the frames done.
class CountingObserver final : public EncodeObserver {
  public:
    explicit CountingObserver(int cancelAt = 0) : m_cancelAt(cancelAt) {}
    void OnFrameDone(int32_t, int32_t) override { ++framesDone; }
    bool CancelRequested() override { return m_cancelAt > 0 && ++m_asked >= m_cancelAt; }
    int framesDone = 0;

  private:
    int m_cancelAt, m_asked = 0;
};

// A missing folder is named as such, before any frame is read.
TEST(EncodeJob, AnOutputThatCannotBeCreatedIsReportedBeforeAnyFrame) {
    test::ScratchFolder dir;
    dir.Put("in.avi", test::BuildAvi({.frames = 20}).file);
    EncodeJobOptions options;
    options.output = (dir / "no-such-folder" / "out.vqa").string();
    CountingObserver observer;
    auto result = RunEncodeJob((dir / "in.avi").string(), options, &observer);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message.find("the folder \"" + (dir / "no-such-folder").string() +
                                          "\" does not exist"),
              std::string::npos)
        << result.error().message;
    EXPECT_EQ(observer.framesDone, 0);
}

TEST(EncodeJob, CancelIsLookedAtBeforeEveryFrame) {
    test::ScratchFolder dir;
    dir.Put("in.avi", test::BuildAvi({.frames = 40}).file);
    EncodeJobOptions options;
    CountingObserver observer(3);  // asked first before the run, then before each frame
    auto result = RunEncodeJob((dir / "in.avi").string(), options, &observer);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message.find("cancelled"), std::string::npos);
    EXPECT_EQ(observer.framesDone, 0) << "frames were encoded after the cancel";
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{"in.avi"});
}

TEST(EncodeJob, SoundLongerThanThePicturesIsReported) {
    const struct {
        size_t samples;    // of the WAV file, for 15 frames that hold 11024 + 15 * 1470 = 33074
        const char* note;  // the last note, about the sound
    } cases[] = {
        {33074, "sound from \"sound.wav\""},
        {33074 + 22, "sound from \"sound.wav\""},
        {66150, "the sound lasts 1.50 s longer than the pictures; that part is left out"},
    };
    for (const auto& c : cases) {
        test::ScratchFolder dir;
        for (int f = 1; f <= 15; ++f) {
            dir.Put("film/" + std::to_string(f) + ".png",
                    *EncodePng(RgbImage{4, 2, std::vector<uint8_t>(24, 9)}));
        }
        dir.Put("film/sound.wav", *EncodeWav(std::vector<int16_t>(c.samples, 500), 22050));
        auto result = RunEncodeJob((dir / "film").string(), {}, nullptr);
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(result->notes.back(), c.note) << c.samples << " samples";
    }
}

struct RefusedCase {
    const char* name;
    void (*setUp)(const test::ScratchFolder&);
    std::string input;
    bool force;
    const char* words;
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, SaysWhyAndLeavesTheFolderAsItWas) {
    test::ScratchFolder dir;
    GetParam().setUp(dir);
    const std::vector<std::string> before = dir.Listing();
    const auto kept = dir.Get("old.vqa");
    EncodeJobOptions options;
    options.force = GetParam().force;
    options.output = (dir / "old.vqa").string();
    auto result = RunEncodeJob((dir / GetParam().input).string(), options, nullptr);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message.find(GetParam().words), std::string::npos)
        << result.error().message;
    EXPECT_EQ(dir.Listing(), before);
    EXPECT_EQ(dir.Get("old.vqa"), kept);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Refused,
    ::testing::Values(
        RefusedCase{"Existing",
                    [](const test::ScratchFolder& d) {
                        d.Put("in.avi", test::BuildAvi({}).file);
                        d.Put("old.vqa", test::Text("the original film"));
                    },
                    "in.avi", false, "already exists; give --force"},
        RefusedCase{"EmptyFolder",
                    [](const test::ScratchFolder& d) { d.Put("film/notes.txt", test::Text("x")); },
                    "film", true, "holds no .png frames"},
        RefusedCase{
            "MixedSizes",
            [](const test::ScratchFolder& d) {
                d.Put("film/a.png", *EncodePng(RgbImage{4, 4, std::vector<uint8_t>(48, 9)}));
                d.Put("film/b.png", *EncodePng(RgbImage{8, 4, std::vector<uint8_t>(96, 9)}));
            },
            "film", true, "b.png\" is 8x4 pixels, the first frame 4x4"},
        RefusedCase{"SoundAtOneHertz",
                    [](const test::ScratchFolder& d) {
                        d.Put("in.avi", test::BuildAvi({.sampleRate = 1}).file);
                    },
                    "in.avi", true, "in.avi\": its sound has a rate of 1 Hz; the encoder takes"},
        RefusedCase{"SoundJustBelowTheRates",
                    [](const test::ScratchFolder& d) {
                        d.Put("in.avi", test::BuildAvi({.sampleRate = 3999}).file);
                    },
                    "in.avi", true, "rate of 3999 Hz"},
        RefusedCase{"SoundJustAboveTheRates",
                    [](const test::ScratchFolder& d) {
                        d.Put("in.avi", test::BuildAvi({.sampleRate = 384001}).file);
                    },
                    "in.avi", true, "rate of 384001 Hz"},
        RefusedCase{
            "WavAtOneHertzBesideTheFrames",
            [](const test::ScratchFolder& d) {
                d.Put("film/a.png", *EncodePng(RgbImage{4, 4, std::vector<uint8_t>(48, 9)}));
                d.Put("film/a.wav", *EncodeWav(std::vector<int16_t>(5000, 1000), 1));
            },
            "film", true, "a.wav\": its sound has a rate of 1 Hz"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rw
