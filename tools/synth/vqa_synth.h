// Writes VQA videos from scratch: a procedural animation vector-quantised into codebooks, a
// palette or two, and a tune in IMA ADPCM. The writer keeps its own model of what a reader must
// decode (codebook and palette in effect per frame, the sound decoder's predictor and step index),
// so tests can hold the project's readers against an independent account of every image and every
// sound block.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "encode/ima_adpcm_encode.h"
#include "encode/lcw_compress.h"
#include "vqa/ima_adpcm.h"
#include "vqa/vqa_properties.h"

namespace rw::synth {

// How the codebooks after the first travel.
enum class CodebookParts {
    None,         // a full codebook (CBF0/CBFZ) at the start of every group of eight frames
    PerPart,      // the next codebook cut into eight parts, each compressed on its own (or raw)
    SplitStream,  // the next codebook compressed once and the stream cut into eight parts (as
                  // the original tools did: no part unpacks alone); without codebook
                  // compression, raw pieces as with PerPart
};

struct SynthOptions {
    int32_t frames = 45;
    int32_t width = 320;
    int32_t height = 156;
    int32_t blockWidth = 4;
    int32_t blockHeight = 2;
    int32_t soundRate = 22050;  // 0 to 22050 Hz
    uint32_t seed = 1;
    CodebookParts parts = CodebookParts::SplitStream;
    bool compressPointerTables = true;  // VPTZ, else VPT0
    bool compressCodebooks = true;      // CBFZ/CBPZ, else CBF0/CBP0
    bool compressPalettes = false;      // CPLZ, else CPL0
    bool paletteChanges = true;         // a second palette half-way through
    bool unknownSubChunks = true;       // the odd sub-chunk a reader must skip
    bool padAfterSound = true;          // pad byte 0 after odd-sized sound data
    bool indexTopBits = true;           // flag bits in the top two bits of some index entries
    bool keepExpected = true;           // fill SynthVideo's images and sound
};

// Limits SynthesizeVqa accepts; outside them it throws std::invalid_argument.
inline constexpr int32_t kMaxSynthFrames = 65535;
inline constexpr int32_t kMaxSynthDimension = 4096;
// Throws std::invalid_argument, naming the value, when frames, size or block size are out of range.
void CheckSynthShape(int32_t frames, int32_t width, int32_t height, int32_t blockWidth,
                     int32_t blockHeight);
inline constexpr int32_t kMaxSynthSoundRate = 22050;
// Codebook entries a pointer can reach: high bytes 0 to 14 (15 and 255 mark solid blocks).
inline constexpr int32_t kMaxCodebookEntries = 15 * 256;

struct SynthVideo {
    std::vector<uint8_t> file;
    VqaProperties properties;
    // Per frame: width * height * 3 bytes, blue green red, top row first, exactly as a reader
    // must draw it (pixels outside the block grid black).
    std::vector<std::vector<uint8_t>> images;
    // 16-bit little-endian PCM the leading sound block decodes to: 4 * (rate / 4) bytes.
    std::vector<uint8_t> leadingSound;
    // Per frame, 4 * ((rate / 15) / 2) bytes.
    std::vector<std::vector<uint8_t>> frameSound;
    // Where frame f's record begins (the frame index holds these halved, plus any flag bits).
    std::vector<int64_t> frameOffsets;
};

// Throws std::invalid_argument for options outside the limits above.
SynthVideo SynthesizeVqa(const SynthOptions& options);

// Parses a --parts value: "none", "per-part" or "split". False for anything else.
bool ParseCodebookParts(const std::string& text, CodebookParts& parts);

}  // namespace rw::synth
