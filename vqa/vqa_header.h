// The fixed front part of a VQA file: the container check, the six header values and the frame
// index.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/vqa_properties.h"

namespace rw {

struct VqaHeaderResult {
    enum class Status {
        Ok,          // properties valid
        NotVqa,      // fails the container check ("FORM" at 0, "WVQAVQHD" at 8, byte-exact)
        CannotOpen,  // the file could not be opened or read; message says why
        Truncated,   // passes the check but ends inside the header; message says so
    };
    Status status = Status::NotVqa;
    VqaProperties properties;
    std::string message;  // for CannotOpen and Truncated: names the file and the problem
};

// Checks that the bytes at the start of a file are a VQA video and reads the six values: frames
// (offset 24), width (26), height (28), block width (30), block height (31), sound rate (44).
// No value is tested against a limit here.
VqaHeaderResult ReadVqaHeader(const std::filesystem::path& path);
VqaHeaderResult ReadVqaHeader(InputFile& file);

// Reads `frames` entries from offset 70. Entries count 2-byte units and their top two bits are
// ignored: offset = (entry & 0x3FFFFFFF) * 2. Fails when the file ends inside the index.
Expected<std::vector<int32_t>> ReadFrameIndex(InputFile& file, int32_t frames);

}  // namespace rw
