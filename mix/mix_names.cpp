#include "mix/mix_names.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/file.h"

namespace rw {
namespace {

constexpr int64_t kMaxNameListBytes = 16 << 20;

bool IsNameCharacter(char c) {
    return c > ' ' && c < 0x7F && std::strchr("/\\:*?\"<>|.", c) == nullptr;
}

std::string_view Trimmed(std::string_view line) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

// Names are the same in any case.
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::optional<uint32_t> MixNameId(std::string_view name) {
    if (name.empty() || name.size() > kMaxMixNameLength) return std::nullopt;
    uint8_t padded[kMaxMixNameLength] = {};
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == 0 || c > 0x7F) return std::nullopt;
        padded[i] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    uint32_t id = 0;
    for (size_t at = 0; at < kMaxMixNameLength && padded[at] != 0; at += 4) {
        const uint32_t group = uint32_t{padded[at]} | uint32_t{padded[at + 1]} << 8 |
                               uint32_t{padded[at + 2]} << 16 | uint32_t{padded[at + 3]} << 24;
        id = ((id << 1) | (id >> 31)) + group;
    }
    return id;
}

std::string MixFileNameProblem(std::string_view name) {
    const size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    for (char c : name) {
        if (c != '.' && !IsNameCharacter(c)) {
            return "a file name in an archive holds only ASCII letters, digits and punctuation";
        }
    }
    if (base.empty() || base.size() > 8 || ext.size() > 3 ||
        (dot != std::string_view::npos && (ext.empty() || ext.find('.') != ext.npos))) {
        return "a file name in an archive is an 8.3 name (up to eight characters, a dot and up "
               "to three more)";
    }
    return {};
}

std::optional<std::string> MixNames::Add(const std::string& name) {
    const std::optional<uint32_t> id = MixNameId(name);
    if (!id) return std::nullopt;
    auto [it, added] = m_byId.emplace(*id, name);
    if (added || SameName(it->second, name)) return std::nullopt;
    return it->second;
}

const std::string* MixNames::Find(uint32_t id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &it->second;
}

MixNameList ParseMixNameList(std::string_view text, const std::string& listName) {
    MixNameList list;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte-order mark
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        const std::string name(line);
        const std::string at =
            "\"" + listName + "\" line " + std::to_string(lineNumber) + ": \"" + name + "\" ";
        if (std::string why = MixFileNameProblem(name); !why.empty()) {
            list.problems.push_back(at + "left out: " + why);
        } else if (auto holder = list.names.Add(name)) {
            list.problems.push_back(at + "left out: it has the same id as \"" + *holder + "\"");
        }
    }
    return list;
}

Expected<MixNameList> ReadMixNameList(const std::filesystem::path& path) {
    DiskInputFile file;
    if (auto r = file.Open(path); !r) return r.error();
    auto length = file.Length();
    if (!length) return length.error();
    if (*length > kMaxNameListBytes) {
        return Error{"\"" + path.string() + "\" is not a list of names: it holds " +
                     std::to_string(*length) + " bytes"};
    }
    std::string text(static_cast<size_t>(*length), '\0');
    if (auto r = file.ReadExact({reinterpret_cast<uint8_t*>(text.data()), text.size()}); !r) {
        return r.error();
    }
    return ParseMixNameList(text, path.string());
}

std::string MixNameStem(const std::string& entryName) {
    return entryName.substr(0, entryName.find('.'));
}

}  // namespace rw
