// Where the programs look for their run-time files, and which file a name finds.
#include "platform/data_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

TEST(DataSearchPathFor, OwnFolderThenRelativeDataThenInstalledData) {
    struct Case {
        const char* what;
        fs::path executable;
        DataLayout layout;
        Paths expected;
    };
    const Case cases[] = {
        {"installed under /usr", "/usr/bin/reelwright",
         {"../share/reelwright", "/usr/share/reelwright"}, {"/usr/bin", "/usr/share/reelwright"}},
        {"copied to another prefix", "/opt/rw/bin/reelwright",
         {"../share/reelwright", "/usr/local/share/reelwright"},
         {"/opt/rw/bin", "/opt/rw/share/reelwright", "/usr/local/share/reelwright"}},
        {"no relative layout", "/p/bin/reelwright", {"", "/srv/rw"}, {"/p/bin", "/srv/rw"}},
        {"absolute layout is not joined", "/p/bin/reelwright", {"/elsewhere", "/srv/rw"},
         {"/p/bin", "/srv/rw"}},
        {"executable unknown", "", {"../share/reelwright", "/usr/share/reelwright"},
         {"/usr/share/reelwright"}},
        {"data beside the executable", "/p/reelwright", {".", "/p/"}, {"/p"}},
        {"unnormalised installed folder", "/usr/bin/reelwright",
         {"../share/reelwright", "/usr/./share/x/../reelwright/"},
         {"/usr/bin", "/usr/share/reelwright"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DataSearchPathFor(c.executable, c.layout), c.expected) << c.what;
    }
}

TEST(DataSearchPath, RunningExecutablesFolderFirstInstalledFolderLast) {
    const Paths folders = DataSearchPath();
    ASSERT_FALSE(folders.empty());
    const fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(folders.front(), self.parent_path().lexically_normal());
    EXPECT_TRUE(ConfiguredDataLayout().installed.is_absolute());
    EXPECT_EQ(folders.back(), ConfiguredDataLayout().installed.lexically_normal());
    EXPECT_EQ(FindDataFile(self.filename().string()), self.parent_path() / self.filename());
    EXPECT_TRUE(FindDataFile("no-such-file-in-any-data-folder.wav").empty());
}

TEST(FindDataFileIn, FirstFolderHoldingAFileWinsAndNamesStayInside) {
    const test::ScratchFolder dir;
    const Paths folders = {dir / "first", dir / "second", dir / "third"};
    fs::create_directories(dir / "first/intro.wav");  // a folder of that name is not a match
    dir.Put("second/intro.wav", {1});
    dir.Put("third/intro.wav", {1});
    dir.Put("secret.wav", {1});
    dir.Put("second/sub/inner.wav", {1});
    EXPECT_EQ(FindDataFileIn("intro.wav", folders), dir / "second/intro.wav");
    EXPECT_EQ(FindDataFileIn("intro.wav", {dir / "missing", dir / "third"}), dir / "third/intro.wav");
    EXPECT_TRUE(FindDataFileIn("intro.wav", {}).empty());

    const std::pair<std::string, bool> names[] = {
        {"", false},         {"../secret.wav", false}, {"sub/../../secret.wav", false},
        {"sub/../inner.wav", false}, {"sub/", false},  {".", false},
        {(dir / "secret.wav").string(), false},        {"other.wav", false},
        {"sub/inner.wav", true},     {"./sub/inner.wav", true},
    };
    for (const auto& [name, found] : names) {
        EXPECT_EQ(!FindDataFileIn(name, folders).empty(), found) << '"' << name << '"';
    }
}

}  // namespace
}  // namespace rw
