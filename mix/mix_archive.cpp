#include "mix/mix_archive.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/byte_reader.h"
#include "platform/file_names.h"

namespace rw {
namespace {

constexpr uint16_t kFlagEncrypted = 0x0002;

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

std::string Describe(const MixEntry& e) {
    return "entry " + std::to_string(e.number) + " (id " + MixIdText(e.id) + ")";
}

struct Header {
    MixTable::Layout layout = MixTable::Layout::Classic;
    uint32_t count = 0;
    size_t tableEnd = 0;  // where the data area starts
};

Expected<Header> ReadHeader(ByteReader& r, int64_t archiveSize, const std::string& name) {
    const std::string ends = Quoted(name) + " is not a MIX archive: it ends inside its header";
    Header h;
    auto first = r.U16Le();
    if (!first) return Error{ends};
    uint16_t count = *first;
    if (count == 0) {
        // A zero count marks the later layout: a flags word, then the classic header.
        auto flags = r.U16Le();
        auto later = r.U16Le();
        if (!flags || !later) return Error{ends};
        if ((*flags & kFlagEncrypted) != 0) {
            return Error{"Cannot read " + Quoted(name) +
                         ": the archive's table of contents is encrypted; extract its files "
                         "with an archive tool first"};
        }
        h.layout = MixTable::Layout::Extended;
        count = *later;
    }
    if (!r.U32Le()) return Error{ends};  // the data area's size: not needed to find the files
    h.count = count;
    h.tableEnd = r.Position() + 12 * size_t{count};
    if (static_cast<int64_t>(h.tableEnd) > archiveSize || h.tableEnd > r.Size()) {
        return Error{Quoted(name) + " is not a MIX archive: its table of " + std::to_string(count) +
                     " entries runs past the end of the file (" + std::to_string(archiveSize) +
                     " bytes)"};
    }
    return h;
}

// Leaves out the entries whose bytes overlap another entry's: which of them holds the right bytes
// cannot be told. Empty entries overlap nothing.
void DropOverlaps(std::vector<MixEntry>& entries, std::vector<std::string>& skipped) {
    std::vector<size_t> order;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].length > 0) order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return entries[a].offset < entries[b].offset; });
    std::vector<bool> overlaps(entries.size(), false);
    // Entries sorted by offset fall into runs where each starts before the furthest end so far;
    // every member of a run of two or more overlaps another member.
    size_t runStart = 0;
    int64_t runEnd = -1;
    auto closeRun = [&](size_t end) {
        if (end - runStart > 1) {
            for (size_t k = runStart; k < end; ++k) overlaps[order[k]] = true;
        }
    };
    size_t k = 0;
    for (; k < order.size(); ++k) {
        const MixEntry& e = entries[order[k]];
        if (e.offset >= runEnd) {
            closeRun(k);
            runStart = k;
        }
        runEnd = std::max(runEnd, e.offset + e.length);
    }
    closeRun(k);
    std::vector<MixEntry> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!overlaps[i]) {
            kept.push_back(entries[i]);
        } else {
            skipped.push_back(Describe(entries[i]) + " overlaps another entry; skipped");
        }
    }
    entries = std::move(kept);
}

}  // namespace

Expected<MixTable> ParseMixTable(std::span<const uint8_t> start, int64_t archiveSize,
                                 const std::string& name) {
    ByteReader r(start.first(std::min(start.size(), kMaxMixTableBytes)));
    auto header = ReadHeader(r, archiveSize, name);
    if (!header) return header.error();
    MixTable table;
    table.layout = header->layout;
    table.declaredEntries = header->count;
    const int64_t dataStart = static_cast<int64_t>(header->tableEnd);
    table.entries.reserve(header->count);  // checked against the file's size above
    for (uint32_t i = 0; i < header->count; ++i) {
        MixEntry e;
        e.number = i + 1;
        e.id = *r.U32Le();
        const uint32_t offset = *r.U32Le();
        const uint32_t length = *r.U32Le();
        e.offset = dataStart + offset;  // at most 2^32 + 786430: no overflow in 64 bits
        e.length = length;
        if (e.offset > archiveSize || e.length > archiveSize - e.offset) {
            table.skipped.push_back(Describe(e) + " lies past the end of the archive (offset " +
                                    std::to_string(offset) + ", length " + std::to_string(length) +
                                    "); skipped");
            continue;
        }
        table.entries.push_back(e);
    }
    DropOverlaps(table.entries, table.skipped);
    return table;
}

Expected<MixTable> ReadMixTable(InputFile& file) {
    auto size = file.Length();
    if (!size) return size.error();
    std::vector<uint8_t> start(
        static_cast<size_t>(std::min<int64_t>(*size, static_cast<int64_t>(kMaxMixTableBytes))));
    if (auto r = file.Seek(0); !r) return r.error();
    auto got = file.Read(start);
    if (!got) return got.error();
    start.resize(*got);
    return ParseMixTable(start, *size, file.Name());
}

bool HasMixExtension(const std::filesystem::path& path) {
    return HasFileExtension(path, ".mix");
}

std::string MixEntryNumberText(const MixEntry& entry) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u", entry.number);
    return text;
}

std::string MixIdText(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", id);
    return text;
}

}  // namespace rw
