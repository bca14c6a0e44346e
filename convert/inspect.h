// What a VQA file on disk is, as every front end asks before it converts: its size and header
// values, or why it cannot be converted. The dialog's load, the command line and the conversion run
// all judge a file by it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "convert/vqa_source.h"
#include "vqa/vqa_properties.h"

namespace rw {

struct VqaInspection {
    enum class Status {
        Ok,              // a VQA video that can be converted
        NotVqa,          // readable, but not a VQA video
        CannotRead,      // missing, unreadable, or ends inside its header; `reason` says why
        NotConvertible,  // a VQA video whose header values cannot be converted; `reason` says why
    };
    Status status = Status::CannotRead;
    VqaProperties properties;  // Ok and NotConvertible
    int64_t fileSize = 0;      // all but CannotRead
    std::string reason;        // CannotRead (may be empty when the system gave none) and
                               // NotConvertible
    // Ok: frames whose offset lies at or beyond the end of the file (a file cut short); all of
    // them when the file ends inside the frame index.
    int32_t framesBeyondEnd = 0;
};

// How many frames of `frameIndex` (ReadFrameIndex) start at or beyond `fileSize` bytes; frame 0
// where its record follows the leading sound.
int32_t CountFramesBeyondEnd(std::span<const int32_t> frameIndex, int64_t fileSize);

VqaInspection InspectVqaFile(const std::filesystem::path& path);
// The same for a video that may lie inside an archive; messages use its name.
VqaInspection InspectVqaFile(const VqaSource& source);

}  // namespace rw
