// Building VQA files in memory: chunks with a 4-character identifier, a big-endian size and a pad
// byte after odd-sized data (header fields are little-endian). Shared by the encoder and the
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

#include "platform/byte_writer.h"

namespace rw {

class VqaBytes : public ByteWriter {
  public:
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
