// Where a video's bytes are: a whole file, or an entry of an archive read in place.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace rw {

struct VqaSource {
    std::string file;     // the file to open
    int64_t offset = 0;   // of the video's first byte in it
    int64_t length = -1;  // the video's bytes; -1: the whole file
    std::string name;     // names the video in messages

    bool InArchive() const { return length >= 0; }
};

inline VqaSource LooseSource(const std::string& path) {
    return VqaSource{path, 0, -1, path};
}

// Opens the video's bytes as a file of their own, without copying them.
inline Expected<void> OpenSource(DiskInputFile& file, const VqaSource& source) {
    if (!source.InArchive()) return file.Open(source.file);
    return file.OpenRange(source.file, source.offset, source.length, source.name);
}

}  // namespace rw
