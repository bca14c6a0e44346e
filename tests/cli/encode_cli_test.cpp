// reelwright-cli --encode: its options, and the round trip a user makes from a terminal (VQA to
// AVI and back) with the output never replacing a file unasked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "png/png_image.h"
#include "tests/support/fixtures.h"
#include "tests/support/round_trip.h"
#include "tests/support/sanitizer.h"
#include "tests/support/scratch_folder.h"

namespace rw::cli {
namespace {

// The values --encode's options stand for (the command lines refused are in the table of every
// mode's).
TEST(EncodeArguments, TakeTheBlockSizeQualityAndOutput) {
    const struct {
        std::vector<std::string> args;
        int32_t blockHeight, effort;
        const char* output;
    } cases[] = {
        {{"--encode", "a.avi"}, 2, 2, ""},
        {{"--encode=a.avi", "-o", "b.vqa", "--block", "4x4"}, 4, 2, "b.vqa"},
        {{"--quality=best", "--encode", "d", "--output=x.vqa"}, 2, 3, "x.vqa"},
        {{"--encode", "a.avi", "--quality", "fast", "--block=4x2"}, 2, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto parsed = ParseArguments(c.args);
        ASSERT_TRUE(parsed.ok()) << parsed.error().message;
        EXPECT_EQ(parsed->mode, Mode::Encode);
        EXPECT_EQ(parsed->encode.options.settings.blockHeight, c.blockHeight);
        EXPECT_EQ(parsed->encode.options.settings.effort, c.effort);
        EXPECT_EQ(parsed->encode.options.output, c.output);
    }
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
