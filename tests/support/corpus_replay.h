// Replays a fuzz target's checked-in corpus as an ordinary test: the target's entry point is
// linked into the test and called on every file of fuzz/corpus/<target>/.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace rw::test {

// Runs every corpus file through the target (which aborts on a fault); returns how many ran.
inline size_t ReplayCorpus(const char* target) {
    const std::filesystem::path dir = std::filesystem::path(RW_SOURCE_DIR) / "fuzz/corpus" / target;
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        auto bytes = ReadWholeFile(entry.path());
        EXPECT_TRUE(bytes.ok()) << entry.path();
        if (!bytes) continue;
        SCOPED_TRACE(entry.path().string());
        LLVMFuzzerTestOneInput(bytes->data(), bytes->size());
        ++count;
    }
    return count;
}

}  // namespace rw::test
