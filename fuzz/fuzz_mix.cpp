// The table of contents of a MIX archive: whatever the bytes, the entries kept lie inside the
// archive and overlap no other, and the headers of the files they point at are read in place.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "mix/mix_archive.h"
#include "vqa/vqa_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const int64_t archiveSize = static_cast<int64_t>(size);
    auto table = rw::ParseMixTable(bytes, archiveSize, "fuzz.mix");
    if (!table) {
        if (table.error().message.empty()) std::abort();
        return 0;
    }
    if (table->entries.size() + table->skipped.size() < table->declaredEntries) std::abort();
    std::vector<rw::MixEntry> byOffset = table->entries;
    std::sort(byOffset.begin(), byOffset.end(),
              [](const rw::MixEntry& a, const rw::MixEntry& b) { return a.offset < b.offset; });
    int64_t end = 0;
    for (const rw::MixEntry& e : byOffset) {
        if (e.number < 1 || e.number > table->declaredEntries) std::abort();
        if (e.offset < 0 || e.length < 0 || e.offset + e.length > archiveSize) std::abort();
        if (e.length > 0 && e.offset < end) std::abort();  // overlaps an earlier entry
        end = std::max(end, e.offset + e.length);
        const auto entryBytes =
            bytes.subspan(static_cast<size_t>(e.offset), static_cast<size_t>(e.length));
        (void)rw::ReadVqaHeader(entryBytes);
    }
    return 0;
}
