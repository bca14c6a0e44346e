// Archive entries under their names: a list of candidate names at --info and in the conversion,
// and --entry choosing the video of --frames and --thumbnail by name or number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mix/mix_names.h"
#include "tests/support/bytes.h"
#include "tests/support/fixtures.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

using test::Bytes;

const Bytes& Video() {
    return test::SmallVideo(6, 64, 32).file;
}

// MOVIES.MIX: a text file named README.TXT, INTRO.VQA and a video no name is known for (entries
// 1 to 3: the table is sorted by id).
class NamedEntries : public testing::Test {
  public:
    NamedEntries() {
        m_dir.Put("disc/MOVIES.MIX", synth::PackMix({{*MixNameId("INTRO.VQA"), Video()},
                                                     {*MixNameId("README.TXT"), test::Text("hi")},
                                                     {0x30, Video()}}));
        m_dir.Put("names.txt", test::Text("# the game's videos\nINTRO.VQA\nREADME.TXT\n"
                                          "LOGO.VQA\nEXTREMELY_LONG.VQA\n"));
        m_dir.Put("intro.vqa", Video());
    }
    test::ScratchFolder m_dir;
};

TEST_F(NamedEntries, ConversionWritesANamedEntryUnderItsName) {
    const test::CliRun r = m_dir.Run({"--names", "names.txt", "disc/MOVIES.MIX"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Converted \"disc/MOVIES.MIX entry 2 (INTRO.VQA, id EBFD9604)\" to "
              "\"disc/INTRO.avi\"\n"
              "Converted \"disc/MOVIES.MIX entry 3 (id 00000030)\" to "
              "\"disc/MOVIES-0003-00000030.avi\"\n");
    EXPECT_NE(r.err.find("warning: \"names.txt\" line 5: \"EXTREMELY_LONG.VQA\" left out"),
              std::string::npos)
        << r.err;
    ASSERT_EQ(m_dir.Run({"intro.vqa"}).status, 0);
    EXPECT_EQ(m_dir.Get("disc/INTRO.avi"), m_dir.Get("intro.avi"));
}

TEST_F(NamedEntries, InfoListsNamesOrADash) {
    const test::CliRun r = m_dir.Run({"--info", "--names=names.txt", "disc/MOVIES.MIX"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string rows;  // the first three rows of each video
    size_t at = 0;
    for (int video = 0; video < 2; ++video, at = r.out.find("\n\n", at) + 2) {
        size_t end = at;
        for (int line = 0; line < 4; ++line) end = r.out.find('\n', end) + 1;
        rows += r.out.substr(r.out.find('\n', at) + 1, end - r.out.find('\n', at) - 1);
    }
    EXPECT_EQ(rows,
              "Name                 INTRO.VQA\n"
              "Entry                2\n"
              "Id                   EBFD9604\n"
              "Name                 \u2014\n"
              "Entry                3\n"
              "Id                   00000030\n");
}

TEST_F(NamedEntries, EntryChoosesTheVideoToExport) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* says;  // the start of the line on stdout or stderr
    } cases[] = {
        {"thumbnail_by_name",
         {"--thumbnail", "t.png", "--entry", "intro.vqa", "disc/MOVIES.MIX"},
         0,
         ""},
        {"frames_by_number",
         {"--frames", "f", "--entry", "3", "disc/MOVIES.MIX"},
         0,
         "Exported 6 frames of \"disc/MOVIES.MIX entry 3 (id 00000030)\" to \"f\""},
        {"frames_named_by_the_list",
         {"--names", "names.txt", "--frames", "g", "--entry", "2", "disc/MOVIES.MIX"},
         0,
         "Exported 6 frames of \"disc/MOVIES.MIX entry 2 (INTRO.VQA, id EBFD9604)\" to \"g\""},
        {"no_entry",
         {"--frames", "h", "disc/MOVIES.MIX"},
         1,
         "reelwright-cli: \"disc/MOVIES.MIX\" is an archive: --entry NAME or NUMBER chooses its "
         "video"},
        {"not_a_video",
         {"--frames", "h", "--entry", "README.TXT", "disc/MOVIES.MIX"},
         1,
         "reelwright-cli: \"disc/MOVIES.MIX\" holds no VQA video named README.TXT"},
        {"no_such_number",
         {"--thumbnail", "u.png", "--entry", "4", "disc/MOVIES.MIX"},
         1,
         "reelwright-cli: \"disc/MOVIES.MIX\" holds no VQA video at entry 4"},
        {"loose_file",
         {"--frames", "h", "--entry", "1", "intro.vqa"},
         1,
         "reelwright-cli: --entry goes with a MIX archive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> before = m_dir.Listing();
        const test::CliRun r = m_dir.Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ((c.status == 0 ? r.out : r.err).rfind(c.says, 0), 0u) << r.out << r.err;
        EXPECT_EQ(m_dir.Listing().size(), before.size() + (c.status == 0 ? 1 : 0));
    }
    EXPECT_TRUE(m_dir.Get("t.png").has_value());
}

}  // namespace
}  // namespace rw
