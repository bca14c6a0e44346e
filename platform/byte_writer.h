// Building bytes in memory for the writers: numbers in either byte order, four-character
// identifiers, zeros, and numbers stored back at earlier offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace rw {

class ByteWriter {
  public:
    std::vector<uint8_t> bytes;

    size_t Size() const { return bytes.size(); }
    // The first four characters of `id`.
    void Id(std::string_view id) {
        id = id.substr(0, 4);
        bytes.insert(bytes.end(), id.begin(), id.end());
    }
    void U8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void U16Le(uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32Le(uint32_t v) {
        U16Le(v & 0xFFFF);
        U16Le(v >> 16);
    }
    void U32Be(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) U8(v >> s);
    }
    void Data(std::span<const uint8_t> data) {
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void PutU32BeAt(size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
    void PutU32LeAt(size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

}  // namespace rw
