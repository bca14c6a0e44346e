// A frame's picture chunk: its sub-chunks (codebooks, codebook parts, palettes, pointer tables),
// unpacked when their name ends in 'Z' and applied to the codebook and palette state of the run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/vqa_properties.h"

namespace rw {

// Unpacked sub-chunks, and the pending codebook, are limited to this many bytes.
inline constexpr size_t kMaxSubChunkData = size_t{16} << 20;
// A picture chunk declaring more data than this is refused before anything is allocated.
inline constexpr size_t kMaxPictureChunkSize = size_t{64} << 20;

struct VqaSubChunk {
    char identifier[5] = {};  // four characters and a NUL
    int32_t size = 0;         // data length; after unpacking, the unpacked length
    std::vector<uint8_t> data;
};

// Codebook and palette state of one run, carried from frame to frame.
struct VqaDecodeState {
    std::vector<uint8_t> codebook;  // empty: none received yet
    std::vector<uint8_t> palette;   // 3 bytes per entry, 6-bit red, green, blue; empty: none yet
    std::vector<uint8_t> pendingCodebook;  // parts since the last switch, each unpacked on its own
    int32_t partCount = 0;

    // Codebook parts of the original tools are one LCW stream cut into eight pieces, which do not
    // unpack on their own. The bytes of the pending parts as they arrived are kept until the
    // switch, where they are unpacked as one stream if any part failed alone.
    std::vector<uint8_t> pendingCompressed;
    bool pendingAllClean = true;  // every pending part unpacked on its own (or was not packed)

    // Bumped whenever the codebook or the palette changes, so renderers can cache derived tables.
    uint64_t codebookGeneration = 0;
    uint64_t paletteGeneration = 0;
};

// Receives each pointer table of a frame, in file order, with the state to draw it with. It is
// called before the codebook switch that the same table may trigger.
class FrameImageSink {
  public:
    virtual ~FrameImageSink() = default;
    virtual void OnPointerTable(std::span<const uint8_t> pointerTable,
                                const VqaDecodeState& state) = 0;

    // A sink with no use for the tables (a reader that only carries the state forward) says so
    // here: each table is then only checked, a packed one by the same rules as unpacking, and
    // OnPointerTableSkipped is called instead of OnPointerTable.
    virtual bool WantsPointerTables() const { return true; }
    virtual void OnPointerTableSkipped() {}
};

// Applies one sub-chunk: unpacks it if its fourth letter is 'Z', then acts on its third letter:
// F full codebook, L palette, P codebook part, T pointer table (image to the sink, then the
// codebook switch when eight parts are pending). Other letters have no effect. An error means the
// sub-chunk was damaged; the state is left consistent.
Expected<void> ApplySubChunk(VqaSubChunk& subChunk, VqaDecodeState& state, FrameImageSink& sink);

struct PictureChunkResult {
    enum class Status {
        Ok,         // every sub-chunk applied
        Damaged,    // the chunk was read whole but a sub-chunk was broken; the walk stopped there
        Truncated,  // the file ends inside the chunk (or before it); nothing was applied
        IoError,    // reading failed; nothing was applied
    };
    Status status = Status::Ok;
    int images = 0;       // pointer tables handed to the sink
    std::string message;  // what was wrong, for anything but Ok
};

// Walks the sub-chunks of a picture chunk's data: a pad byte 0 before a sub-chunk is skipped (at
// most one), each header is an identifier and a big-endian size, and the walk ends when at most
// one byte is left. A header or size reaching past the data ends the walk as Damaged.
PictureChunkResult WalkPictureChunk(std::span<const uint8_t> chunkData, VqaDecodeState& state,
                                    FrameImageSink& sink);

// Reads the picture chunk that follows a frame's sound data (skipping one pad byte 0 if present;
// the identifier is not compared) and walks it. The chunk size is checked against the bytes the
// file still holds before anything is allocated.
PictureChunkResult ReadPictureChunk(InputFile& file, VqaDecodeState& state, FrameImageSink& sink);

}  // namespace rw
