// Reading uncompressed AVI files: the ones this project writes, and the ones other tools write.
// 24- and 32-bit RGB pictures, bottom-up or top-down; PCM sound of 8 or 16 bits, any channel count
// and rate. Chunks are found through the idx1 index when it points at them, otherwise by walking
// the movie list (with "rec " lists and pad bytes after odd chunks); files past 1 GB continue in
// OpenDML "AVIX" parts, whose movie lists are walked too. Compressed video is refused with the
// codec's name. Every read is bounded by the file; memory grows with the chunk count, not with the
// chunk sizes. A file none of whose frame chunks holds a whole picture is refused, so the picture
// size it declares is one the file backs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

struct AviChunkRef {
    int64_t offset = 0;  // of the chunk's data
    uint32_t size = 0;
};

struct AviSourceInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;  // 24 or 32
    bool topDown = false;
    size_t rowBytes = 0;  // stride of a stored row
    uint32_t rate = 0;    // frames per second = rate / scale
    uint32_t scale = 0;
    std::vector<AviChunkRef> videoChunks;  // one per frame; size 0 repeats the previous picture

    bool hasSound = false;
    int32_t channels = 0;
    int32_t bitsPerSample = 0;  // 8 (unsigned) or 16 (signed)
    uint32_t sampleRate = 0;
    std::vector<AviChunkRef> soundChunks;
    // The file looks like one this project's converter wrote: its first sound chunk, before any
    // picture, holds the half second of leading sound plus the converter's pad sample.
    bool leadingSoundPadded = false;
};

// Upper limits the reader accepts; beyond them a file is refused, not read.
inline constexpr int32_t kAviMaxDimension = 32768;
inline constexpr size_t kAviMaxHeaderList = size_t{1} << 20;

class AviReader {
  public:
    // Reads the structure of the file; the chunks themselves are read on demand.
    static Expected<AviReader> Open(InputFile& file);

    const AviSourceInfo& Info() const { return m_info; }

    // Frame `index` as width * height pixels of blue, green, red, top row first. A frame whose
    // chunk is empty keeps the picture in `out` (callers pass the previous one).
    Expected<void> ReadFrame(size_t index, std::span<uint8_t> out);
    // The raw bytes of sound chunk `index`.
    Expected<std::vector<uint8_t>> ReadSound(size_t index);

  private:
    explicit AviReader(InputFile& file) : m_file(&file) {}

    InputFile* m_file;
    AviSourceInfo m_info;
    std::vector<uint8_t> m_row;
};

}  // namespace rw
