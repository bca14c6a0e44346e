#include "vqa/ima_adpcm.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace rw {
namespace {



inline int32_t DecodeSample(uint32_t code, int32_t& predictor, int32_t& stepIndex) {
    const int32_t step = kImaStepTable[static_cast<size_t>(stepIndex)];
    const uint32_t magnitude = code & 7u;
    // One multiplication, then the divisions: this is not the sum of shifted steps.
    int32_t difference = (step * static_cast<int32_t>(magnitude)) / 4 + step / 8;
    if (code & 8u) difference = -difference;
    predictor = std::clamp(predictor + difference, -32768, 32767);
    stepIndex = std::clamp(stepIndex + kImaIndexAdjust[magnitude], 0, 88);
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
