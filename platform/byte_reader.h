// Bounds-checked reading of little- and big-endian fields from a byte span. Every read says whether
// the bytes were there; nothing is ever read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace rw {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : m_data(data) {}

    size_t Position() const { return m_pos; }
    size_t Size() const { return m_data.size(); }
    size_t Remaining() const { return m_data.size() - m_pos; }
    bool AtEnd() const { return m_pos >= m_data.size(); }

    bool Skip(size_t n) {
        if (n > Remaining()) return false;
        m_pos += n;
        return true;
    }
    bool Seek(size_t pos) {
        if (pos > m_data.size()) return false;
        m_pos = pos;
        return true;
    }

    std::optional<uint8_t> U8() {
        if (Remaining() < 1) return std::nullopt;
        return m_data[m_pos++];
    }
    std::optional<uint16_t> U16Le() {
        if (Remaining() < 2) return std::nullopt;
        uint16_t v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::optional<uint32_t> U32Le() {
        if (Remaining() < 4) return std::nullopt;
        uint32_t v = LoadU32Le(m_data.data() + m_pos);
        m_pos += 4;
        return v;
    }
    std::optional<uint32_t> U32Be() {
        if (Remaining() < 4) return std::nullopt;
        const uint8_t* p = m_data.data() + m_pos;
        uint32_t v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        m_pos += 4;
        return v;
    }
    // The next n bytes, or nothing when fewer remain.
    std::optional<std::span<const uint8_t>> Bytes(size_t n) {
        if (n > Remaining()) return std::nullopt;
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }

    static uint32_t LoadU32Le(const uint8_t* p) {
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
               (uint32_t{p[3]} << 24);
    }

private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
};

// Little-endian stores into a byte buffer, used by the writers.
inline void StoreU16Le(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32Le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace rw
