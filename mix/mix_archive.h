// The table of contents of a MIX archive, the game's container of packed files. An archive holds no
// names, only a 32-bit id per file; the files are stored back to back after the table. Nothing in
// the table is trusted: every entry is checked against the archive's real size, and entries that
// lie outside it or overlap another are reported and left out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

struct MixEntry {
    uint32_t number = 0;  // position in the table, counted from 1
    uint32_t id = 0;      // the id of the file's name
    int64_t offset = 0;   // of the file's first byte, from the start of the archive
    int64_t length = 0;   // in bytes
};

struct MixTable {
    enum class Layout { Classic, Extended };
    Layout layout = Layout::Classic;   // Extended: the later games' layout with a flags word
    uint32_t declaredEntries = 0;      // the count the table gives
    std::vector<MixEntry> entries;     // the usable entries, in table order
    std::vector<std::string> skipped;  // one line per entry left out, saying why
};

// The bytes from the start of an archive that hold every table it can have: the longest header
// and 65535 entries.
inline constexpr size_t kMaxMixTableBytes = 10 + 12 * size_t{65535};

// Reads the table from the first bytes of an archive (at most kMaxMixTableBytes are looked at) of
// `archiveSize` bytes in all. `name` names the archive in messages. Fails when the archive cannot
// be read at all: it ends inside its table, or its table is encrypted.
Expected<MixTable> ParseMixTable(std::span<const uint8_t> start, int64_t archiveSize,
                                 const std::string& name);
// The same, from an open file.
Expected<MixTable> ReadMixTable(InputFile& file);

// True for a path that names a MIX archive: the extension ".mix" in any case.
bool HasMixExtension(const std::filesystem::path& path);

// "0003" and "1A2B3C4D": the entry's number in four digits and its id in eight hex digits.
std::string MixEntryNumberText(const MixEntry& entry);
std::string MixIdText(uint32_t id);

}  // namespace rw
