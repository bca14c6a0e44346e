// The chunk layer of high-colour VQA videos: four-character identifiers with big-endian sizes,
// one zero pad byte after odd-sized data, top-level chunks in the file and sub-chunks inside the
// VQFL and VQFR containers; and the frame index, found by walking the chunks after VQHD.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

// A frame's data chunks (sound, codebooks, pictures) larger than this are damage; other chunks
// are skipped without being read.
inline constexpr uint32_t kMaxHighColourChunk = uint32_t{64} << 20;
// A frame whose picture chunk does not come within this many bytes of its offset is damaged.
inline constexpr int64_t kMaxHighColourFrameSpan = int64_t{64} << 20;

// A four-character identifier as a number, first character in the top byte.
constexpr uint32_t ChunkId(const char (&text)[5]) {
    return (uint32_t{static_cast<uint8_t>(text[0])} << 24) |
           (uint32_t{static_cast<uint8_t>(text[1])} << 16) |
           (uint32_t{static_cast<uint8_t>(text[2])} << 8) | uint32_t{static_cast<uint8_t>(text[3])};
}
// The identifier as text, for messages.
std::string ChunkIdText(uint32_t id);

struct SubChunk {
    uint32_t id = 0;
    std::span<const uint8_t> data;
};

struct SubChunkList {
    std::vector<SubChunk> chunks;
    std::string damage;  // empty, or why the walk stopped before the container's end
};

// The sub-chunks of a container's data, in order. Sub-chunks are read while a whole 8-byte header
// fits (so a container may or may not count the pad byte after its last sub-chunk); a zero pad
// byte after odd-sized data is stepped over. A sub-chunk that runs past the container ends the
// walk as damage.
SubChunkList ReadSubChunks(std::span<const uint8_t> container);

// A top-level chunk's header, read at `position`.
struct ChunkHeader {
    uint32_t id = 0;
    uint32_t size = 0;
    int64_t dataAt = 0;  // where the data begins
};

// Reads the 8-byte header at `position`. Fails when the file ends inside the header or inside the
// data the header declares (a size larger than the file is damage, not an allocation).
Expected<ChunkHeader> ReadChunkHeader(InputFile& file, int64_t position, int64_t fileLength);

// Where the chunk after `chunk` begins: past its data and, when the size is odd and the byte there
// is 0, past the pad byte (a missing pad is tolerated).
Expected<int64_t> NextChunkAt(InputFile& file, const ChunkHeader& chunk, int64_t fileLength);

// Frame offsets from the FINF chunk, found by walking the top-level chunks after VQHD: entry &
// 0x3FFFFFFF, times 2, for `frames` entries. Fails, naming the file, when there is no FINF or it
// holds fewer entries.
Expected<std::vector<int64_t>> ReadHighColourFrameIndex(InputFile& file, int32_t frames);

}  // namespace rw
