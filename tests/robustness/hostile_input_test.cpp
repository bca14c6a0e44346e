// Every case the file format leaves open, run through reelwright-cli as a user would meet it: the
// converter either writes a complete, consistent AVI file (exit status 0, perhaps with a warning)
// or refuses with one line naming the file and the problem (exit status 1) and leaves nothing
// behind. No case may crash or make a sanitizer speak.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/avi_walk.h"
#include "tests/support/tiny_vqa.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

using test::BuildTinyVqa;
using test::ScratchFolder;
using test::TinyFrame;
using test::TinyPalette;
using test::TinySolidPicture;
using test::TinySubChunk;
using test::TinyVqa;

// Three frames of a 4 x 4 picture: a palette, then one solid picture per frame.
TinyVqa ThreeFrames() {
    TinyVqa v;
    v.leadingSound.assign(75, 0x17);
    for (uint8_t f = 0; f < 3; ++f) {
        TinyFrame frame;
        frame.sound.assign(10, static_cast<uint8_t>(0x21 + f));
        if (f == 0) frame.picture.push_back(TinyPalette());
        frame.picture.push_back(
            TinySolidPicture(static_cast<uint8_t>(1 + f), static_cast<uint8_t>(4 + f)));
        v.frames.push_back(frame);
    }
    return v;
}

// LCW streams a pointer table may carry.
std::vector<uint8_t> Runaway() {
    std::vector<uint8_t> s;
    for (int i = 0; i < 300; ++i) s.insert(s.end(), {0xFE, 0xFF, 0xFF, 0x00});  // 19.6 MB
    s.push_back(0x80);
    return s;
}

TinyVqa WithFrame1(std::vector<TinySubChunk> picture) {
    TinyVqa v = ThreeFrames();
    v.frames[1].picture = std::move(picture);
    return v;
}

enum class Expect {
    Converted,         // status 0, a complete AVI, no warning
    ConvertedWarning,  // status 0, a complete AVI, one warning line
    Refused,           // status 1, one line, nothing left behind
};

struct HostileCase {
    const char* name;
    std::function<void(const ScratchFolder&)> prepare;  // writes clip.vqa (and whatever else)
    Expect expect;
    const char* says;  // part of the stderr line (empty: no check)
    std::string input = "clip.vqa";
};

void PutTiny(const ScratchFolder& d, const TinyVqa& v) {
    d.Put("clip.vqa", BuildTinyVqa(v));
}

std::function<void(const ScratchFolder&)> Tiny(std::function<void(TinyVqa&)> change) {
    return [change](const ScratchFolder& d) {
        TinyVqa v = ThreeFrames();
        change(v);
        PutTiny(d, v);
    };
}
std::function<void(const ScratchFolder&)> Frame1(std::vector<TinySubChunk> picture) {
    return [picture](const ScratchFolder& d) { PutTiny(d, WithFrame1(picture)); };
}
std::function<void(const ScratchFolder&)> Raw(std::vector<uint8_t> bytes) {
    return [bytes](const ScratchFolder& d) { d.Put("clip.vqa", bytes); };
}
// A header of 46 bytes and more giving frames, width, height, block sizes and rate.
std::vector<uint8_t> Header(uint16_t frames, uint16_t width, uint16_t height, uint8_t bw,
                            uint8_t bh, size_t length) {
    std::vector<uint8_t> b(length, 0);
    std::memcpy(b.data(), "FORM", 4);
    std::memcpy(b.data() + 8, "WVQAVQHD", 8);
    test::PutLe(b, 24, frames, 2);
    test::PutLe(b, 26, width, 2);
    test::PutLe(b, 28, height, 2);
    b[30] = bw;
    b[31] = bh;
    test::PutLe(b, 44, 22050, 2);
    return b;
}

