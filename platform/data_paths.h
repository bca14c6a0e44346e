// Where the program finds its run-time files (the start-up sound and the like): beside the
// executable first, then in the installed data folder. Works for an installed copy under any
// prefix, since the data folder is also looked for relative to the executable.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace rw {

// How the installed data folder relates to the executable, fixed when the program is configured.
struct DataLayout {
    // The data folder relative to the folder of the installed executable, e.g.
    // "../share/reelwright"; empty when the install folders do not allow a relative path.
    std::filesystem::path fromExecutableDir;
    // The data folder under the configured install prefix, e.g. "/usr/share/reelwright".
    std::filesystem::path installed;
};

// The layout this program was configured with.
DataLayout ConfiguredDataLayout();

// The folders to search, in order, for a program whose executable is `executable`: its own
// folder, the data folder relative to it, then the configured data folder. Duplicates are left
// out; an empty executable path leaves out the first two.
std::vector<std::filesystem::path> DataSearchPathFor(const std::filesystem::path& executable,
                                                     const DataLayout& layout);

// The search folders of this process, found from /proc/self/exe.
std::vector<std::filesystem::path> DataSearchPath();

// The first regular file called `name` in `folders`, or an empty path. `name` is a relative
// file name such as "intro.wav"; an empty name, an absolute name or one that climbs out of the
// folder with ".." finds nothing.
std::filesystem::path FindDataFileIn(std::string_view name,
                                     const std::vector<std::filesystem::path>& folders);

// FindDataFileIn over DataSearchPath().
std::filesystem::path FindDataFile(std::string_view name);

}  // namespace rw
