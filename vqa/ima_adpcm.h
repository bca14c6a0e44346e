// IMA ADPCM sound: four bits per sample, low nibble first, decoded to 16-bit little-endian PCM.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace rw {

// The step sizes, from 7 at index 0 to 32767 at index 88.
inline constexpr std::array<int32_t, 89> kImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
// Step index change, indexed by the magnitude bits of a code; the sign bit takes no part.
inline constexpr std::array<int32_t, 8> kImaIndexAdjust = {-1, -1, -1, -1, 2, 4, 6, 8};

// Predictor and step index; zero when a conversion begins, carried from block to block.
struct ImaAdpcmState {
    int32_t predictor = 0;
    int32_t stepIndex = 0;
};

// Decodes n bytes into 2n samples (4n bytes). The difference is (step * magnitude) / 4 + step / 8,
// negated when the sign bit is set; the predictor is clamped to 16 bits.
std::vector<uint8_t> DecodeImaAdpcm(std::span<const uint8_t> input, ImaAdpcmState& state);
// The same into a caller's buffer of at least 4 * input.size() bytes.
void DecodeImaAdpcmInto(std::span<const uint8_t> input, ImaAdpcmState& state,
                        std::span<uint8_t> output);

}  // namespace rw
