// Building VQA files in memory: chunks with a 4-character identifier, a big-endian size and a pad
// byte after odd-sized data; header fields little-endian. Shared by the encoder and the
// synthesiser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rw {

class VqaBytes {
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
    // Identifier, size, data, and the pad byte 0 after odd-sized data. Throws std::length_error
    // for data a chunk's size cannot count.
    void Chunk(std::string_view id, std::span<const uint8_t> data) {
        if (data.size() > size_t(std::numeric_limits<int32_t>::max())) {
            throw std::length_error("a chunk of " + std::to_string(data.size()) +
                                    " bytes is too large for a VQA file");
        }
        Id(id);
        U32Be(static_cast<uint32_t>(data.size()));
        Data(data);
        if (data.size() % 2) U8(0);
    }
};

}  // namespace rw
