// Writes high-colour (15-bit) VQA videos from scratch: the true-colour scene cut into blocks,
// codebooks of up to 8192 entries sent many frames apart in either LCW form, pointer tables that
// use every command, and sound of each kind. Like the 8-bit synthesiser it keeps its own account
// of what a reader must decode: every frame's picture and sound.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rw::synth {

enum class HighColourSoundKind { None, Snd2Mono, Snd2Stereo, Snd0Bits8, Snd0Bits16, Snd1 };
// Which LCW form the codebooks use; Alternate takes turns, starting with the ordinary one.
enum class CodebookLcw { Ordinary, BackCounted, Alternate };

struct HighColourSynthOptions {
    int32_t frames = 30;
    int32_t width = 320;
    int32_t height = 200;
    int32_t blockWidth = 4;
    int32_t blockHeight = 4;
    int32_t soundRate = 22050;     // 0 to 48000 Hz
    int32_t framesPerSecond = 15;  // written as is: 0 stands for 15
    HighColourSoundKind sound = HighColourSoundKind::Snd2Mono;
    uint32_t seed = 1;
    int32_t codebookEvery = 12;  // frames drawn with each codebook
    CodebookLcw codebookLcw = CodebookLcw::Alternate;
    int32_t minCodebookEntries = 0;  // codebooks padded with unused entries up to this many
    bool strayChunks = true;         // chunks and sub-chunks a reader must skip
    uint16_t version = 3;            // 2: a version-2 header with colours and codebook parts 0
    bool keepExpected = true;        // fill the pictures and sound below
};

struct HighColourSynthVideo {
    std::vector<uint8_t> file;
    // Per frame: width * height * 3 bytes, blue green red, top row first.
    std::vector<std::vector<uint8_t>> images;
    // Per frame: the 16-bit PCM (channels interleaved) its chunks decode to.
    std::vector<std::vector<uint8_t>> sound;
    std::vector<int64_t> frameOffsets;
    std::array<int64_t, 8> commands{};  // pointer-table commands written, by their top three bits
    int64_t zeroCounts = 0;             // skips of 0 blocks and repeats of 0 times among them
    int32_t ordinaryCodebooks = 0;
    int32_t backCountedCodebooks = 0;
    size_t largestCodebook = 0;  // bytes, unpacked
};

inline constexpr int32_t kMaxHighColourSynthRate = 48000;

// Throws std::invalid_argument for options outside the 8-bit synthesiser's limits (frames, size,
// blocks), a rate outside 0 to 48000, a codebook period under 1 or more than 8192 minimum entries.
HighColourSynthVideo SynthesizeHighColourVqa(const HighColourSynthOptions& options);

// Parses a --sound value: none, snd2, snd2-stereo, snd0-8, snd0-16 or snd1.
bool ParseHighColourSound(const std::string& text, HighColourSoundKind& kind);

}  // namespace rw::synth
