// reelwright-cli --pack: new archives, new versions of existing ones that keep every other entry's
// bytes, and refusals made before anything is written.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mix/mix_archive.h"
#include "mix/mix_names.h"
#include "tests/support/bytes.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

using test::Bytes;

// The files of an archive by id, read back through the reader.
std::map<uint32_t, Bytes> Files(const Bytes& archive) {
    auto table = ParseMixTable(archive, static_cast<int64_t>(archive.size()), "A.MIX");
    EXPECT_TRUE(table.ok() && table->skipped.empty());
    std::map<uint32_t, Bytes> files;
    if (!table) return files;
    for (const MixEntry& e : table->entries) {
        files[e.id] = Bytes(archive.begin() + e.offset, archive.begin() + e.offset + e.length);
    }
    return files;
}

uint32_t IdOf(const char* name) {
    return *MixNameId(name);
}

TEST(PackCommand, NewArchiveThenANewVersionKeepingTheOtherEntries) {
    test::ScratchFolder dir;
    dir.Put("intro.vqa", test::Text("intro"));
    dir.Put("sub/Logo.Vqa", test::Text("logo"));
    test::CliRun r = dir.Run({"--pack", "GAME.MIX", "intro.vqa", "sub/Logo.Vqa"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Added \"intro.vqa\" as INTRO.VQA (id EBFD9604)\n"
              "Added \"sub/Logo.Vqa\" as LOGO.VQA (id " +
                  MixIdText(IdOf("LOGO.VQA")) +
                  ")\n"
                  "Wrote \"GAME.MIX\": 2 files, 9 bytes of data\n");
    EXPECT_EQ(Files(*dir.Get("GAME.MIX")),
              (std::map<uint32_t, Bytes>{{IdOf("INTRO.VQA"), test::Text("intro")},
                                         {IdOf("LOGO.VQA"), test::Text("logo")}}));

    // An archive of the game's with a file no name is known for, and slack after its data.
    dir.Put("GAME.MIX", synth::PackMix({{0x1234, test::Text("keep me")},
                                        {IdOf("INTRO.VQA"), test::Text("old intro")}},
                                       {false, 0, 5}));
    dir.Put("new/INTRO.VQA", test::Text("new intro"));
    r = dir.Run({"--pack", "GAME.MIX", "new/INTRO.VQA", "sub/Logo.Vqa"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "Replaced INTRO.VQA (id EBFD9604) with \"new/INTRO.VQA\"");
    EXPECT_EQ(Files(*dir.Get("GAME.MIX")),
              (std::map<uint32_t, Bytes>{{0x1234, test::Text("keep me")},
                                         {IdOf("INTRO.VQA"), test::Text("new intro")},
                                         {IdOf("LOGO.VQA"), test::Text("logo")}}));
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"GAME.MIX", "intro.vqa", "new", "sub"}));
}

// Each refusal names the file, changes nothing and leaves nothing behind.
TEST(PackCommand, RefusalsNameTheFileAndWriteNothing) {
    const Bytes two = synth::PackMix({{1, {'a'}}, {2, {'b'}}});
    const struct {
        const char* name;
        std::vector<std::string> args;
        Bytes archive;  // GAME.MIX before; empty: none
        const char* says;
    } cases[] = {
        {"longer_name",
         {"LONGNAME1.VQA"},
         {},
         "Cannot pack \"LONGNAME1.VQA\": a file name in an "
         "archive is an 8.3 name"},
        {"same_id",
         {"AAAAC.VQA", "BAAAA.VQA"},
         two,
         "Cannot pack into \"GAME.MIX\": \"AAAAC.VQA\" and \"BAAAA.VQA\" have the same id "
         "(A7B161CC); an archive cannot hold both"},
        {"missing", {"A.VQA", "GONE.VQA"}, {}, "Cannot pack \"GONE.VQA\": No such file"},
        {"folder", {"DIR"}, {}, "Cannot pack \"DIR\": it is not a regular file"},
        {"encrypted",
         {"A.VQA"},
         synth::PackMix({{1, {'a'}}}, {true, 2, 0}),
         "Cannot read \"GAME.MIX\": the archive's table of contents is encrypted"},
        {"later_layout",
         {"A.VQA"},
         synth::PackMix({{1, {'a'}}}, {true, 0, 0}),
         "Cannot pack into \"GAME.MIX\": it has the layout of a later game"},
        {"damaged",
         {"A.VQA"},
         test::Cut(two, two.size() - 1),
         "Cannot pack into \"GAME.MIX\": its table is damaged (entry 2 (id 00000002) lies past "
         "the end"},
        {"not_an_archive", {"A.VQA"}, test::Text("MIX"), "\"GAME.MIX\" is not a MIX archive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder dir;
        for (const char* f : {"A.VQA", "AAAAC.VQA", "BAAAA.VQA", "LONGNAME1.VQA", "DIR/X"}) {
            dir.Put(f, test::Text(f));
        }
        if (!c.archive.empty()) dir.Put("GAME.MIX", c.archive);
        const auto before = dir.Listing();
        std::vector<std::string> args{"--pack", "GAME.MIX"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::CliRun r = dir.Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find(std::string("reelwright-cli: ") + c.says), 0u) << r.err;
        EXPECT_NE(r.err.find("; nothing was written\n"), std::string::npos) << r.err;
        EXPECT_EQ(dir.Listing(), before);
        if (!c.archive.empty()) {
            EXPECT_EQ(dir.Get("GAME.MIX"), c.archive);
        }
    }
}

}  // namespace
}  // namespace rw
