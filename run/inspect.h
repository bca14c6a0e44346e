// What a VQA video is, judged for conversion into an AVI file: its header values, or why it
// cannot be converted. The desktop program's load, the command line and the archive listings ask
// it before a run.
#pragma once

#include <filesystem>

#include "decode/open_video.h"

namespace rw {

VqaInspection InspectVqaFile(const VqaSource& source);
VqaInspection InspectVqaFile(const std::filesystem::path& path);

}  // namespace rw
