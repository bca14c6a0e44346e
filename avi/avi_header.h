// The fixed 524-byte block at the start of every AVI file we write: RIFF header, header list with
// the main header, a video and a sound stream list, JUNK filler up to 512, and the movie list head.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "avi/avi_format.h"
#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

inline constexpr int32_t kAviHeaderBlockSize = 524;
inline constexpr int32_t kAviBuiltHeaderSize = 168;  // offsets 0..167, up to the video "strf"

// Sizes of the output, computed in advance from the header values in 64 bits. The header block
// stores them as signed 32-bit numbers, so they must fit (see CheckAviDescribable).
struct AviLayout {
    int64_t videoFrameBytes = 0;     // V = 3 * W * H
    int64_t frameSoundDeclared = 0;  // S = (2 * R) / 15
    int64_t frameSoundWritten = 0;   // bytes each frame's sound chunk holds (equal to S)
    int64_t leadingSoundBytes = 0;   // R
    int64_t riffSize = 0;            // F * (V + 48 + S) + R + 548: file length - 8
    int64_t movieListSize = 0;       // F * (V + 16 + S) + R + 12
    int64_t soundStreamLength = 0;   // (22050 * F) / 15 + 11025
    int64_t fileLength = 0;          // riffSize + 8
};
AviLayout ComputeAviLayout(const AviFormat& format);

// A message saying why the header block cannot describe this video (a size past 2^31 - 1, or a
// negative value), or nothing when it can.
std::optional<std::string> CheckAviDescribable(const AviFormat& format);

// Offsets 0..167 of the block, zero-filled and then the non-zero fields set.
std::vector<uint8_t> BuildAviHeader(const AviFormat& format);
// Writes all 524 bytes to a new, empty file.
Expected<void> WriteAviHeader(OutputFile& file, const AviFormat& format);

}  // namespace rw
