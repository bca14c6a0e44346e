// Test material for the micro-benchmarks, taken from synthesised videos: the packed and unpacked
// pointer tables and codebooks of real frames, the palette, the sound blocks, and a whole file.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/synth/vqa_synth.h"
#include "vqa/picture_chunk.h"

namespace rw::bench {

// One drawable frame: its unpacked pointer table with the codebook and palette in force for it.
struct DrawableFrame {
    std::vector<uint8_t> pointerTable;
    std::vector<uint8_t> codebook;
    std::vector<uint8_t> palette;
};

struct BenchVideo {
    synth::SynthVideo video;
    std::vector<std::vector<uint8_t>> packedPointerTables;  // "VPTZ" payloads, in file order
    std::vector<std::vector<uint8_t>> packedCodebooks;      // "CBFZ" payloads, in file order
    std::vector<std::vector<uint8_t>> frameSound;           // ADPCM bytes of each frame
    std::vector<DrawableFrame> frames;                      // the first few frames, drawable
};

// Synthesises `frames` frames of width x height with the given block size (full codebooks every
// eight frames, so there are many of them to unpack) and picks the material out of the file.
// Throws std::runtime_error when the file does not have the expected shape.
BenchVideo MakeBenchVideo(int32_t frames, int32_t width, int32_t height, int32_t blockWidth,
                          int32_t blockHeight, size_t drawableFrames = 16);

}  // namespace rw::bench
