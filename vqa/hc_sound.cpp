#include "vqa/hc_sound.h"

#include <array>

namespace rw {
namespace {

void PutSample(uint8_t* out, int32_t sample) {
    out[0] = static_cast<uint8_t>(sample);
    out[1] = static_cast<uint8_t>(static_cast<uint32_t>(sample) >> 8);
}

}  // namespace

size_t HighColourSound::Snd2Bytes(size_t size) const {
    return m_channels != 2 ? size * 4 : (size + 1) / 2 * 8;
}

size_t HighColourSound::Snd0Bytes(size_t size) const {
    const size_t frameBytes = static_cast<size_t>(m_channels) * (m_bits == 8 ? 1 : 2);
    return size / frameBytes * static_cast<size_t>(m_channels) * 2;
}

void HighColourSound::DecodeSnd2(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    out.resize(start + Snd2Bytes(data.size()));
    if (m_channels != 2) {
        DecodeImaAdpcmInto(data, m_left, std::span(out).subspan(start));
        return;
    }
    // Each pair of bytes (left, right) gives two samples a channel: L0 R0 L1 R1. A lone last
    // left byte plays against the right channel held at its last value.
    const size_t pairs = (data.size() + 1) / 2;
    uint8_t* at = out.data() + start;
    std::array<uint8_t, 4> left{}, right{};
    for (size_t i = 0; i < pairs; ++i, at += 8) {
        DecodeImaAdpcmInto(data.subspan(2 * i, 1), m_left, left);
        if (2 * i + 1 < data.size()) {
            DecodeImaAdpcmInto(data.subspan(2 * i + 1, 1), m_right, right);
        } else {
            PutSample(right.data(), m_right.predictor);
            PutSample(right.data() + 2, m_right.predictor);
        }
        at[0] = left[0], at[1] = left[1], at[2] = right[0], at[3] = right[1];
        at[4] = left[2], at[5] = left[3], at[6] = right[2], at[7] = right[3];
    }
}

void HighColourSound::DecodeSnd0(std::span<const uint8_t> data, std::vector<uint8_t>& out) const {
    const size_t frameBytes = static_cast<size_t>(m_channels) * (m_bits == 8 ? 1 : 2);
    const size_t whole = data.size() / frameBytes * frameBytes;
    if (m_bits != 8) {
        out.insert(out.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(whole));
        return;
    }
    const size_t start = out.size();
    out.resize(start + whole * 2);
    for (size_t i = 0; i < whole; ++i) {
        PutSample(out.data() + start + 2 * i, (int32_t{data[i]} - 128) * 256);
    }
}

}  // namespace rw
