#include "platform/data_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace rw {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

// ---------------------------------------------------------------------------------------------
// Search order

struct SearchCase {
    const char* what;
    fs::path executable;
    DataLayout layout;
    Paths expected;
};

TEST(DataSearchPathFor, OwnFolderThenRelativeDataThenInstalledData) {
    const std::vector<SearchCase> cases = {
        {"installed under /usr",
         "/usr/bin/reelwright",
         {"../share/reelwright", "/usr/share/reelwright"},
         {"/usr/bin", "/usr/share/reelwright"}},
        {"copied to another prefix",
         "/opt/rw/bin/reelwright",
         {"../share/reelwright", "/usr/local/share/reelwright"},
         {"/opt/rw/bin", "/opt/rw/share/reelwright", "/usr/local/share/reelwright"}},
        {"build tree",
         "/work/build/bin/reelwright",
         {"../share/reelwright", "/usr/local/share/reelwright"},
         {"/work/build/bin", "/work/build/share/reelwright", "/usr/local/share/reelwright"}},
        {"deeper data folder",
         "/p/bin/reelwright",
         {"../lib/data/reelwright", "/usr/lib/data/reelwright"},
         {"/p/bin", "/p/lib/data/reelwright", "/usr/lib/data/reelwright"}},
        {"no relative layout", "/p/bin/reelwright", {"", "/srv/rw"}, {"/p/bin", "/srv/rw"}},
        {"absolute layout is not joined",
         "/p/bin/reelwright",
         {"/elsewhere", "/srv/rw"},
         {"/p/bin", "/srv/rw"}},
        {"executable unknown",
         "",
         {"../share/reelwright", "/usr/share/reelwright"},
         {"/usr/share/reelwright"}},
        {"data beside the executable", "/p/reelwright", {".", "/p/"}, {"/p"}},
        {"unnormalised installed folder",
         "/usr/bin/reelwright",
         {"../share/reelwright", "/usr/./share/x/../reelwright/"},
         {"/usr/bin", "/usr/share/reelwright"}},
    };
    for (const SearchCase& c : cases) {
        EXPECT_EQ(DataSearchPathFor(c.executable, c.layout), c.expected) << c.what;
    }
}

TEST(DataSearchPath, StartsWithTheRunningExecutablesFolder) {
    const Paths folders = DataSearchPath();
    ASSERT_FALSE(folders.empty());
    const fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(folders.front(), self.parent_path().lexically_normal());
    const DataLayout layout = ConfiguredDataLayout();
    EXPECT_FALSE(layout.installed.empty());
    EXPECT_TRUE(layout.installed.is_absolute()) << layout.installed;
    EXPECT_EQ(folders.back(), layout.installed.lexically_normal());
}

// ---------------------------------------------------------------------------------------------
// Finding a file

class FindDataFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
                 ("rw_data_paths_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        for (const char* d : {"first", "second", "third"}) fs::create_directories(m_root / d);
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path Touch(const fs::path& relative) {
        const fs::path p = m_root / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        return p;
    }
    Paths Folders() const { return {m_root / "first", m_root / "second", m_root / "third"}; }

    fs::path m_root;
};

TEST_F(FindDataFileTest, FirstFolderHoldingTheFileWins) {
    Touch("second/intro.wav");
    const fs::path third = Touch("third/intro.wav");
    EXPECT_EQ(FindDataFileIn("intro.wav", Folders()), m_root / "second/intro.wav");
    const fs::path first = Touch("first/intro.wav");
    EXPECT_EQ(FindDataFileIn("intro.wav", Folders()), first);
    EXPECT_EQ(FindDataFileIn("intro.wav", {m_root / "missing", m_root / "third"}), third);
}

TEST_F(FindDataFileTest, FoldersAndMissingFilesAreNotMatches) {
    fs::create_directories(m_root / "first/intro.wav");  // a folder of that name
    const fs::path file = Touch("third/intro.wav");
    EXPECT_EQ(FindDataFileIn("intro.wav", Folders()), file);
    EXPECT_TRUE(FindDataFileIn("other.wav", Folders()).empty());
    EXPECT_TRUE(FindDataFileIn("intro.wav", {}).empty());
}

TEST_F(FindDataFileTest, NamesThatLeaveTheFolderFindNothing) {
    const fs::path outside = Touch("secret.wav");
    Touch("second/sub/inner.wav");
    struct NameCase {
        const char* name;
        bool found;
    };
    const std::vector<NameCase> cases = {
        {"", false},
        {"../secret.wav", false},
        {"sub/../../secret.wav", false},
        {"sub/../inner.wav", false},
        {"sub/", false},
        {".", false},
        {"sub/inner.wav", true},
        {"./sub/inner.wav", true},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(!FindDataFileIn(c.name, Folders()).empty(), c.found) << '"' << c.name << '"';
    }
    EXPECT_TRUE(FindDataFileIn(outside.string(), Folders()).empty()) << "absolute name";
}

TEST(FindDataFile, FindsAFileBesideTheRunningExecutable) {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(FindDataFile(self.filename().string()), self.parent_path() / self.filename());
    EXPECT_TRUE(FindDataFile("no-such-file-in-any-data-folder.wav").empty());
}

}  // namespace
}  // namespace rw
