// Small helpers for building and reading byte sequences in tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rw::test {

using Bytes = std::vector<uint8_t>;

// Little-endian readers and four-character codes, bounds left to the caller.
inline uint32_t Le32(std::span<const uint8_t> b, size_t at) {
    return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
           (uint32_t{b[at + 3]} << 24);
}
inline std::string Id(std::span<const uint8_t> b, size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

// "81 41 00 01" -> {0x81, 0x41, 0x00, 0x01}; spaces are ignored.
inline Bytes Hex(std::string_view text) {
    Bytes out;
    std::string digits;
    for (char c : text) {
        if (c == ' ') continue;
        digits += c;
        if (digits.size() == 2) {
            out.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

// Writes `v` little-endian into `n` bytes at `at`.
inline void PutLe(Bytes& b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
// The first `size` bytes.
inline Bytes Cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Repeat(uint8_t value, size_t count) {
    return Bytes(count, value);
}

inline Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes U32Be(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// LCW stream made only of literal runs (and the end command): the simplest valid packing.
inline Bytes PackLiterally(std::span<const uint8_t> data) {
    Bytes out;
    for (size_t i = 0; i < data.size(); i += 63) {
        size_t n = std::min<size_t>(63, data.size() - i);
        out.push_back(static_cast<uint8_t>(0x80 | n));
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
                   data.begin() + static_cast<ptrdiff_t>(i + n));
    }
    out.push_back(0x80);
    return out;
}

// A picture of 3-byte pixels with its rows in the opposite order: top row first <-> bottom row
// first.
inline Bytes FlipRows(std::span<const uint8_t> image, size_t width, size_t height) {
    Bytes out;
    for (size_t y = height, row = 3 * width; y-- > 0;) {
        out.insert(out.end(), image.begin() + y * row, image.begin() + (y + 1) * row);
    }
    return out;
}

// A stable fingerprint of bytes for golden results (64-bit FNV-1a), as 16 hex digits.
inline std::string Fingerprint(std::span<const uint8_t> bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3u;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

// Bytes as a hex dump, 16 to a line behind their offset, to show what a golden result missed.
inline std::string HexDump(std::span<const uint8_t> bytes) {
    std::string out;
    char cell[24];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            std::snprintf(cell, sizeof cell, "%s%06zx:", i == 0 ? "" : "\n", i);
            out += cell;
        }
        std::snprintf(cell, sizeof cell, " %02x", bytes[i]);
        out += cell;
    }
    return out + "\n";
}

}  // namespace rw::test
