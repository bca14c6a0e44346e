// The movie chunks ("01wb" sound, "00db" video) and the closing "idx1" index of our AVI files.
// Chunks are written strictly at the end of the file; each writer returns the chunk's position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "avi/avi_format.h"
#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

// "01wb", declaredSize, then bytesToWrite bytes: the sound, zero-filled past its end (the stream
// gives every chunk its whole size, so nothing is filled in a conversion).
Expected<uint32_t> WriteSoundChunk(OutputFile& file, int32_t declaredSize,
                                   std::span<const uint8_t> decoded, int32_t bytesToWrite);

// A video chunk drawn in place: BeginVideoChunk gives room for the chunk in the file, with its
// header filled in and `image` the room for imageBytes bytes stored bottom row first; once the
// image is drawn, EndVideoChunk keeps the chunk. Nothing may be written to the file in between.
struct VideoChunkRoom {
    uint32_t position = 0;
    std::span<uint8_t> image;
};
Expected<VideoChunkRoom> BeginVideoChunk(OutputFile& file, size_t imageBytes);
Expected<void> EndVideoChunk(OutputFile& file, const VideoChunkRoom& room);

// "idx1", 32 * F + 16, then the leading sound entry and, per frame, its sound entry (flags 0) and
// video entry (flags 0x10). Offsets are absolute file positions.
Expected<void> WriteIndexChunk(OutputFile& file, uint32_t leadingSoundPosition,
                               std::span<const uint32_t> soundPositions,
                               std::span<const uint32_t> videoPositions, const AviFormat& format);

}  // namespace rw
