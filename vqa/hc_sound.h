// The sound chunks of high-colour videos, decoded to 16-bit signed little-endian PCM with the
// channels interleaved, at the file's own rate.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vqa/ima_adpcm.h"

namespace rw {

class HighColourSound {
  public:
    // `channels` 1 or 2; `bits` 8 or 16 (the sample size of SND0 chunks).
    HighColourSound(int32_t channels, int32_t bits) : m_channels(channels), m_bits(bits) {}

    // SND2, IMA ADPCM. Mono: two samples a byte, low nibble first. Stereo: bytes alternate
    // between left and right, left first in every chunk, each byte two samples of its channel.
    // Each channel keeps its own predictor and step index from chunk to chunk. A chunk of odd
    // length ends with a left byte, whose samples play against the right channel held at its last
    // value.
    void DecodeSnd2(std::span<const uint8_t> data, std::vector<uint8_t>& out);
    // SND0, plain PCM: 8-bit unsigned samples become (s - 128) * 256, 16-bit ones are copied.
    // Bytes that do not make a whole sample of every channel at the end of a chunk are dropped.
    void DecodeSnd0(std::span<const uint8_t> data, std::vector<uint8_t>& out) const;
    // The bytes of PCM a chunk of `size` bytes decodes to, without decoding it.
    size_t Snd2Bytes(size_t size) const;
    size_t Snd0Bytes(size_t size) const;

  private:
    int32_t m_channels;
    int32_t m_bits;
    ImaAdpcmState m_left;
    ImaAdpcmState m_right;
};

}  // namespace rw
