// Hostile input as a user meets it, one case per kind of problem, through reelwright-cli: the
// converter either writes a complete, consistent AVI file (exit status 0, perhaps with one warning
// line) or refuses with one line naming the file and the problem (exit status 1), changing nothing.
// No case may crash or make a sanitizer speak. (Each problem's details are tested where it is
// found: the header reader, LCW, the picture-chunk walk, the renderer, the frame loop; the fuzz
// targets replay many more damaged files.)
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/avi_walk.h"
#include "tests/support/names.h"
#include "tests/support/sanitizer.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tiny_vqa.h"

namespace rw {
namespace {

using test::BuildTinyVqa;
using test::PrintTo;
using test::ScratchFolder;
using test::TinyVqa;

enum class Expect {
    Converted,         // status 0, a complete AVI, no warning
    ConvertedWarning,  // status 0, a complete AVI, one warning line
    Refused,           // status 1, one line, nothing left behind or changed
};

struct HostileCase {
    const char* name;
    std::function<void(const ScratchFolder&)> prepare;  // writes clip.vqa (and whatever else)
    Expect expect;
    const char* says;  // part of the stderr line
    std::string input = "clip.vqa";
    std::string output = "";  // -o: the AVI file; empty: beside the input
};

std::function<void(const ScratchFolder&)> Tiny(std::function<void(TinyVqa&)> change) {
    return [change](const ScratchFolder& d) {
        TinyVqa v = test::TinyThreeFrames();
        change(v);
        d.Put("clip.vqa", BuildTinyVqa(v));
    };
}
// One frame of 65535 x 65535 pixels: only the header and the index, or less.
void HugePicture(TinyVqa& v) {
    v.width = v.height = 65535;
    v.frames.resize(1);
    v.frames[0].omit = true;
}

const HostileCase kCases[] = {
    {"NotAVqaFile",
     [](const ScratchFolder& d) { d.Put("clip.vqa", test::Text("RIFF0000AVI LIST")); },
     Expect::Refused, "is not a VQA video"},
    {"HeaderEndsEarly", Tiny([](TinyVqa& v) { v.cutAt = 40; }), Expect::Refused,
     "ends inside the VQA header"},
    {"IndexEndsEarly", Tiny([](TinyVqa& v) { v.cutAt = 75; }), Expect::Refused,
     "ends inside the frame index"},
    // The index is read before the picture size is judged, let alone set aside.
    {"HugePictureInSixtyBytes", Tiny([](TinyVqa& v) {
         HugePicture(v);
         v.cutAt = 60;
     }),
     Expect::Refused, "ends inside the frame index"},
    {"HugePictureWithItsIndex", Tiny(HugePicture), Expect::Refused, "too large for an AVI file"},
    {"ZeroFramesKeepsTheEarlierAvi",
     [](const ScratchFolder& d) {
         d.Put("clip.vqa", BuildTinyVqa(TinyVqa{}));
         d.Put("clip.avi", {'k', 'e', 'e', 'p'});
     },
     Expect::Refused, "no frames"},
    {"SeekPastTheSigned32BitRange", Tiny([](TinyVqa& v) {
         v.rawIndexEntries = {{1, 0x3FFFFFFC}};
     }),
     Expect::Refused, "the seek to frame 2 (position 2147483648) failed"},
    {"OutputIsAFolder",
     [](const ScratchFolder& d) {
         d.Put("clip.vqa", BuildTinyVqa(test::TinyThreeFrames()));
         std::filesystem::create_directory(d / "clip.avi");
     },
     Expect::Refused, "the output \"clip.avi\" is a folder"},
    {"OutputPathIsTheInputPath",
     [](const ScratchFolder& d) { d.Put("clip.avi", BuildTinyVqa(test::TinyThreeFrames())); },
     Expect::Refused, "is the input file itself", "clip.avi", "clip.avi"},
    {"FramePastTheEnd", Tiny([](TinyVqa& v) { v.frames[1].omit = true; }), Expect::ConvertedWarning,
     "1 frame was damaged or missing (the first is frame 2)"},
    {"LeadingSoundPastTheEnd", Tiny([](TinyVqa& v) {
         v.rawIndexEntries = {{0, 0x10000000}};
     }),
     Expect::ConvertedWarning, "the sound before the first frame is missing"},
};

class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, ConvertsCompletelyOrRefusesInOneLineChangingNothing) {
    const HostileCase& c = GetParam();
    ScratchFolder dir;
    c.prepare(dir);
    const std::vector<std::string> before = dir.Listing();
    std::vector<std::optional<test::Bytes>> contents;
    for (const std::string& name : before) contents.push_back(dir.Get(name));

    // --force: an earlier AVI file is replaced only by a complete one, never by a failed run.
    std::vector<std::string> args = {"--force", c.input};
    if (!c.output.empty()) args.insert(args.begin(), {"-o", c.output});
    const test::CliRun r = dir.Run(args);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (c.expect == Expect::Refused) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.ErrLines(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.input), std::string::npos) << "names the file: " << r.err;
        EXPECT_EQ(r.out, "");
        ASSERT_EQ(dir.Listing(), before);
        for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(dir.Get(before[i]), contents[i]);
        return;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.ErrLines(), c.expect == Expect::ConvertedWarning ? 1u : 0u) << r.err;
    EXPECT_EQ(r.out, "Converted \"clip.vqa\" to \"clip.avi\"\n");
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    const test::Bytes avi = dir.Get("clip.avi").value_or(test::Bytes{});
    const test::AviWalk walk = test::WalkAvi(avi);
    EXPECT_EQ(walk.problem, "");
    EXPECT_EQ(walk.frames, 3u);
    EXPECT_EQ(walk.videoFrames.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Hostile, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A small file may declare a picture of up to 2 GB that an AVI header can still describe. The run
// needs two such pictures; where the memory is not there, it ends with a message, not a crash.
// (Sanitizer builds reserve more address space than any such limit, so the test runs without.)
TEST(Memory, APictureTooLargeForTheMachineEndsWithAMessage) {
#ifdef RW_ASAN
    GTEST_SKIP() << "address space limits do not work with the address sanitizer";
#endif
    ScratchFolder dir;
    TinyVqa v = test::TinyThreeFrames();
    v.frames.resize(1);
    v.width = 26000;  // 3 * 26000 * 26000 bytes: about 1.9 GB a picture
    v.height = 26000;
    dir.Put("clip.vqa", BuildTinyVqa(v));
    const test::CliRun r = dir.Run({"clip.vqa"}, rlim_t{1} << 30, RLIMIT_AS);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err,
              "reelwright-cli: Cannot convert \"clip.vqa\": there is not enough memory for "
              "pictures of 26000 x 26000 pixels (2028000000 bytes each)\n");
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.vqa"}));
}

}  // namespace
}  // namespace rw
