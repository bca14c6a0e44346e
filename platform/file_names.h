// Recognising files by the extension of their name, in any case (".MIX", ".Vqa").
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>

namespace rw {

// True when the extension of `path` (the part from its last dot, as std::filesystem sees it) is
// `extension` (".mix"), in any case.
inline bool HasFileExtension(const std::filesystem::path& path, std::string_view extension) {
    const std::string ext = path.extension().string();
    return std::equal(ext.begin(), ext.end(), extension.begin(), extension.end(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace rw
