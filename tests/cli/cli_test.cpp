#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "convert/convert_frames.h"
#include "platform/file.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tiny_vqa.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

using test::PrintTo;
namespace fs = std::filesystem;

// ---- Argument parsing ----

struct ParseCase {
    std::vector<std::string> args;
    bool ok;
    int jobs;
    bool info;
    size_t inputs;
    const char* says;  // part of the error message
};
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.args);
}
class ParseArguments : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArguments, AcceptsOrNamesTheProblem) {
    const ParseCase& c = GetParam();
    auto o = cli::ParseArguments(c.args);
    ASSERT_EQ(o.ok(), c.ok);
    if (!o.ok()) {
        EXPECT_NE(o.error().message.find(c.says), std::string::npos) << o.error().message;
        return;
    }
    EXPECT_EQ(o->jobs, c.jobs);
    EXPECT_EQ(o->info, c.info);
    EXPECT_EQ(o->inputs.size(), c.inputs);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseArguments,
    testing::Values(ParseCase{{"a.vqa"}, true, 1, false, 1, ""},
                    ParseCase{{"--info", "a.vqa", "b"}, true, 1, true, 2, ""},
                    ParseCase{{"--jobs", "3", "a.vqa"}, true, 3, false, 1, ""},
                    ParseCase{{"-j", "64", "a.vqa"}, true, 64, false, 1, ""},
                    ParseCase{{"--jobs=2", "a.vqa"}, true, 2, false, 1, ""},
                    ParseCase{{"--", "--info"}, true, 1, false, 1, ""},
                    ParseCase{{"--help"}, true, 1, false, 0, ""},
                    ParseCase{{}, false, 0, false, 0, "no VQA file"},
                    ParseCase{{"--jobs", "0", "a"}, false, 0, false, 0, "--jobs"},
                    ParseCase{{"--jobs", "65", "a"}, false, 0, false, 0, "--jobs"},
                    ParseCase{{"--jobs", "2x", "a"}, false, 0, false, 0, "2x"},
                    ParseCase{{"a", "--jobs"}, false, 0, false, 0, "wants a number"},
                    ParseCase{{"--fast", "a"}, false, 0, false, 0, "--fast"},
                    ParseCase{{"-o", "out", "a.vqa"}, true, 1, false, 1, ""},
                    ParseCase{{"--output-dir=out", "a", "b"}, true, 1, false, 2, ""},
                    ParseCase{{"a.vqa", "--output-dir"}, false, 0, false, 0, "wants a folder"},
                    ParseCase{{"-o", "", "a.vqa"}, false, 0, false, 0, "wants a folder"}));

// ---- The program ----

// reelwright-cli run in a scratch folder, stdout and stderr to files (not a terminal).
class CliProgram : public testing::Test {
  public:
    // A run killed by a signal ends with status -1, never a status a test expects.
    test::CliRun Run(const std::vector<std::string>& args) const {
        test::CliRun r = m_dir.Run(args);
        if (!r.exited) r.status = -1;
        return r;
    }
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return m_dir.Put(name, bytes);
    }
    static std::vector<uint8_t> Video(int32_t frames = 6) {
        return test::SmallVideo(frames, 64, 32).file;
    }
    std::vector<std::string> Listing(const std::string& sub = "") const {
        return m_dir.Listing(sub);
    }
    bool ValidAvi(const std::string& name) const {
        auto bytes = m_dir.Get(name);
        return bytes && test::WalkAvi(*bytes).problem.empty();
    }

    test::ScratchFolder m_dir;
};

