// reelwright-cli --encode: its options, and the round trip a user makes from a terminal (VQA to
// AVI and back) with the output never replacing a file unasked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/encode_mode.h"
#include "tests/support/fixtures.h"
#include "tests/support/round_trip.h"
#include "tests/support/scratch_folder.h"

namespace rw::cli {
namespace {

struct EncodeParseCase {
    std::vector<std::string> args;
    bool ok;
    int32_t blockHeight, effort;
    const char* words;  // in the error, or the output path when ok
};

TEST(EncodeArguments, AcceptsOrNamesTheProblemAndOnlyWhenAskedFor) {
    const EncodeParseCase cases[] = {
        {{"--encode", "a.avi"}, true, 2, 2, ""},
        {{"--encode=a.avi", "-o", "b.vqa", "--block", "4x4"}, true, 4, 2, "b.vqa"},
        {{"--quality=best", "--encode", "d", "--output=x.vqa"}, true, 2, 3, "x.vqa"},
        {{"--encode", "a.avi", "--quality", "fast", "--force"}, true, 2, 1, ""},
        {{"--encode"}, false, 0, 0, "--encode wants a value"},
        {{"--encode", "a", "--block", "8x8"}, false, 0, 0, "4x2 or 4x4"},
        {{"--encode", "a", "--quality", "max"}, false, 0, 0, "fast, normal or best"},
        {{"--encode", "a", "b.avi"}, false, 0, 0, "\"b.avi\""},
        {{"--encode", "a", "--encode", "b"}, false, 0, 0, "one AVI file"},
    };
    for (const EncodeParseCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_TRUE(IsEncodeCommand(c.args));
        auto parsed = ParseEncodeArguments(c.args);
        EXPECT_EQ(parsed.ok(), c.ok) << (parsed.ok() ? "" : parsed.error().message);
        if (!parsed.ok()) {
            EXPECT_NE(parsed.error().message.find(c.words), std::string::npos)
                << parsed.error().message;
        } else if (c.ok) {
            EXPECT_EQ(parsed->options.settings.blockHeight, c.blockHeight);
            EXPECT_EQ(parsed->options.settings.effort, c.effort);
            EXPECT_EQ(parsed->options.output, c.words);
        }
    }
    EXPECT_FALSE(IsEncodeCommand(std::vector<std::string>{"a.vqa", "--jobs", "2"}));
    EXPECT_FALSE(IsEncodeCommand(std::vector<std::string>{"--", "--encode"}));
}

TEST(EncodeProgram, RoundTripFromATerminal) {
    test::ScratchFolder dir;
    dir.Put("movie.vqa", test::SmallVideo(12, 64, 32).file);
    ASSERT_EQ(dir.Run({"movie.vqa"}).status, 0);
    test::CliRun r = dir.Run({"--encode", "movie.avi"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"movie.vqa\" already exists; give --force to replace it"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(*dir.Get("movie.vqa"), test::SmallVideo(12, 64, 32).file);

    r = dir.Run({"--encode", "movie.avi", "-o", "new.vqa"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Encoded \"movie.avi\" to \"new.vqa\" (12 frames, 64x32,", 0), 0u)
        << r.out;
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"movie.avi", "movie.vqa", "new.vqa"}));
    EXPECT_EQ(test::ConvertBack(*dir.Get("new.vqa")).problem, "");
}

}  // namespace
}  // namespace rw::cli
