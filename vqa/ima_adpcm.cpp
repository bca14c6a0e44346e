#include "vqa/ima_adpcm.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace rw {
namespace {

// Every (step index, code) pair worked out once: the signed difference and where the next step
// index's row starts (16 entries a row). Decoding a sample is then one lookup, an addition and a
// clamp.
struct SampleStep {
    int32_t difference;
    int32_t nextRow;
};
using StepTable = std::array<SampleStep, 89 * 16>;

constexpr StepTable MakeStepTable() {
    StepTable table{};
    for (size_t index = 0; index < 89; ++index) {
        const int32_t step = kImaStepTable[index];
        for (uint32_t code = 0; code < 16; ++code) {
            const uint32_t magnitude = code & 7u;
            // One multiplication, then the divisions: this is not the sum of shifted steps.
            int32_t difference = (step * static_cast<int32_t>(magnitude)) / 4 + step / 8;
            if (code & 8u) difference = -difference;
            const int32_t next =
                std::clamp(static_cast<int32_t>(index) + kImaIndexAdjust[magnitude], 0, 88);
            table[index * 16 + code] = SampleStep{difference, next * 16};
        }
    }
    return table;
}

constexpr StepTable kSampleSteps = MakeStepTable();

inline int32_t DecodeSample(uint32_t code, int32_t& predictor, size_t& row) {
    const SampleStep& s = kSampleSteps[row + code];
    predictor = std::clamp(predictor + s.difference, -32768, 32767);
    row = static_cast<size_t>(s.nextRow);
    return predictor;
}

}  // namespace

void DecodeImaAdpcmInto(std::span<const uint8_t> input, ImaAdpcmState& state,
                        std::span<uint8_t> output) {
    assert(output.size() / 4 >= input.size());
    if (output.size() / 4 < input.size()) return;
    // A state from outside the decoder may hold anything; keep the table lookups in bounds.
    int32_t predictor = std::clamp(state.predictor, -32768, 32767);
    size_t row = static_cast<size_t>(std::clamp(state.stepIndex, 0, 88)) * 16;
    uint8_t* out = output.data();
    for (uint8_t byte : input) {
        // Low nibble first, then the high nibble.
        int32_t first = DecodeSample(byte & 0x0Fu, predictor, row);
        int32_t second = DecodeSample(byte >> 4, predictor, row);
        out[0] = static_cast<uint8_t>(first);
        out[1] = static_cast<uint8_t>(static_cast<uint32_t>(first) >> 8);
        out[2] = static_cast<uint8_t>(second);
        out[3] = static_cast<uint8_t>(static_cast<uint32_t>(second) >> 8);
        out += 4;
    }
    state.predictor = predictor;
    state.stepIndex = static_cast<int32_t>(row / 16);
}

std::vector<uint8_t> DecodeImaAdpcm(std::span<const uint8_t> input, ImaAdpcmState& state) {
    std::vector<uint8_t> output(input.size() * 4);
    DecodeImaAdpcmInto(input, state, output);
    return output;
}

}  // namespace rw
