// IMA ADPCM encoding against the decoder's own arithmetic.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "tools/synth/vqa_synth.h"

namespace rw::synth {
namespace {

constexpr std::array<int32_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int32_t, 8> kIndexAdjust = {-1, -1, -1, -1, 2, 4, 6, 8};

// The decoder's step for one code: the new predictor and step index.
void Step(const ImaAdpcmState& in, int code, ImaAdpcmState& out) {
    const int32_t step = kStepTable[static_cast<size_t>(in.stepIndex)];
    const int magnitude = code & 7;
    int32_t difference = (step * magnitude) / 4 + step / 8;
    if (code & 8) difference = -difference;
    int32_t predictor = in.predictor + difference;
    if (predictor > 32767) predictor = 32767;
    if (predictor < -32768) predictor = -32768;
    int32_t index = in.stepIndex + kIndexAdjust[static_cast<size_t>(magnitude)];
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

}  // namespace rw::synth
