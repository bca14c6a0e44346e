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

// Every header field up to the bits per sample (offsets 20 to 47), for the readers that need more
// than the six values: the high-colour videos' kind, frame rate and sound format.
struct VqaHeaderFields {
    uint16_t version = 0;  // 2 in the first games' 8-bit videos, 3 in high-colour ones
    uint16_t flags = 0;
    uint16_t frames = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t blockWidth = 0;
    uint8_t blockHeight = 0;
    uint8_t framesPerSecond = 0;  // 0: the default rate
    uint8_t codebookParts = 0;    // 8 in 8-bit videos, 0 in high-colour ones
    uint16_t colours = 0;         // 256 in 8-bit videos, 0 in high-colour ones
    uint16_t maxCodebookEntries = 0;
    uint16_t soundRate = 0;  // Hz
    uint8_t channels = 0;    // 1 or 2
    uint8_t soundBits = 0;   // 8 or 16, of the decoded sound

    friend bool operator==(const VqaHeaderFields&, const VqaHeaderFields&) = default;
};

// Reads the fields from offset 20, after ReadVqaHeader's container check. Fails when the file ends
// inside them.
Expected<VqaHeaderFields> ReadVqaHeaderFields(InputFile& file);

// Reads `frames` entries from offset 70. Entries count 2-byte units and their top two bits are
// ignored: offset = (entry & 0x3FFFFFFF) * 2. Fails when the file ends inside the index.
Expected<std::vector<int32_t>> ReadFrameIndex(InputFile& file, int32_t frames);

}  // namespace rw
