// A byte range of a disk file opened as a file of its own (a video inside an archive): positions
// count from the range's start and nothing outside it is ever read.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "tests/support/scratch_folder.h"

namespace rw {
namespace {

using Bytes = std::vector<uint8_t>;

class FileRange : public testing::Test {
  protected:
    void SetUp() override {
        // 100 bytes before the range, 150000 in it (more than a read buffer), 300 after.
        for (size_t i = 0; i < 150400; ++i) m_all.push_back(static_cast<uint8_t>(i * 13 + i / 251));
        m_dir.Put("archive.bin", m_all);
        ASSERT_TRUE(
            m_file.OpenRange(m_dir / "archive.bin", 100, 150000, "archive.bin entry 2").ok());
    }
    Bytes Expected(int64_t at, size_t n) const {
        return Bytes(m_all.begin() + 100 + at, m_all.begin() + 100 + at + static_cast<int64_t>(n));
    }

    test::ScratchFolder m_dir;
    Bytes m_all;
    DiskInputFile m_file;
};

TEST_F(FileRange, ReadsOnlyTheRangeInSmallAndLargeReads) {
    EXPECT_EQ(*m_file.Length(), 150000);
    for (auto [at, size] : {std::pair<int64_t, size_t>{0, 9},
                            {149995, 9},
                            {70000, 100000},
                            {10, 149990},
                            {65535, 3}}) {
        ASSERT_TRUE(m_file.Seek(at).ok());
        Bytes got(size);
        auto n = m_file.Read(got);
        ASSERT_TRUE(n.ok());
        const size_t expected = std::min<size_t>(size, static_cast<size_t>(150000 - at));
        ASSERT_EQ(*n, expected) << at;
        got.resize(expected);
        EXPECT_EQ(got, Expected(at, expected)) << at;
        EXPECT_EQ(m_file.Position(), at + static_cast<int64_t>(expected));
    }
    ASSERT_TRUE(m_file.Seek(160000).ok());
    Bytes got(10);
    EXPECT_EQ(*m_file.Read(got), 0u);
    auto negative = m_file.Seek(-1);
    ASSERT_FALSE(negative.ok());
    EXPECT_NE(negative.error().message.find("archive.bin entry 2"), std::string::npos);
}

TEST_F(FileRange, AFileThatShrankEndsEarlierAndInvalidRangesAreRefused) {
    std::filesystem::resize_file(m_dir / "archive.bin", 1100);
    EXPECT_EQ(*m_file.Length(), 1000);
    ASSERT_TRUE(m_file.Seek(999).ok());
    Bytes got(2);
    auto exact = m_file.ReadExact(got);
    ASSERT_FALSE(exact.ok());
    EXPECT_NE(exact.error().message.find("\"archive.bin entry 2\" ends early"), std::string::npos)
        << exact.error().message;
    DiskInputFile other;
    for (auto [offset, length] : {std::pair<int64_t, int64_t>{-1, 5}, {0, -1}, {INT64_MAX, 1}}) {
        auto r = other.OpenRange(m_dir / "archive.bin", offset, length, "x entry 1");
        ASSERT_FALSE(r.ok());
        EXPECT_NE(r.error().message.find("\"x entry 1\""), std::string::npos);
    }
}

}  // namespace
}  // namespace rw
