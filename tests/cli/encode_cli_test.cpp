// reelwright-cli --encode: its options, and the round trip a user makes from a terminal (VQA to
// AVI and back) with the output never replacing a file unasked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/encode_mode.h"
#include "png/png_image.h"
#include "tests/support/fixtures.h"
#include "tests/support/round_trip.h"
#include "tests/support/sanitizer.h"
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

// One frame of 8192 x 4096 pixels (96 MB as RGB) in a small PNG file, encoded with 200 MB of
// address space, less than the encoder needs for it: the lack of memory is a message naming the
// input, and nothing is left behind.
TEST(EncodeProgram, TooLittleMemoryEndsWithAMessage) {
#ifdef RW_ASAN
    GTEST_SKIP() << "address space limits do not work with the address sanitizer";
#endif
    test::ScratchFolder dir;
    const size_t bytes = size_t{8192} * 4096 * 3;
    dir.Put("film/frame1.png", *EncodePng(RgbImage{8192, 4096, std::vector<uint8_t>(bytes, 40)}));
    const test::CliRun r = dir.Run({"--encode", "film"}, rlim_t{200} << 20, RLIMIT_AS);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("reelwright-cli: Cannot encode \"film\": there is not enough memory", 0),
              0u)
        << r.err;
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{"film"});
}

}  // namespace
}  // namespace rw::cli