TEST_F(CliProgram, ConvertsAFileAndSaysWhereTheAviWent) {
    Put("clip.vqa", Video());
    const test::CliRun r = Run({"clip.vqa"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Converted \"clip.vqa\" to \"clip.avi\"\n");
    EXPECT_EQ(r.err, "");  // no progress line when stderr is not a terminal
    EXPECT_EQ(Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    EXPECT_TRUE(ValidAvi("clip.avi"));
}

// A long video is converted in two parts when it is the only file, in one when files are
// converted side by side: the bytes are those of a conversion in memory either way.
TEST_F(CliProgram, LongVideosGiveTheSameBytesInOneOrTwoParts) {
    const std::vector<uint8_t> video = Video(100);
    MemoryInputFile in(video, "long.vqa");
    const VqaProperties props = ReadVqaHeader(std::span<const uint8_t>(video)).properties;
    auto index = ReadFrameIndex(in, props.frames);
    ASSERT_TRUE(index.ok());
    MemoryOutputFile expected;
    test::NullObserver observer;
    ASSERT_EQ(ConvertFrames(in, expected, props, *index, observer).status,
              ConversionOutcome::Status::Completed);

    Put("one/long.vqa", video);
    Put("two/a.vqa", video);
    Put("two/b.vqa", video);
    EXPECT_EQ(Run({"one/long.vqa"}).status, 0);
    EXPECT_EQ(Run({"--jobs", "2", "two"}).status, 0);
    for (const char* avi : {"one/long.avi", "two/a.avi", "two/b.avi"}) {
        EXPECT_EQ(m_dir.Get(avi), expected.Data()) << avi;
    }
}

TEST_F(CliProgram, AFolderStandsForItsVqaFilesInAnyCase) {
    Put("d/a.vqa", Video());
    Put("d/B.VQA", Video());
    Put("d/c.Vqa", Video());
    Put("d/notes.txt", {'x'});
    const test::CliRun r = Run({"--jobs", "2", "d"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
    EXPECT_EQ(Listing("d"), (std::vector<std::string>{"B.VQA", "B.avi", "a.avi", "a.vqa", "c.Vqa",
                                                      "c.avi", "notes.txt"}));
    for (const char* avi : {"d/a.avi", "d/B.avi", "d/c.avi"}) EXPECT_TRUE(ValidAvi(avi)) << avi;
}

TEST_F(CliProgram, InfoShowsThePropertiesAndConvertsNothing) {
    Put("clip.vqa", Video(1800 / 100));
    const test::CliRun r = Run({"--info", "clip.vqa"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"Number of Frames     18\n", "Width                64\n", "Height               32\n",
          "Blockwidth           4\n", "Blockheight          2\n", "Videolength (mm.ss)  00:01\n",
          "Outputfilesize       0.18 MB\n", "Filesize             "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    EXPECT_NE(r.out.find("Filename             " + (m_dir / "clip.vqa").string()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Listing(), (std::vector<std::string>{"clip.vqa"}));
}

// Failures: one line on stderr naming the file and the problem, exit status 1, nothing left
// behind, and the other files still converted.
struct FailCase {
    const char* name;
    std::function<std::string(CliProgram&)> prepare;  // returns the failing input
    const char* says;
};
class CliFailure : public CliProgram, public testing::WithParamInterface<FailCase> {};

TEST_P(CliFailure, SaysWhyAndLeavesNothingBehind) {
    Put("good.vqa", Video());
    const std::string bad = GetParam().prepare(*this);
    auto before = Listing();
    const test::CliRun r = Run({bad, "good.vqa"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("reelwright-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "Converted \"good.vqa\" to \"good.avi\"\n");
    before.push_back("good.avi");
    std::sort(before.begin(), before.end());
    EXPECT_EQ(Listing(), before);
    const std::string badAvi = bad.substr(0, bad.size() - 3) + "avi";
    if (badAvi != bad && fs::exists(m_dir / badAvi)) {
        EXPECT_EQ(m_dir.Text(badAvi), "old") << "an existing AVI was touched";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Problems, CliFailure,
    testing::Values(FailCase{"missing", [](CliProgram&) { return std::string("gone.vqa"); },
                             "Cannot open"},
                    FailCase{"empty folder",
                             [](CliProgram& t) {
                                 fs::create_directory(t.m_dir / "nothing");
                                 return std::string("nothing");
                             },
                             "holds no .vqa or .mix files"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST_F(CliProgram, ConcealedDamageIsAWarningAndTheFileIsComplete) {
    auto bytes = Video(10);
    bytes.resize(bytes.size() - 500);
    Put("cut.vqa", bytes);
    const test::CliRun r = Run({"cut.vqa"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("reelwright-cli: warning: \"cut.vqa\": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("repeat the previous picture"), std::string::npos) << r.err;
    EXPECT_TRUE(ValidAvi("cut.avi"));
}

struct ClashCase {
    std::vector<std::string> args;
    const char* says;
};
void PrintTo(const ClashCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.args);
}
class CliClash : public CliProgram, public testing::WithParamInterface<ClashCase> {};

TEST_P(CliClash, IsRefusedBeforeAnythingStarts) {
    Put("a.vqa", Video());
    Put("a.VQA", Video());
    Put("b.vqa", Video());
    const auto before = Listing();
    const test::CliRun r = Run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was converted"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Listing(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliClash,
    testing::Values(ClashCase{{"b.vqa", "a.vqa", "a.VQA"}, "would both write \"a.avi\""},
                    ClashCase{{"--jobs", "2", "b.vqa", "./b.vqa"}, "would both write"},
                    ClashCase{{"b.vqa", "."}, "would both write"}));

struct UsageCase {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
};
void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.args);
}
class CliUsage : public CliProgram, public testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsage, ExitStatusAndText) {
    const test::CliRun r = Run(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_NE(r.out.find(GetParam().out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(GetParam().err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliUsage,
    testing::Values(UsageCase{{"--help"}, 0, "Usage: reelwright-cli", ""},
                    UsageCase{{"--version"}, 0, "reelwright-cli 1.", ""},
                    UsageCase{{"-j", "x", "a.vqa"}, 2, "", "Try 'reelwright-cli --help'"}));

}  // namespace
}  // namespace rw
