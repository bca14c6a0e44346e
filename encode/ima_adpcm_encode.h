// IMA ADPCM encoding against the project's own decoder (vqa/ima_adpcm.h): its difference formula,
// not the reference one, so that what the decoder plays is what the encoder meant.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vqa/ima_adpcm.h"

namespace rw {

// Encodes samples as 4-bit codes, low nibble first, choosing for each sample the code whose decoded
// value comes nearest, by the decoder's own arithmetic. `state` is the decoder state before the
// first sample and is left as the decoder will leave it. An odd count is padded with a copy of the
// last sample. `decoded`, when given, receives the samples a decoder will produce.
std::vector<uint8_t> EncodeImaAdpcm(std::span<const int16_t> samples, ImaAdpcmState& state,
                                    std::vector<int16_t>* decoded = nullptr);

}  // namespace rw
