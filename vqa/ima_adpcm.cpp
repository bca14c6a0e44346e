#include "vqa/ima_adpcm.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace rw {
namespace {

constexpr std::array<int32_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Indexed by the magnitude bits of a code; the sign bit takes no part.
constexpr std::array<int32_t, 8> kIndexAdjust = {-1, -1, -1, -1, 2, 4, 6, 8};

inline int32_t DecodeSample(uint32_t code, int32_t& predictor, int32_t& stepIndex) {
    const int32_t step = kStepTable[static_cast<size_t>(stepIndex)];
    const uint32_t magnitude = code & 7u;
    // One multiplication, then the divisions: this is not the sum of shifted steps.
    int32_t difference = (step * static_cast<int32_t>(magnitude)) / 4 + step / 8;
    if (code & 8u) difference = -difference;
    predictor = std::clamp(predictor + difference, -32768, 32767);
    stepIndex = std::clamp(stepIndex + kIndexAdjust[magnitude], 0, 88);
    return predictor;
}

}  // namespace

void DecodeImaAdpcmInto(std::span<const uint8_t> input, ImaAdpcmState& state,
                        std::span<uint8_t> output) {
    assert(output.size() / 4 >= input.size());
    if (output.size() / 4 < input.size()) return;
    // A state from outside the decoder may hold anything; keep the table lookups in bounds.
    int32_t predictor = std::clamp(state.predictor, -32768, 32767);
    int32_t stepIndex = std::clamp(state.stepIndex, 0, 88);
    uint8_t* out = output.data();
    for (uint8_t byte : input) {
        // Low nibble first, then the high nibble.
        int32_t first = DecodeSample(byte & 0x0Fu, predictor, stepIndex);
        int32_t second = DecodeSample(byte >> 4, predictor, stepIndex);
        out[0] = static_cast<uint8_t>(first);
        out[1] = static_cast<uint8_t>(static_cast<uint32_t>(first) >> 8);
        out[2] = static_cast<uint8_t>(second);
        out[3] = static_cast<uint8_t>(static_cast<uint32_t>(second) >> 8);
        out += 4;
    }
    state.predictor = predictor;
    state.stepIndex = stepIndex;
}

std::vector<uint8_t> DecodeImaAdpcm(std::span<const uint8_t> input, ImaAdpcmState& state) {
    std::vector<uint8_t> output(input.size() * 4);
    DecodeImaAdpcmInto(input, state, output);
    return output;
}

}  // namespace rw
