// High-colour codebooks: CBFZ data unpacked by either LCW form, its 15-bit pixels turned into
// 24-bit blue, green, red.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/expected.h"

namespace rw {

// A 5-bit component (0 to 31) as 8 bits: 0 stays 0, 31 becomes 255.
constexpr uint8_t ExpandFiveBits(uint32_t v) {
    return static_cast<uint8_t>(v * 8 + v / 4);
}

// A 15-bit pixel (bit 15 ignored, red in bits 14-10, green 9-5, blue 4-0) as blue, green, red.
inline void HighColourToBgr(uint16_t pixel, uint8_t* bgr) {
    bgr[0] = ExpandFiveBits(pixel & 0x1Fu);
    bgr[1] = ExpandFiveBits((pixel >> 5) & 0x1Fu);
    bgr[2] = ExpandFiveBits((pixel >> 10) & 0x1Fu);
}

struct HighColourCodebook {
    int32_t entries = 0;
    size_t entryBytes = 0;     // block width * block height * 3
    std::vector<uint8_t> bgr;  // entry after entry, each its rows top first, 3 bytes a pixel
};

// Unpacks a CBFZ sub-chunk for blocks of `blockWidth` x `blockHeight` pixels: LCW as in 8-bit
// files, or, when the first byte is 0, the back-counted form from the second byte on. At most
// kMaxHighColourEntries entries are kept; bytes that do not fill a whole entry are ignored. A
// stream that fails to unpack, or that holds no whole entry, is an error; `codebook` is then
// left as it was.
Expected<void> DecodeHighColourCodebook(std::span<const uint8_t> cbfz, int32_t blockWidth,
                                        int32_t blockHeight, HighColourCodebook& codebook);

}  // namespace rw
