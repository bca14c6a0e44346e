#include "platform/data_paths.h"

#include <algorithm>
#include <system_error>

// Both are set by the build from the install folders; the fallbacks keep the file usable on its
// own.
#ifndef RW_DATA_DIR_FROM_BIN
#define RW_DATA_DIR_FROM_BIN "../share/reelwright"
#endif
#ifndef RW_INSTALLED_DATA_DIR
#define RW_INSTALLED_DATA_DIR "/usr/local/share/reelwright"
#endif

namespace rw {

namespace fs = std::filesystem;

DataLayout ConfiguredDataLayout() {
    return DataLayout{fs::path(RW_DATA_DIR_FROM_BIN), fs::path(RW_INSTALLED_DATA_DIR)};
}

std::vector<fs::path> DataSearchPathFor(const fs::path& executable, const DataLayout& layout) {
    std::vector<fs::path> folders;
    auto add = [&folders](const fs::path& folder) {
        if (folder.empty()) return;
        fs::path normal = folder.lexically_normal();
        // "/a/b/" and "/a/b" name the same folder.
        if (!normal.has_filename() && normal.has_parent_path() && normal != normal.root_path()) {
            normal = normal.parent_path();
        }
        if (std::find(folders.begin(), folders.end(), normal) == folders.end()) {
            folders.push_back(std::move(normal));
        }
    };

    const fs::path exeDir = executable.parent_path();
    if (!exeDir.empty()) {
        add(exeDir);
        if (!layout.fromExecutableDir.empty() && layout.fromExecutableDir.is_relative()) {
            add(exeDir / layout.fromExecutableDir);
        }
    }
    add(layout.installed);
    return folders;
}

std::vector<fs::path> DataSearchPath() {
    std::error_code ec;
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) executable.clear();
    return DataSearchPathFor(executable, ConfiguredDataLayout());
}

fs::path FindDataFileIn(std::string_view name, const std::vector<fs::path>& folders) {
    const fs::path relative(name);
    if (relative.empty() || relative.has_root_path() || !relative.has_filename()) return {};
    for (const fs::path& part : relative) {
        if (part == "..") return {};
    }
    for (const fs::path& folder : folders) {
        fs::path candidate = folder / relative;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

fs::path FindDataFile(std::string_view name) {
    return FindDataFileIn(name, DataSearchPath());
}

}  // namespace rw
