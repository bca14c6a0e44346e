// The table of contents of MIX archives: both layouts, the encrypted one refused, and damaged
// tables whose bad entries are reported and left out while the others stay usable.
#include "mix/mix_archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

using synth::MixFile;
using synth::MixPackOptions;

// Three files of 10, 0 and 7 bytes, ids chosen so the table's order (signed) differs from theirs.
std::vector<MixFile> ThreeFiles() {
    return {{0x80000001u, test::Bytes(10, 1)}, {0x00000005u, {}}, {0x7FFFFFFFu, test::Bytes(7, 2)}};
}

Expected<MixTable> Parse(const std::vector<uint8_t>& archive) {
    return ParseMixTable(archive, static_cast<int64_t>(archive.size()), "T.MIX");
}

TEST(MixTable, BothLayoutsGiveEveryFileAtItsPlace) {
    const std::vector<MixFile> files = ThreeFiles();
    using enum MixTable::Layout;
    for (const auto& [options, layout] :
         {std::pair{MixPackOptions{}, Classic}, std::pair{MixPackOptions{false, 0, 9}, Classic},
          std::pair{MixPackOptions{true, 0, 0}, Extended},
          std::pair{MixPackOptions{true, 1, 0}, Extended}}) {
        SCOPED_TRACE(std::to_string(options.extended) + " " + std::to_string(options.flags) + " " +
                     std::to_string(options.slack));
        const std::vector<uint8_t> archive = synth::PackMix(files, options);
        auto table = Parse(archive);
        ASSERT_TRUE(table.ok()) << table.error().message;
        EXPECT_EQ(table->layout, layout);
        EXPECT_EQ(table->declaredEntries, 3u);
        EXPECT_TRUE(table->skipped.empty());
        ASSERT_EQ(table->entries.size(), 3u);
        // The table is sorted by signed id; each entry's bytes are the file's.
        const uint32_t ids[] = {0x80000001u, 0x00000005u, 0x7FFFFFFFu};
        for (size_t i = 0; i < 3; ++i) {
            const MixEntry& e = table->entries[i];
            EXPECT_EQ(e.number, i + 1);
            EXPECT_EQ(e.id, ids[i]);
            const std::vector<uint8_t> at(archive.begin() + e.offset,
                                          archive.begin() + e.offset + e.length);
            EXPECT_EQ(at, files[i].bytes) << "entry " << e.number;
        }
    }
}

TEST(MixTable, RefusedWithAMessageNamingTheArchive) {
    for (const auto& [archive, says] :
         {std::pair{synth::PackMix(ThreeFiles(), {true, 2, 0}),
                    "table of contents is encrypted; extract its files with an archive tool first"},
          std::pair{std::vector<uint8_t>{2, 0, 17}, "ends inside its header"},
          std::pair{test::Cut(synth::PackMix(ThreeFiles()), 6 + 12 * 2),
                    "table of 3 entries runs past the end of the file (30 bytes)"},
          std::pair{std::vector<uint8_t>{0xFF, 0xFF, 0, 0, 0, 0, 1, 2, 3}, "65535 entries"}}) {
        auto table = Parse(archive);
        ASSERT_FALSE(table.ok()) << says;
        EXPECT_NE(table.error().message.find(std::string("\"T.MIX\"")), std::string::npos)
            << table.error().message;
        EXPECT_NE(table.error().message.find(says), std::string::npos) << table.error().message;
    }
}

// A damaged entry is left out with a line naming it; the rest of the table stays usable.
struct DamageCase {
    const char* name;
    size_t index;  // the entry changed (table order)
    int field;
    uint32_t value;
    const char* kept;  // numbers of the entries kept
    const char* says;  // the lines about the entries skipped
};

// The data area holds 17 bytes: entry 1 at 0..10, entry 2 empty at 10, entry 3 at 10..17.
TEST(MixTable, DamagedEntriesAreReportedAndSkipped) {
    const DamageCase cases[] = {
        {"length_past_the_end", 2, 2, 8, "12",
         "entry 3 (id 7FFFFFFF) lies past the end of the archive (offset 10, length 8); "
         "skipped\n"},
        {"offset_past_the_end", 0, 1, 0xFFFFFFF0u, "23",
         "entry 1 (id 80000001) lies past the end of the archive (offset 4294967280, "
         "length 10); skipped\n"},
        {"length_wraps_around", 2, 2, 0xFFFFFFFFu, "12",
         "entry 3 (id 7FFFFFFF) lies past the end of the archive (offset 10, length "
         "4294967295); skipped\n"},
        {"overlapping", 2, 1, 9, "2",
         "entry 1 (id 80000001) overlaps another entry; skipped\n"
         "entry 3 (id 7FFFFFFF) overlaps another entry; skipped\n"},
        {"empty_entry_inside_another", 1, 1, 3, "123", ""},
        {"touching_entries", 2, 2, 7, "123", ""},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> archive = synth::PackMix(ThreeFiles());
        // The table entry's field after the 6-byte header: 0 id, 1 offset, 2 length.
        test::PutLe(archive, 6 + 12 * c.index + 4 * static_cast<size_t>(c.field), c.value, 4);
        auto table = Parse(archive);
        ASSERT_TRUE(table.ok()) << table.error().message;
        std::string kept, says;
        for (const MixEntry& e : table->entries) kept += std::to_string(e.number);
        for (const std::string& line : table->skipped) says += line + "\n";
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(says, c.says);
    }
}

}  // namespace
}  // namespace rw
