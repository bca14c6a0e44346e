// File names in MIX archives. An archive keeps no names, only a 32-bit id made from each name, so a
// name can be checked against an id but an id cannot be turned back into a name. Names come from
// the user: the files packed, and lists of candidate names matched against an archive's ids.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/expected.h"

namespace rw {

inline constexpr size_t kMaxMixNameLength = 12;

// The id of a name in the first game's archives: the name in ASCII capitals, zero-padded to 12
// bytes, taken as 32-bit little-endian groups up to the first group starting with a zero; each
// group rotates the id left by one bit and is added to it. Nothing for an empty name, a name of
// more than 12 characters or one with a character outside ASCII.
std::optional<uint32_t> MixNameId(std::string_view name);

// Why `name` cannot be stored in an archive (an 8.3 name in any case: one to eight characters,
// optionally a dot and one to three more, no spaces, separators or control characters), or empty
// when it can.
std::string MixFileNameProblem(std::string_view name);

// Candidate names by id. When two names share an id the first one added keeps it.
class MixNames {
  public:
    // Adds a name; returns the name already holding its id when another one does, or nothing.
    // A name without an id (MixNameId) is not added.
    std::optional<std::string> Add(const std::string& name);
    // The name of `id`, or nullptr.
    const std::string* Find(uint32_t id) const;
    size_t Size() const { return m_byId.size(); }

  private:
    std::unordered_map<uint32_t, std::string> m_byId;
};

struct MixNameList {
    MixNames names;
    std::vector<std::string> problems;  // one line per name left out, naming the list and the line
};

// A list of candidate names, one a line; blank lines and lines starting with '#' are skipped,
// spaces around a name and a UTF-8 byte-order mark at the start ignored. `listName` names the
// list in the problems.
MixNameList ParseMixNameList(std::string_view text, const std::string& listName);
// The same from a file; fails when it cannot be read (the message names the file).
Expected<MixNameList> ReadMixNameList(const std::filesystem::path& path);

// The name of an output made from the entry named `entryName`: the name without its extension
// ("INTRO.VQA" -> "INTRO").
std::string MixNameStem(const std::string& entryName);

}  // namespace rw
