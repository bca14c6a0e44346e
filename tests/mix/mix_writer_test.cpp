// Writing MIX archives: the table and data of a golden archive, the refusals made before anything
// is written, failures while writing, and the file on disk replaced only by a complete archive.
#include "mix/mix_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"
#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Members whose bytes are held in memory, by name.
struct InMemory {
    std::map<std::string, Bytes> bytes;
    std::vector<MixMember> members;

    void Add(const std::string& name, uint32_t id, Bytes content, int64_t length = -1) {
        members.push_back(
            {name, id, length < 0 ? static_cast<int64_t>(content.size()) : length, {}, 0});
        bytes[name] = std::move(content);
    }
    MixMemberOpener Opener() const {
        return [this](const MixMember& m) -> Expected<std::unique_ptr<InputFile>> {
            return std::unique_ptr<InputFile>(
                std::make_unique<MemoryInputFile>(bytes.at(m.name), m.name));
        };
    }
};

TEST(MixWriter, TableSortedBySignedIdAndFilesInTheOrderGiven) {
    InMemory files;
    files.Add("A", 0x00000041u, test::Text("xy"));
    files.Add("INTRO.VQA", 0xEBFD9604u, test::Text("z"));
    files.Add("EMPTY", 0x12345678u, {});
    MemoryOutputFile out;
    ASSERT_TRUE(WriteMixArchive(out, files.members, files.Opener()).ok());
    EXPECT_EQ(out.Data(), test::Hex("0300 03000000"
                                    "0496FDEB 02000000 01000000"
                                    "41000000 00000000 02000000"
                                    "78563412 03000000 00000000"
                                    "78797A"));
}

TEST(MixWriter, RefusesOrFailsNamingTheFile) {
    const struct {
        const char* name;
        void (*build)(InMemory&);
        int64_t failAfter;
        const char* says;
        size_t written;  // bytes written before the failure
    } cases[] = {
        {"same_id",
         [](InMemory& m) {
             m.Add("AAAAC.VQA", 7, {1});
             m.Add("X", 8, {2});
             m.Add("BAAAA.VQA", 7, {3});
         },
         -1,
         "\"AAAAC.VQA\" and \"BAAAA.VQA\" have the same id (00000007); an archive cannot "
         "hold both",
         0},
        {"no_file", [](InMemory&) {}, -1, "an archive holds at least one file", 0},
        {"too_many_files",
         [](InMemory& m) {
             for (uint32_t i = 0; i <= kMaxMixFiles; ++i) m.members.push_back({"F", i, 0, {}, 0});
         },
         -1, "an archive holds at most 65535 files, not 65536", 0},
        {"data_past_32_bits",
         [](InMemory& m) {
             m.Add("BIG1", 1, {}, 3'000'000'000);
             m.Add("BIG2", 2, {}, 3'000'000'000);
         },
         -1, "\"BIG2\" takes the files past 4294967295 bytes, the most an archive holds", 0},
        {"source_shorter_than_its_length",
         [](InMemory& m) {
             m.Add("SHORT.VQA", 1, {1, 2, 3}, 5);
         },
         -1, "Cannot pack \"SHORT.VQA\": it holds 3 bytes instead of 5 (was it changed?)", 21},
        {"disk_full", [](InMemory& m) { m.Add("A.VQA", 1, Bytes(100, 1)); }, 50,
         "Cannot write \"out\": No space left on device", 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InMemory files;
        c.build(files);
        MemoryOutputFile out("out", c.failAfter);
        auto r = WriteMixArchive(out, files.members, files.Opener());
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().message, c.says);
        EXPECT_EQ(out.Data().size(), c.written);
    }
}

class MixArchiveFile : public testing::Test {
  protected:
    MixMember OnDisk(const std::string& name, uint32_t id, Bytes content) {
        m_dir.Put(name, content);
        return {name, id, static_cast<int64_t>(content.size()), m_dir / name, 0};
    }
    test::ScratchFolder m_dir;
    const fs::path m_archive = m_dir / "GAME.MIX";
};

TEST_F(MixArchiveFile, ReplacesTheArchiveKeepingItsPermissions) {
    m_dir.Put("GAME.MIX", test::Text("old"));
    fs::permissions(m_archive, fs::perms(0640));
    const MixMember members[] = {OnDisk("A", 0x41, test::Text("new"))};
    ASSERT_TRUE(WriteMixArchiveFile(m_archive, members).ok());
    EXPECT_EQ(m_dir.Get("GAME.MIX"), test::Hex("0100 03000000 41000000 00000000 03000000 6E6577"));
    EXPECT_EQ(fs::status(m_archive).permissions(), fs::perms(0640));
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"A", "GAME.MIX"}));
}

// A failure or a cancel leaves the archive as it was and nothing else behind; a link in the
// archive's place is replaced itself, never written through.
TEST_F(MixArchiveFile, FailuresAndCancelsLeaveTheOldArchiveAndLinksAreNotFollowed) {
    m_dir.Put("GAME.MIX", test::Text("old"));
    MixMember missing = OnDisk("GONE.VQA", 2, test::Text("gone"));
    fs::remove(missing.file);
    const MixMember failing[] = {OnDisk("A", 1, test::Text("a")), missing};
    auto r = WriteMixArchiveFile(m_archive, failing);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("GONE.VQA"), std::string::npos) << r.error().message;
    EXPECT_EQ(m_dir.Get("GAME.MIX"), test::Text("old"));
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"A", "GAME.MIX"}));

    // Stopped part-way: the same.
    struct StopAfterFirstChunk final : MixWriteObserver {
        void OnProgress(int64_t done, int64_t) override { stop = done > 0; }
        bool CancelRequested() override { return stop; }
        bool stop = false;
    } stopper;
    const MixMember big[] = {OnDisk("BIG", 4, Bytes(3 << 20, 7))};
    r = WriteMixArchiveFile(m_archive, big, &stopper);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "interrupted");
    EXPECT_EQ(m_dir.Get("GAME.MIX"), test::Text("old"));
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"A", "BIG", "GAME.MIX"}));

    fs::create_symlink("GAME.MIX", m_dir / "LINK.MIX");
    const MixMember one[] = {OnDisk("B", 3, test::Text("b"))};
    ASSERT_TRUE(WriteMixArchiveFile(m_dir / "LINK.MIX", one).ok());
    EXPECT_FALSE(fs::is_symlink(m_dir / "LINK.MIX"));
    EXPECT_EQ(m_dir.Get("GAME.MIX"), test::Text("old"));
}

}  // namespace
}  // namespace rw
