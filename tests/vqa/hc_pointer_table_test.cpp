// High-colour pointer-table commands on a grid of 4 x 3 blocks.
#include "vqa/hc_pointer_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Hex;

constexpr int32_t K = kKeepBlock;

struct TableCase {
    const char* name;
    const char* table;             // hex
    std::vector<int32_t> entries;  // 12 blocks: 4 a row, 3 rows
    bool damaged = false;
    int32_t codebookEntries = 300;
};

std::vector<int32_t> RunTable(const TableCase& c, PointerTableResult& result) {
    std::vector<int32_t> entries(12, K);
    result = DecodePointerTable(Hex(c.table), c.codebookEntries, entries);
    return entries;
}

TEST(HighColourPointerTable, CommandsDrawInReadingOrder) {
    const TableCase cases[] = {
        // 000: skip 3; 011: entry 299 (0x12B) once.
        {"SkipThenDrawOnce", "03 00 2B 61", {K, K, K, 299, K, K, K, K, K, K, K, K}},
        // 001: entry 7, (1 + 1) * 2 = 4 times.
        {"RepeatLow8", "07 21", {7, 7, 7, 7, K, K, K, K, K, K, K, K}},
        // 010: entry 5, then (0 + 1) * 2 = 2 further entries, one byte each.
        {"List", "05 40 09 0A", {5, 9, 10, K, K, K, K, K, K, K, K, K}},
        // 101: entry 258 (0x102) N = 5 times.
        {"CountedRepeat", "02 A1 05", {258, 258, 258, 258, 258, K, K, K, K, K, K, K}},
        // Skip 3, then entry 2 four times: the last three go on at the start of the next row.
        {"CrossesARowEnd", "03 00 02 21", {K, K, K, 2, 2, 2, 2, K, K, K, K, K}},
        // Skips of 0 and repeats of N = 0 do nothing.
        {"ZeroCounts", "00 00 01 A0 00 01 60", {1, K, K, K, K, K, K, K, K, K, K, K}},
        // A table that ends before the last block keeps the rest, and is not damage.
        {"EndsEarly", "01 60", {1, K, K, K, K, K, K, K, K, K, K, K}},
        // Every block: skip 11, then one more.
        {"ReachesTheLastBlock", "0B 00 04 60", {K, K, K, K, K, K, K, K, K, K, K, 4}},
    };
    for (const TableCase& c : cases) {
        PointerTableResult result;
        EXPECT_EQ(RunTable(c, result), c.entries) << c.name;
        EXPECT_FALSE(result.damaged) << c.name << ": " << result.damage;
    }
}

// What was drawn before the damaged command stays; the command and everything after it keep
// their blocks.
TEST(HighColourPointerTable, DamageKeepsTheRestOfTheFrame) {
    const TableCase cases[] = {
        {"UnknownCommand100", "01 60 01 80 01 60", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"UnknownCommand110", "01 60 01 C0", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"UnknownCommand111", "01 E0", {K, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"RepeatPastTheLastBlock", "0B 00 07 20", {K, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"SkipPastTheLastBlock", "0D 00", {K, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"CountedRepeatPastTheEnd", "01 60 03 A0 0C", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"EntryPastTheCodebook", "01 60 2C 61", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"ListEntryPastTheCodebook",
         "01 60 02 40 03 0A",
         {1, K, K, K, K, K, K, K, K, K, K, K},
         true,
         10},
        {"EndsInsideAWord", "01 60 01", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"EndsBeforeTheCount", "01 60 01 A0", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"EndsInsideAList", "01 60 02 40 03", {1, K, K, K, K, K, K, K, K, K, K, K}, true},
        {"NoCodebook", "00 60", {K, K, K, K, K, K, K, K, K, K, K, K}, true, 0},
    };
    for (const TableCase& c : cases) {
        PointerTableResult result;
        EXPECT_EQ(RunTable(c, result), c.entries) << c.name;
        EXPECT_TRUE(result.damaged) << c.name;
        EXPECT_NE(result.damage.find("pointer table damaged at byte "), std::string::npos)
            << c.name << ": " << result.damage;
    }
}

}  // namespace
}  // namespace rw