const HostileCase kCases[] = {
    // The header.
    {"ZeroFrames", Tiny([](TinyVqa& v) { v.frames.clear(); }), Expect::Refused, "no frames"},
    {"ZeroBlockWidth", Tiny([](TinyVqa& v) { v.blockWidth = 0; }), Expect::Refused,
     "block size of 0 x 2"},
    {"ZeroBlockHeight", Tiny([](TinyVqa& v) { v.blockHeight = 0; }), Expect::Refused,
     "block size of 4 x 0"},
    {"ZeroWidth", Tiny([](TinyVqa& v) { v.width = 0; }), Expect::Refused, "no picture"},
    {"HeaderEndsEarly", Tiny([](TinyVqa& v) { v.cutAt = 40; }), Expect::Refused,
     "ends inside the VQA header"},
    {"NotAVqaFile", Raw({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T', 0}),
     Expect::Refused, "is not a VQA video"},
    {"ShorterThanTheSignatures", Raw({'F', 'O', 'R', 'M', 0, 0, 0, 0, 'W', 'V'}), Expect::Refused,
     "is not a VQA video"},
    {"EmptyFile", Raw({}), Expect::Refused, "is not a VQA video"},
    {"HugePictureIn60Bytes", Raw(Header(1, 65535, 65535, 4, 2, 60)), Expect::Refused,
     "ends inside the frame index"},
    {"HugePictureWithItsIndex", Raw(Header(1, 65535, 65535, 4, 2, 74)), Expect::Refused,
     "too large for an AVI file"},
    {"TooManyFramesForAnAvi", Raw(Header(65535, 320, 200, 4, 2, 70 + 4 * 65535)), Expect::Refused,
     "too large for an AVI file"},
    // The frame index.
    {"IndexEndsEarly", Tiny([](TinyVqa& v) { v.cutAt = 75; }), Expect::Refused,
     "ends inside the frame index"},
    {"IndexEntryPastTheEnd", Tiny([](TinyVqa& v) { v.frames[1].omit = true; }),
     Expect::ConvertedWarning, "1 frame was damaged or missing (the first is frame 2)"},
    {"FirstEntryPastTheEnd", Tiny([](TinyVqa& v) { v.rawIndexEntries = {{0, 0x10000000}}; }),
     Expect::ConvertedWarning, "the sound before the first frame is missing"},
    {"IndexEntryPastTheSigned32BitRange",
     Tiny([](TinyVqa& v) { v.rawIndexEntries = {{1, 0x3FFFFFFC}}; }), Expect::Refused,
     "the seek to frame 2 (position 2147483648) failed"},
    // LCW data.
    {"LcwWithoutEndCommand", Frame1({{"VPTZ", {0x84, 1, 2, 0x0F, 0x0F}}}), Expect::ConvertedWarning,
     "1 frame was damaged or missing (the first is frame 2)"},
    {"LcwOperandsPastTheData", Frame1({{"VPTZ", {0x81, 1, 0xFF, 4}}}), Expect::ConvertedWarning,
     "damaged or missing"},
    {"LcwCopyPastTheOutput", Frame1({{"VPTZ", {0x81, 1, 0xC0, 0x10, 0x00, 0x80}}}),
     Expect::ConvertedWarning, "damaged or missing"},
    {"LcwRelativeCopyBeforeAnyOutput", Frame1({{"VPTZ", {0x00, 0x01, 0x80}}}),
     Expect::ConvertedWarning, "damaged or missing"},
    {"LcwRunawayOutput", Frame1({{"VPTZ", Runaway()}}), Expect::ConvertedWarning,
     "damaged or missing"},
    // Picture chunks and their sub-chunks.
    {"SubChunkHeaderPastTheChunk",
     Tiny([](TinyVqa& v) { v.frames[1].pictureSizeOverride = 8 + 4 + 5; }),
     Expect::ConvertedWarning, "damaged or missing"},
    {"SubChunkSizePastTheChunk", Tiny([](TinyVqa& v) { v.frames[1].pictureSizeOverride = 8 + 2; }),
     Expect::ConvertedWarning, "damaged or missing"},
    {"ChunkSizeNegative", Tiny([](TinyVqa& v) { v.frames[1].pictureSizeOverride = 0xFFFFFFF0; }),
     Expect::ConvertedWarning, "damaged or missing"},
    {"ChunkSizeTwoGigabytes",
     Tiny([](TinyVqa& v) { v.frames[2].pictureSizeOverride = 0x7FFFFFFF; }),
     Expect::ConvertedWarning, "the first is frame 3"},
    {"NineCodebookPartsBeforeASwitch",
     Frame1({{"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}},
             {"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}},
             {"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}}, {"CBP0", {1, 1, 1, 1}},
             TinySolidPicture(2, 3)}),
     Expect::Converted, ""},
    {"PointerTableBeforeCodebookAndPalette",
     Tiny([](TinyVqa& v) { v.frames[0].picture = {{"VPT0", {0, 1, 0, 0}}}; }), Expect::Converted,
     ""},
    {"PointerValuesPastTheCodebook", Frame1({{"CBF0", {1, 2, 3, 4, 5, 6, 7, 8}},
                                             {"VPT0", {0, 200, 0, 14}}}),
     Expect::Converted, ""},
    {"PointerTableTooShort", Frame1({{"VPT0", {3}}}), Expect::Converted, ""},
    {"FrameWithoutAnImage", Frame1({TinyPalette()}), Expect::Converted, ""},
    {"FrameWithTwoImages", Frame1({TinySolidPicture(1, 1), TinySolidPicture(9, 9)}),
     Expect::Converted, ""},
    {"UnknownSubChunk", Frame1({{"ABCD", {1, 2, 3}}, TinySolidPicture(5, 6)}), Expect::Converted,
     ""},
    {"UnknownPackedSubChunkThatDoesNotUnpack", Frame1({{"ABCZ", {1, 2, 3}}, TinySolidPicture(5, 6)}),
     Expect::ConvertedWarning, "the first is frame 2"},
    {"FileEndsInsideAFrame", Tiny([](TinyVqa& v) {
         v.cutAt = BuildTinyVqa(v).size() - 3;
     }),
     Expect::ConvertedWarning, "the first is frame 3"},
    {"FileEndsInsideTheSoundOfAFrame", Tiny([](TinyVqa& v) {
         v.cutAt = BuildTinyVqa(v).size() - 20;  // 2 of the last frame's 10 sound bytes
     }),
     Expect::ConvertedWarning, "the first is frame 3"},
    // Files and names.
    {"InputMissing", [](const ScratchFolder&) {}, Expect::Refused, "missing.vqa", "missing.vqa"},
    {"OutputIsAFolder",
     [](const ScratchFolder& d) {
         PutTiny(d, ThreeFrames());
         std::filesystem::create_directory(d / "clip.avi");
     },
     Expect::Refused, "the output \"clip.avi\" is a folder"},
    {"OutputPathIsTheInputPath",
     [](const ScratchFolder& d) { d.Put("clip.avi", BuildTinyVqa(ThreeFrames())); },
     Expect::Refused, "is the input file itself", "clip.avi"},
    {"ExistingAviKeptWhenTheConversionFails",
     [](const ScratchFolder& d) {
         TinyVqa v = ThreeFrames();
         v.frames.clear();
         PutTiny(d, v);
         d.Put("clip.avi", {'k', 'e', 'e', 'p'});
     },
     Expect::Refused, "no frames"},
};

class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, ConvertsCompletelyOrRefusesInOneLineLeavingNothing) {
    const HostileCase& c = GetParam();
    ScratchFolder dir;
    c.prepare(dir);
    const std::vector<std::string> before = dir.Listing();
    std::vector<std::vector<uint8_t>> contents;
    for (const std::string& name : before) {
        contents.push_back(std::filesystem::is_regular_file(dir / name) ? *dir.Get(name)
                                                                        : std::vector<uint8_t>{});
    }

    const test::CliRun r = dir.Run({c.input});
    ASSERT_TRUE(r.exited) << "killed by signal " << r.status << "\n" << r.err;
    EXPECT_FALSE(r.SanitizerSpoke()) << r.err;
    if (c.says[0] != '\0') {
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }

    if (c.expect == Expect::Refused) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.ErrLines(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.input), std::string::npos) << "names the file: " << r.err;
        EXPECT_EQ(r.out, "");
        // Nothing left behind, nothing changed: the input and any earlier AVI stay as they were.
        ASSERT_EQ(dir.Listing(), before);
        for (size_t i = 0; i < before.size(); ++i) {
            if (std::filesystem::is_regular_file(dir / before[i])) {
                EXPECT_EQ(*dir.Get(before[i]), contents[i]) << before[i];
            }
        }
        return;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.ErrLines(), c.expect == Expect::ConvertedWarning ? 1u : 0u) << r.err;
    EXPECT_EQ(r.out, "Converted \"clip.vqa\" to \"clip.avi\"\n");
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    const auto avi = dir.Get("clip.avi");
    ASSERT_TRUE(avi.has_value());
    const test::AviWalk walk = test::WalkAvi(*avi);
    EXPECT_EQ(walk.problem, "");
    const auto vqa = dir.Get("clip.vqa");
    EXPECT_EQ(walk.frames, test::Le16(*vqa, 24));
    EXPECT_EQ(walk.videoFrames.size(), walk.frames);
    EXPECT_EQ(walk.index.size(), 2 * walk.frames + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Hostile, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What the concealed and the odd-but-valid cases draw: the picture of each frame as stored in its
// video chunk (solid colours: 4 x 4 pixels, 4 x 2 blocks, colour k of TinyPalette).
struct PictureCase {
    const char* name;
    TinyVqa video;
    std::vector<std::vector<uint8_t>> frames;  // expected video chunk data per frame
};

std::vector<uint8_t> Black() {
    return std::vector<uint8_t>(48, 0);
}

std::vector<PictureCase> PictureCases() {
    using test::TinyVideoChunk;
    std::vector<PictureCase> cases;
    const auto f0 = TinyVideoChunk(1, 4), f2 = TinyVideoChunk(3, 6);
    cases.push_back(
        {"DamagedFrameRepeatsThePrevious", WithFrame1({{"VPTZ", {0x84, 1, 2}}}), {f0, f0, f2}});
    cases.push_back(
        {"FrameWithoutImageRepeatsThePrevious", WithFrame1({TinyPalette()}), {f0, f0, f2}});
    cases.push_back({"LastOfTwoImagesIsWritten",
                     WithFrame1({TinySolidPicture(9, 9), TinySolidPicture(7, 8)}),
                     {f0, TinyVideoChunk(7, 8), f2}});
    TinyVqa noPalette = ThreeFrames();
    noPalette.frames[0].picture = {TinySolidPicture(1, 4)};
    noPalette.frames[1].picture = {TinyPalette(), TinySolidPicture(2, 5)};
    cases.push_back({"NoPaletteYetDrawsBlack", noPalette, {Black(), TinyVideoChunk(2, 5), f2}});
    // Entry 200 lies past a codebook of one entry: its block is black, the solid one is drawn.
    std::vector<uint8_t> half = TinyVideoChunk(9, 9);
    std::fill(half.begin() + 24, half.end(), 0);  // the top block is the second half, bottom up
    cases.push_back({"PointerPastTheCodebookIsBlack",
                     WithFrame1({{"CBF0", {1, 2, 3, 4, 5, 6, 7, 8}}, {"VPT0", {200, 9, 0, 0x0F}}}),
                     {f0, half, f2}});
    return cases;
}

class Pictures : public testing::TestWithParam<PictureCase> {};

TEST_P(Pictures, AsChosenForTheOpenCases) {
    const PictureCase& c = GetParam();
    ScratchFolder dir;
    dir.Put("clip.vqa", BuildTinyVqa(c.video));
    const test::CliRun r = dir.Run({"clip.vqa"});
    ASSERT_TRUE(r.exited) << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    const auto avi = dir.Get("clip.avi");
    ASSERT_TRUE(avi.has_value());
    const test::AviWalk walk = test::WalkAvi(*avi);
    ASSERT_EQ(walk.problem, "");
    ASSERT_EQ(walk.videoFrames.size(), c.frames.size());
    for (size_t f = 0; f < c.frames.size(); ++f) {
        EXPECT_EQ(std::vector<uint8_t>(walk.videoFrames[f].begin(), walk.videoFrames[f].end()),
                  c.frames[f])
            << "frame " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Pictures, testing::ValuesIn(PictureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A small file may declare a picture of up to 2 GB that an AVI header can still describe. The run
// needs two such pictures; where the memory is not there, it ends with a message, not a crash.
// (Sanitizer builds reserve more address space than any such limit, so the test runs without.)
#if defined(__SANITIZE_ADDRESS__)
#define RW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RW_ASAN 1
#endif
#endif

TEST(Memory, APictureTooLargeForTheMachineEndsWithAMessage) {
#ifdef RW_ASAN
    GTEST_SKIP() << "address space limits do not work with the address sanitizer";
#endif
    ScratchFolder dir;
    TinyVqa v = ThreeFrames();
    v.frames.resize(1);
    v.width = 26000;  // 3 * 26000 * 26000 bytes: about 1.9 GB a picture
    v.height = 26000;
    PutTiny(dir, v);
    const test::CliRun r = dir.Run({"clip.vqa"}, rlim_t{1} << 30, RLIMIT_AS);
    ASSERT_TRUE(r.exited) << "killed by signal " << r.status << "\n" << r.err;
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err,
              "reelwright-cli: Cannot convert \"clip.vqa\": there is not enough memory for "
              "pictures of 26000 x 26000 pixels (2028000000 bytes each)\n");
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.vqa"}));
}

}  // namespace
}  // namespace rw
