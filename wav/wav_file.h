// WAV sound files: the header of a 16-bit PCM file, and reading plain PCM files.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/expected.h"

namespace rw {

inline constexpr size_t kWavHeaderSize = 44;
// The largest sound data a file may hold: the sizes are 32-bit, the RIFF size counts 36 more.
inline constexpr uint32_t kMaxWavData = 0xFFFFFFFFu - 36 - 1;

// The 44 bytes in front of `dataBytes` bytes of 16-bit PCM of `channels` (1 or 2) interleaved
// channels at `rate` samples a second. An odd `dataBytes` is followed in the file by one pad byte
// 0, which the header counts.
Expected<std::array<uint8_t, kWavHeaderSize>> WavHeader(uint32_t rate, uint32_t dataBytes,
                                                        uint16_t channels = 1);

// A whole 16-bit mono file in memory: the reference the tests and the WAV fuzz target build files
// with (the frame export streams its sound behind WavHeader instead).
Expected<std::vector<uint8_t>> EncodeWav(std::span<const int16_t> samples, uint32_t rate);

// Sound as read: 16-bit samples, channels interleaved.
struct WavSound {
    uint32_t rate = 0;
    uint16_t channels = 0;         // 1 or 2
    uint16_t bitsPerSample = 0;    // as stored: 8 or 16
    std::vector<int16_t> samples;  // 8-bit samples are widened: (value - 128) * 256
};

// Reads a RIFF WAVE file of PCM (format 1, or the extensible format naming PCM), 8 or 16 bits, one
// or two channels, any rate from 1 Hz. Chunks other than "fmt " and "data" are skipped; a data
// chunk longer than the file is read as far as the file goes. Anything else is refused with a
// message. Memory is bounded by the file's size.
Expected<WavSound> DecodeWav(std::span<const uint8_t> file);

}  // namespace rw
