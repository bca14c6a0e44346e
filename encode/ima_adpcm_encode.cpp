// IMA ADPCM encoding against the decoder's own arithmetic.
#include "encode/ima_adpcm_encode.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "vqa/ima_adpcm.h"

namespace rw {
namespace {

// The decoder's step for one code: the new predictor and step index.
void Step(const ImaAdpcmState& in, int code, ImaAdpcmState& out) {
    const int32_t step = kImaStepTable[static_cast<size_t>(in.stepIndex)];
    const int magnitude = code & 7;
    int32_t difference = (step * magnitude) / 4 + step / 8;
    if (code & 8) difference = -difference;
    int32_t predictor = in.predictor + difference;
    if (predictor > 32767) predictor = 32767;
    if (predictor < -32768) predictor = -32768;
    int32_t index = in.stepIndex + kImaIndexAdjust[static_cast<size_t>(magnitude)];
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    out.predictor = predictor;
    out.stepIndex = index;
}

// The code whose decoded value lies nearest to `target`; ties go to the smaller magnitude.
int BestCode(const ImaAdpcmState& state, int32_t target, ImaAdpcmState& next) {
    int best = 0;
    int32_t bestError = INT32_MAX;
    for (int code = 0; code < 16; ++code) {
        ImaAdpcmState candidate;
        Step(state, code, candidate);
        const int32_t error = std::abs(candidate.predictor - target);
        if (error < bestError || (error == bestError && (code & 7) < (best & 7))) {
            best = code;
            bestError = error;
            next = candidate;
        }
    }
    return best;
}

}  // namespace

std::vector<uint8_t> EncodeImaAdpcm(std::span<const int16_t> samples, ImaAdpcmState& state,
                                    std::vector<int16_t>* decoded) {
    if (state.stepIndex < 0 || state.stepIndex > 88) state.stepIndex = state.stepIndex < 0 ? 0 : 88;
    const size_t count = samples.size() + (samples.size() % 2);
    std::vector<uint8_t> out(count / 2);
    if (decoded) decoded->reserve(decoded->size() + count);
    for (size_t i = 0; i < count; ++i) {
        const int32_t target = i < samples.size() ? samples[i] : samples.back();
        ImaAdpcmState next;
        const int code = BestCode(state, target, next);
        state = next;
        out[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? code : code << 4);
        if (decoded) decoded->push_back(static_cast<int16_t>(state.predictor));
    }
    return out;
}

}  // namespace rw
