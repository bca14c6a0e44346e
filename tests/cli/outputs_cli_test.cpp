// Where every mode writes and what it refuses: an existing output is kept unless --force is given,
// -o names the one output file (its extension fitting the mode) or the folder of several, a name
// without .vqa gets the new extension appended, and a missing folder is said as such.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/names.h"
#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

const std::vector<uint8_t> kKeep = {'k', 'e', 'e', 'p'};

struct OutputCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> before;  // files already there, holding "keep"
    int status;
    const char* says;     // part of stderr; "" for nothing on stderr
    const char* written;  // a file written by the run; "" for none
    const char* kept;     // a file left as it was ("keep"), or a name that must not exist
};
void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}
class Outputs : public testing::TestWithParam<OutputCase> {};

TEST_P(Outputs, AreWrittenOrKeptByOneRule) {
    const OutputCase& c = GetParam();
    test::ScratchFolder dir;
    const std::vector<uint8_t> video = test::SmallVideo(6, 64, 32).file;
    dir.Put("clip.vqa", video);
    dir.Put("intro", video);
    dir.Put("LOUD.VQA", video);
    dir.Put("movie.avi", test::ConvertInMemory(video).avi);
    dir.Put("dir/.hold", {});
    for (const std::string& name : c.before) dir.Put(name, kKeep);
    const test::CliRun r = dir.Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (*c.says == '\0') {
        EXPECT_EQ(r.err, "");
    }
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (*c.written != '\0') {
        const auto bytes = dir.Get(c.written);
        EXPECT_TRUE(bytes && !bytes->empty() && *bytes != kKeep) << c.written;
    }
    if (*c.kept != '\0') {
        const bool before = std::find(c.before.begin(), c.before.end(), c.kept) != c.before.end();
        if (before) {
            EXPECT_EQ(dir.Get(c.kept), kKeep) << c.kept;
        } else {
            EXPECT_FALSE(std::filesystem::exists(dir / c.kept)) << c.kept;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryMode, Outputs,
    testing::Values(
        // An existing output is kept and reported unless --force is given.
        OutputCase{"conversion_keeps",
                   {"clip.vqa"},
                   {"clip.avi"},
                   1,
                   "Cannot convert \"clip.vqa\": \"clip.avi\" already exists; give --force to "
                   "replace it",
                   "",
                   "clip.avi"},
        OutputCase{
            "conversion_forced", {"--force", "clip.vqa"}, {"clip.avi"}, 0, "", "clip.avi", ""},
        OutputCase{"thumbnail_keeps",
                   {"--thumbnail", "t.png", "clip.vqa"},
                   {"t.png"},
                   1,
                   "\"t.png\" already exists; give --force to replace it",
                   "",
                   "t.png"},
        OutputCase{"thumbnail_forced",
                   {"--thumbnail", "t.png", "--force", "clip.vqa"},
                   {"t.png"},
                   0,
                   "",
                   "t.png",
                   ""},
        OutputCase{"encode_keeps",
                   {"--encode", "movie.avi", "-o", "m.vqa"},
                   {"m.vqa"},
                   1,
                   "\"m.vqa\" already exists; give --force to replace it",
                   "",
                   "m.vqa"},
        // A name without .vqa gets the extension appended.
        OutputCase{"no_extension", {"intro"}, {}, 0, "", "intro.avi", "inavi"},
        OutputCase{"upper_case_extension", {"LOUD.VQA"}, {}, 0, "", "LOUD.avi", ""},
        // -o names the one output file, its extension fitting the mode, or a folder.
        OutputCase{"o_names_the_file", {"-o", "out.avi", "clip.vqa"}, {}, 0, "", "out.avi", ""},
        OutputCase{"o_any_case", {"-o", "OUT.AVI", "clip.vqa"}, {}, 0, "", "OUT.AVI", ""},
        OutputCase{"o_existing_folder", {"-o", "dir", "clip.vqa"}, {}, 0, "", "dir/clip.avi", ""},
        OutputCase{"o_new_folder", {"-o", "new", "clip.vqa"}, {}, 0, "", "new/clip.avi", ""},
        OutputCase{"o_folder_for_several",
                   {"-o", "x.avi", "clip.vqa", "intro"},
                   {},
                   0,
                   "",
                   "x.avi/intro.avi",
                   ""},
        OutputCase{"encode_o_folder",
                   {"--encode", "movie.avi", "-o", "dir"},
                   {},
                   0,
                   "",
                   "dir/movie.vqa",
                   ""},
        OutputCase{"conversion_missing_folder",
                   {"-o", "gone/out.avi", "clip.vqa"},
                   {},
                   1,
                   "Cannot convert \"clip.vqa\": the folder \"gone\" does not exist",
                   "",
                   ""},
        OutputCase{"encode_missing_folder",
                   {"--encode", "movie.avi", "-o", "gone/m.vqa"},
                   {},
                   1,
                   "Cannot encode \"movie.avi\": the folder \"gone\" does not exist",
                   "",
                   ""},
        OutputCase{"thumbnail_missing_folder",
                   {"--thumbnail", "gone/t.png", "clip.vqa"},
                   {},
                   1,
                   "the folder \"gone\" does not exist",
                   "",
                   ""},
        OutputCase{"pack_missing_folder",
                   {"--pack", "gone/M.MIX", "clip.vqa"},
                   {},
                   1,
                   "Cannot write \"gone/M.MIX\": the folder \"gone\" does not exist",
                   "",
                   ""},
        OutputCase{"no_folder_when_all_fail",
                   {"-o", "new", "gone.vqa", "x.vqa"},
                   {},
                   1,
                   "Cannot open \"gone.vqa\"",
                   "",
                   "new"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rw
