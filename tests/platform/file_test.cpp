#include "platform/file.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace rw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return b;
}

// A path in a folder of the running test's own: ctest runs tests side by side.
std::filesystem::path TestPath(const std::string& name) {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string folder = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : folder) {
        if (c == '/') c = '_';
    }
    auto dir = std::filesystem::path(RW_BINARY_DIR) / "file_test" / folder;
    std::filesystem::create_directories(dir);
    return dir / name;
}

// (Reading across buffers, short reads at the end and seeks are tested on a byte range, the
// same reader.)
TEST(DiskInputFile, OpenFailuresNameTheFileAndReason) {
    DiskInputFile file;
    auto missing = file.Open(TestPath("no-such-file.bin"));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("no-such-file.bin"), std::string::npos);
    EXPECT_NE(missing.error().message.find("No such file"), std::string::npos);
    auto directory = file.Open(TestPath("x").parent_path());
    ASSERT_FALSE(directory.ok());
    EXPECT_NE(directory.error().message.find("directory"), std::string::npos)
        << directory.error().message;
    EXPECT_FALSE(file.IsOpen());
}

// Bytes land in order through the write buffer: many full buffers, a write larger than the
// buffer in between, rooms filled in place (inside the buffer, as large as it
// offers, larger than that, and given up unkept), zeros, and a file abandoned half way and created
// again.
TEST(DiskOutputFile, BufferedBytesLandInOrder) {
    auto path = TestPath("handover.bin");
    // Positive: a Write of that many bytes; negative: a room of that many bytes, filled and kept.
    // kGivenUp: a room filled with other bytes and never kept.
    constexpr int64_t kGivenUp = 0;
    struct Case {
        const char* name;
        size_t buffer;
        std::vector<int64_t> ops;
    };
    const Case cases[] = {
        {"exact buffers", 4096, {4096, 4096, 4096, 4096}},
        {"odd pieces across buffers", 4096, {1000, 3000, 97, 4095, 1, 2, 8191, 333, 5000, 12}},
        {"large write between small ones", 4096, {10, 70000, 10, 4090, 7, 100000, 3}},
        {"rooms between writes",
         16384,
         {-1000, 3000, -16384, -5000, 97, kGivenUp, -1, -16385, 333, kGivenUp, 70000, -7}},
    };
    for (const Case& c : cases) {
        DiskOutputFile out;
        // A first attempt that is abandoned: none of its bytes may survive the new Create.
        ASSERT_TRUE(out.Create(path, c.buffer).ok()) << c.name;
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(out.Write(Counting(3000)).ok()) << c.name;
        out.Abandon();

        ASSERT_TRUE(out.Create(path, c.buffer).ok()) << c.name;
        Bytes expected;
        for (size_t round = 0; round < 20; ++round) {
            for (int64_t op : c.ops) {
                const size_t n = static_cast<size_t>(op < 0 ? -op : op == kGivenUp ? 6000 : op);
                Bytes chunk = Counting(n + round);
                if (op > 0) {
                    ASSERT_TRUE(out.Write(chunk).ok()) << c.name;
                } else {
                    auto room = out.Reserve(chunk.size());
                    ASSERT_TRUE(room.ok()) << c.name;
                    ASSERT_EQ(room->size(), chunk.size()) << c.name;
                    if (op == kGivenUp) {
                        std::fill(room->begin(), room->end(), uint8_t{0xEE});
                        continue;
                    }
                    std::copy(chunk.begin(), chunk.end(), room->begin());
                    ASSERT_TRUE(out.CommitReserved(chunk.size()).ok()) << c.name;
                }
                expected.insert(expected.end(), chunk.begin(), chunk.end());
                ASSERT_EQ(out.Position(), static_cast<int64_t>(expected.size())) << c.name;
            }
        }
        ASSERT_TRUE(out.WriteZeros(9000).ok());
        expected.insert(expected.end(), 9000, 0);
        EXPECT_EQ(out.Position(), static_cast<int64_t>(expected.size())) << c.name;
        ASSERT_TRUE(out.Close().ok()) << c.name;
        auto back = ReadWholeFile(path);
        ASSERT_TRUE(back.ok()) << c.name;
        EXPECT_EQ(*back, expected) << c.name;
    }
}

// A failed write stops the file: every later Write reports it, and so does Close.
TEST(DiskOutputFile, FailedWriteIsReportedByEveryLaterCall) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    DiskOutputFile out;
    ASSERT_TRUE(out.Create("/dev/full", 4096).ok());
    int first = -1;
    for (int i = 0; i < 100; ++i) {
        const bool failed = !out.Write(Bytes(1000, 1)).ok();
        if (first < 0 && failed) first = i;
        EXPECT_TRUE(first < 0 || failed) << "write " << i << " after a failure";
    }
    EXPECT_GE(first, 0);
    auto closed = out.Close();
    ASSERT_FALSE(closed.ok());
    EXPECT_NE(closed.error().message.find("/dev/full"), std::string::npos)
        << closed.error().message;
    EXPECT_FALSE(out.IsOpen());
}

}  // namespace
}  // namespace rw
