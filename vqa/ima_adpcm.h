// IMA ADPCM sound: four bits per sample, low nibble first, decoded to 16-bit little-endian PCM.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rw {

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
