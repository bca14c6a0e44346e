// Videos inside MIX archives and --output-dir at the command line: every video converts to the
// bytes of the same video loose, under a name made from the archive and the entry; other files are
// skipped in one line; damaged tables and entries are reported without stopping the others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes& ShortVideo() {
    return test::SmallVideo(6, 64, 32).file;
}
// Long enough to be converted in two parts.
const Bytes& LongVideo() {
    return test::SmallVideo(100, 64, 32).file;
}
const Bytes kText = test::Text("not a video\n");

// A short video, a text file and a long video (entries 1 to 3, ids 10, 20 and 30 in hex), or
// other files in their places.
Bytes Archive(const Bytes& second = kText, synth::MixPackOptions options = {}) {
    return synth::PackMix({{0x10, ShortVideo()}, {0x20, second}, {0x30, LongVideo()}}, options);
}

// Entry 1's length (the table's entries follow a 6-byte header, 12 bytes each) past the end.
Bytes WithEntryPastTheEnd(Bytes archive) {
    test::PutLe(archive, 6 + 8, 0x7FFFFFFF, 4);
    return archive;
}

// Archives and entries that cannot be converted: a message naming the archive or the entry, exit
// status 1, the other videos converted, and nothing else left behind.
TEST(ArchiveProblems, AreReportedAndTheOthersConvert) {
    const struct {
        const char* name;
        Bytes archive;
        const char* converted;  // the outputs written, in order
        const char* says;       // the lines on stderr, the program's name left out
    } cases[] = {
        {"encrypted", Archive(kText, {true, 2, 0}), "",
         "Cannot read \"M.MIX\": the archive's table of contents is encrypted; extract "
         "its files with an archive tool first\n"},
        {"entry_past_the_end", WithEntryPastTheEnd(Archive()), "M-0003-00000030.avi ",
         "\"M.MIX\": 1 entry that is not a VQA video skipped\n"
         "\"M.MIX\": entry 1 (id 00000010) lies past the end of the archive (offset 0, "
         "length 2147483647); skipped\n"},
        {"video_cut_in_its_header", Archive(test::Cut(ShortVideo(), 30)),
         "M-0001-00000010.avi M-0003-00000030.avi ",
         "\"M.MIX entry 2 (id 00000020)\" ends inside the VQA header: it holds 30 bytes, "
         "the header needs 46\n"},
        {"no_video_at_all", synth::PackMix({{1, kText}}), "",
         "\"M.MIX\": 1 entry that is not a VQA video skipped\nno VQA video to work on\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder dir;
        dir.Put("M.MIX", c.archive);
        const test::CliRun r = dir.Run({"M.MIX"});
        EXPECT_EQ(r.status, 1) << r.err;
        std::string err = r.err;  // without the program's name before each line
        for (size_t at; (at = err.find("reelwright-cli: ")) != std::string::npos;)
            err.erase(at, 16);
        EXPECT_EQ(err, c.says);
        std::string written;
        for (const std::string& name : dir.Listing()) written += name + " ";
        EXPECT_EQ(written, std::string(c.converted) + "M.MIX ");
    }
}

// An archive of many damaged entries: the first few are named, the others counted in one line.
TEST(ArchiveProblems, ManyDamagedEntriesAreCounted) {
    std::vector<synth::MixFile> files;
    for (uint32_t id = 1; id <= 9; ++id) files.push_back({id, kText});
    Bytes archive = synth::PackMix(files);
    for (size_t entry = 0; entry < files.size(); ++entry) {
        test::PutLe(archive, 6 + 12 * entry + 8, 0x7FFFFFFF, 4);
    }
    test::ScratchFolder dir;
    dir.Put("M.MIX", archive);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"M.MIX"}, std::vector<std::string>{"--info", "M.MIX"}}) {
        const test::CliRun r = dir.Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.ErrLines(), 6u) << r.err;
        EXPECT_NE(r.err.find("entry 5 (id 00000005) lies past the end"), std::string::npos);
        EXPECT_EQ(r.err.find("entry 6 (id"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\"M.MIX\": 4 more damaged entries skipped\n"), std::string::npos)
            << r.err;
    }
}

// In either layout, every video in an archive converts to the bytes of the same video loose.
class BothLayouts : public testing::TestWithParam<bool> {
  public:
    test::ScratchFolder m_dir;
};

TEST_P(BothLayouts, OutputDirTakesLooseFilesAndArchivesAndIsCreated) {
    m_dir.Put("disc/M.MIX", Archive(kText, {GetParam(), 0, 0}));
    m_dir.Put("disc/intro.vqa", ShortVideo());
    m_dir.Put("disc/long.vqa", LongVideo());
    m_dir.Put("disc/B.VQA", ShortVideo());  // any case; other files are left alone
    m_dir.Put("disc/notes.txt", kText);
    m_dir.Put("other/MORE.mix", synth::PackMix({{0xFFFFFFFF, ShortVideo()}}));
    const test::CliRun r = m_dir.Run({"--output-dir", "new/avi", "disc", "other/MORE.mix"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Converted \"disc/B.VQA\" to \"new/avi/B.avi\"\n"
              "Converted \"disc/M.MIX entry 1 (id 00000010)\" to \"new/avi/M-0001-00000010.avi\"\n"
              "Converted \"disc/M.MIX entry 3 (id 00000030)\" to \"new/avi/M-0003-00000030.avi\"\n"
              "Converted \"disc/intro.vqa\" to \"new/avi/intro.avi\"\n"
              "Converted \"disc/long.vqa\" to \"new/avi/long.avi\"\n"
              "Converted \"other/MORE.mix entry 1 (id FFFFFFFF)\" to "
              "\"new/avi/MORE-0001-FFFFFFFF.avi\"\n");
    EXPECT_EQ(m_dir.Listing("new/avi"),
              (std::vector<std::string>{"B.avi", "M-0001-00000010.avi", "M-0003-00000030.avi",
                                        "MORE-0001-FFFFFFFF.avi", "intro.avi", "long.avi"}));
    EXPECT_EQ(m_dir.Listing("disc"),
              (std::vector<std::string>{"B.VQA", "M.MIX", "intro.vqa", "long.vqa", "notes.txt"}));
    for (const char* same : {"M-0001-00000010.avi", "MORE-0001-FFFFFFFF.avi", "B.avi"}) {
        EXPECT_EQ(m_dir.Get(std::string("new/avi/") + same), m_dir.Get("new/avi/intro.avi"));
    }
    EXPECT_EQ(m_dir.Get("new/avi/M-0003-00000030.avi"), m_dir.Get("new/avi/long.avi"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, BothLayouts, testing::Bool(),
                         [](const auto& info) { return info.param ? "Extended" : "Classic"; });

}  // namespace
}  // namespace rw
