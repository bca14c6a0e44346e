// Names in MIX archives: the id of a name, which names can be stored, and lists of candidate names.
#include "mix/mix_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace rw {
namespace {

TEST(MixNameId, WorkedExamplesAndNamesWithoutAnId) {
    const struct {
        const char* name;
        std::optional<uint32_t> id;
    } cases[] = {
        {"A", 0x00000041u},          // one step
        {"INTRO.VQA", 0xEBFD9604u},  // three steps
        {"intro.vqa", 0xEBFD9604u},  // written in capitals first
        {"", std::nullopt},
        {"ABCDEFGHI.VQA", std::nullopt},  // 13 characters
        {"\xC3\x89T\xC3\x89.VQA", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MixNameId(c.name), c.id) << c.name;
    }
}

// The rule stops at the first group of four starting with a zero byte, so names that differ only
// past it, or whose groups sum the same, share an id.
TEST(MixNameId, DifferentNamesCanShareAnId) {
    EXPECT_EQ(MixNameId("AAAAC.VQA"), MixNameId("BAAAA.VQA"));
    EXPECT_NE(MixNameId("AAAAC.VQA"), MixNameId("AAAAB.VQA"));
}

TEST(MixFileName, EightThreeNamesInAnyCaseOnly) {
    const struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"INTRO.VQA", true},   {"intro.vqa", true},
        {"A", true},           {"12345678.ABC", true},
        {"X_1-2!.V", true},    {"123456789.VQA", false},
        {"INTRO.VQAX", false}, {".VQA", false},
        {"INTRO.", false},     {"A.B.C", false},
        {"IN TRO.VQA", false}, {"A/B.VQA", false},
        {"A\\B", false},       {"\xC3\x89T\xC3\x89", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MixFileNameProblem(c.name).empty(), c.ok) << c.name;
    }
}

TEST(MixNameList, NamesByIdWithTheLinesLeftOut) {
    const MixNameList list = ParseMixNameList(
        "\xEF\xBB\xBF# the movies\n"  // a byte-order mark first, as some editors write
        "  INTRO.VQA \r\n"
        "\n"
        "AAAAC.VQA\n"
        "intro.vqa\n"        // the same name again: nothing to say
        "BAAAA.VQA\n"        // the id of AAAAC.VQA
        "LONGER_NAME.VQA\n"  // not an 8.3 name
        "../../ETC/X\n"      // not a file name
        "a",                 // the last line needs no line end
        "names.txt");
    EXPECT_EQ(list.names.Size(), 3u);
    ASSERT_NE(list.names.Find(0xEBFD9604u), nullptr);
    EXPECT_EQ(*list.names.Find(0xEBFD9604u), "INTRO.VQA");
    EXPECT_EQ(*list.names.Find(*MixNameId("BAAAA.VQA")), "AAAAC.VQA");
    EXPECT_EQ(*list.names.Find(0x41u), "a");
    EXPECT_EQ(list.names.Find(0x42u), nullptr);
    std::string problems;
    for (const std::string& p : list.problems) problems += p + "\n";
    EXPECT_EQ(problems,
              "\"names.txt\" line 6: \"BAAAA.VQA\" left out: it has the same id as "
              "\"AAAAC.VQA\"\n"
              "\"names.txt\" line 7: \"LONGER_NAME.VQA\" left out: a file name in an archive is "
              "an 8.3 name (up to eight characters, a dot and up to three more)\n"
              "\"names.txt\" line 8: \"../../ETC/X\" left out: a file name in an archive holds "
              "only ASCII letters, digits and punctuation\n");
}

TEST(MixNameList, AMissingListIsAnErrorNamingIt) {
    auto list = ReadMixNameList("/nonexistent/names.txt");
    ASSERT_FALSE(list.ok());
    EXPECT_NE(list.error().message.find("/nonexistent/names.txt"), std::string::npos)
        << list.error().message;
}

}  // namespace
}  // namespace rw
