// reelwright-cli's command lines, every mode's: what it accepts and what it refuses, with the exit
// status and the first line it says (a refusal: status 2 and the reason on stderr; --help and
// --version: status 0 and the start of stdout; an accepted line: the missing input makes it
// fail with status 1, whatever it says).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

struct CommandLine {
    std::vector<std::string> args;
    int status;
    const char* says;  // the first line on stderr (status 2, or a note), the start of stdout (0)
};

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

const CommandLine kCommandLines[] = {
    // Converting, --info, --frames and --thumbnail.
    {{"a.vqa"}, 1, ""},
    {{"--jobs", "3", "a.vqa"}, 1, ""},
    {{"--jobs=2", "-j2", "-j=2", "a.vqa"}, 1, ""},
    {{"--", "--info"}, 1, ""},
    {{"-"}, 1, ""},
    {{"-o", "out.avi", "a.vqa"}, 1, ""},
    {{"--output-dir", "d", "a.vqa"}, 1, ""},
    {{"--output-dir=d", "-o", "d", "a.vqa", "b.vqa"},
     2,
     "-o and --output-dir cannot be used together"},
    {{"--names", "n.txt", "a.vqa"}, 1, ""},
    {{"--info", "--json", "--names=n.txt", "a.vqa"}, 1, ""},
    {{"--to", "mp4", "--scale", "1", "--square-pixels", "--quality=20", "a.vqa"}, 1, ""},
    {{"--to=mkv", "--force", "a.vqa"}, 1, ""},
    {{"--to", "avi", "--scale", "3", "a.vqa"}, 1, ""},
    {{"--frames", "d", "--force", "a.vqa"}, 1, ""},
    {{"--thumbnail", "t.png", "--size=64", "a.vqa"}, 1, ""},
    {{"--thumbnail", "t.png", "--entry", "1", "M.MIX"}, 1, ""},
    {{"--help"}, 0, "Usage: reelwright-cli [options] FILE.vqa|ARCHIVE.mix|FOLDER..."},
    {{"-h", "a.vqa"}, 0, "Usage: reelwright-cli [options] FILE.vqa|ARCHIVE.mix|FOLDER..."},
    {{"--version"}, 0, "reelwright-cli "},
    {{}, 2, "no VQA file or folder given"},
    {{"-j0", "a.vqa"}, 2, "--jobs wants a number from 1 to 64, not \"0\""},
    {{"--jobs", "2x", "a"}, 2, "--jobs wants a number from 1 to 64, not \"2x\""},
    {{"a", "--jobs"}, 2, "--jobs wants a number"},
    {{"a", "-j"}, 2, "-j wants a number"},
    {{"--fast", "a"}, 2, "unknown option \"--fast\""},
    {{"--output", "x.avi", "a"}, 2, "unknown option \"--output\""},
    {{"--block", "4x4", "a"}, 2, "unknown option \"--block\""},
    {{"a.vqa", "--output-dir"}, 2, "--output-dir wants a folder"},
    {{"a", "-o"}, 2, "-o wants a path"},
    {{"-o", "", "a"}, 2, "-o wants a path"},
    {{"a", "--names"}, 2, "--names wants a file"},
    {{"-o", "x.mp4", "a.vqa"},
     2,
     "-o \"x.mp4\": a conversion writes a .avi file; give a name ending in .avi, or a folder"},
    {{"--to", "webm", "-o", "x.avi", "a.vqa"},
     2,
     "-o \"x.avi\": a conversion writes a .webm file; give a name ending in .webm, or a folder"},
    {{"--json", "a"}, 2, "--json goes with --info"},
    {{"--info", "--force", "a"}, 2, "--force does not go with --info"},
    {{"--frames", "d", "a", "b"}, 2, "--frames wants exactly one VQA file"},
    {{"--thumbnail", "t.png", "a", "b"}, 2, "--thumbnail wants exactly one VQA file"},
    {{"--frames", "d", "--thumbnail", "t", "a"},
     2,
     "--frames and --thumbnail cannot be used together"},
    {{"--info", "--frames", "d", "a"}, 2, "--info cannot be used with --frames or --thumbnail"},
    {{"a", "--frames"}, 2, "--frames wants a path"},
    {{"--thumbnail", "", "a"}, 2, "--thumbnail wants a path"},
    {{"--thumbnail", "t", "a"},
     2,
     "--thumbnail writes a PNG picture: give a name ending in .png, not \"t\""},
    {{"--size", "64", "a"}, 2, "--size goes with --thumbnail"},
    {{"--thumbnail", "t.png", "--size", "0", "a"},
     2,
     "--size wants a number of pixels from 1 to 4096, not \"0\""},
    {{"--entry", "1", "M.MIX"}, 2, "--entry goes with --frames or --thumbnail"},
    {{"-o", "out.avi", "--frames", "d", "a"},
     2,
     "-o goes with converting and --encode; --frames and --thumbnail name their own output"},
    {{"--to", "flv", "a"}, 2, "--to wants avi, mp4, webm, mkv or mpg, not \"flv\""},
    {{"a", "--to"}, 2, "--to wants a value"},
    {{"--to", "mp4", "--scale", "0", "a"}, 2, "--scale wants a number from 1 to 8, not \"0\""},
    {{"--scale=9", "a"}, 2, "--scale wants a number from 1 to 8, not \"9\""},
    {{"--quality", "x", "a"}, 2, "--quality wants a number, not \"x\""},
    {{"--to=mp4", "--quality", "52", "a"},
     2,
     "--quality for mp4 wants a number from 0 to 51, not 52"},
    {{"--to", "mpg", "--quality=0", "a"},
     2,
     "--quality for mpg wants a number from 1 to 31, not 0"},
    {{"--to", "mkv", "--quality", "1", "a"},
     2,
     "--quality does not apply to mkv, which is lossless"},
    {{"--to", "mp4", "--frames", "d", "a"}, 2, "--to cannot be used with --frames or --thumbnail"},
    // A conversion's option in a mode that does not use it: taken, with a note (a.vqa is missing).
    {{"--jobs", "2", "--info", "a.vqa"}, 1, "note: --jobs has no effect with --info"},
    {{"-j2", "--frames", "d", "a.vqa"}, 1, "note: -j has no effect with --frames"},
    {{"--output-dir", "o", "--thumbnail", "t.png", "a.vqa"},
     1,
     "note: --output-dir has no effect with --thumbnail"},
    {{"-o", "x.avi", "--info", "a.vqa"}, 1, "note: -o has no effect with --info"},
    {{"--to", "mp4", "--info", "a.vqa"}, 1, "note: --to has no effect with --info"},
    {{"--scale", "2", "--frames", "d", "a.vqa"}, 1, "note: --scale has no effect with --frames"},
    {{"--square-pixels", "--info", "a.vqa"}, 1, "note: --square-pixels has no effect with --info"},
    {{"--quality", "3", "--thumbnail", "t.png", "a.vqa"},
     1,
     "note: --quality has no effect with --thumbnail"},
    {{"--size", "64", "--frames", "d", "a.vqa"}, 2, "--size goes with --thumbnail"},
    {{"--encode", "a.avi", "--help"}, 0, "Usage: reelwright-cli --encode INPUT"},
    {{"--encode", "a.avi", "--version"}, 0, "reelwright-cli "},
    // Every value the same way: after "=", and right after a one-letter name.
    {{"--frames=d", "--entry=1", "M.MIX"}, 1, ""},
    {{"-ox.avi", "a.vqa"}, 1, ""},
    {{"--output-dir=", "a.vqa"}, 2, "--output-dir wants a folder"},
    {{"--pack=G.MIX", "A.VQA"}, 1, ""},
    // --encode.
    {{"--encode", "a.avi"}, 1, ""},
    {{"--encode=a.avi", "-o", "b.vqa", "--block", "4x4"}, 1, ""},
    {{"--quality=best", "--encode", "d", "--output=x.vqa"}, 1, ""},
    {{"--encode", "a.avi", "--quality", "fast", "--force", "-o", "new/dir"}, 1, ""},
    {{"--encode"}, 2, "--encode wants a value"},
    {{"--encode="}, 2, "--encode wants an AVI file or a folder of PNG frames"},
    {{"--encode", "a", "--encode", "b"}, 2, "--encode takes one AVI file or folder"},
    {{"--encode", "a", "--block", "8x8"}, 2, "--block wants 4x2 or 4x4, not \"8x8\""},
    {{"--encode", "a", "--block"}, 2, "--block wants a value"},
    {{"--encode", "a", "--quality", "max"}, 2, "--quality wants fast, normal or best, not \"max\""},
    {{"--encode", "a", "b.avi"}, 2, "unknown option or extra argument \"b.avi\" with --encode"},
    {{"--encode", "a", "--jobs", "2"},
     2,
     "unknown option or extra argument \"--jobs\" with --encode"},
    {{"--encode", "a.avi", "-o", "x.avi"},
     2,
     "-o \"x.avi\": --encode writes a .vqa file; give a name ending in .vqa, or a folder"},
    // --pack.
    {{"--pack", "G.MIX", "A.VQA"}, 1, ""},
    {{"A.VQA", "--pack", "G.MIX", "--", "-B.VQA"}, 1, ""},
    {{"--pack", "G.MIX", "--help"}, 0, "Usage: reelwright-cli --pack ARCHIVE.MIX FILE..."},
    {{"--pack", "G.MIX"}, 2, "--pack wants an archive and at least one file"},
    {{"--pack"}, 2, "--pack wants an archive and at least one file"},
    {{"--pack", "G.MIX", "--force", "A.VQA"},
     2,
     "unknown option or extra argument \"--force\" with --pack"},
};

TEST(CommandLines, AreAcceptedOrRefusedWithTheirReason) {
    test::ScratchFolder dir;
    for (const CommandLine& c : kCommandLines) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const test::CliRun r = dir.Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 2 || std::string_view(c.says).starts_with("note:")) {
            EXPECT_EQ(FirstLine(r.err), std::string("reelwright-cli: ") + c.says);
        } else if (c.status == 0) {
            EXPECT_EQ(r.out.rfind(c.says, 0), 0u) << r.out;
        } else {
            EXPECT_EQ(r.err.find("--help"), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{});
}

}  // namespace
}  // namespace rw
