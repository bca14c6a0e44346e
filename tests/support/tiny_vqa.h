// Hand-made VQA files for the conversion tests: every byte placed by the test, so each rule of the
// frame loop can be aimed at on its own.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace rw::test {

struct TinySubChunk {
    std::string id;  // four characters
    std::vector<uint8_t> data;
};

struct TinyFrame {
    std::vector<uint8_t> sound;  // the frame's ADPCM bytes (rate / 30 of them)
    std::vector<TinySubChunk> picture;
    bool omit = false;  // no record: the index entry points past the end of the file
    // Replaces the picture chunk's declared size (a damaged or cut chunk).
    int64_t pictureSizeOverride = -1;
};

struct TinyVqa {
    uint16_t width = 4, height = 4;
    uint8_t blockWidth = 4, blockHeight = 2;
    uint16_t rate = 300;  // 75 leading bytes, 10 per frame
    std::vector<uint8_t> leadingSound;
    std::vector<TinyFrame> frames;
    // Index entries replaced by raw values (e.g. a position that is negative as 32 bits).
    std::vector<std::pair<size_t, uint32_t>> rawIndexEntries;
    size_t cutAt = 0;  // when non-zero, the file ends after this many bytes
};

// A chunk as the file holds it: identifier, big-endian size, data, a pad byte after odd data.
inline void AppendChunk(std::vector<uint8_t>& b, const std::string& id,
                        std::span<const uint8_t> data, int64_t declared = -1) {
    const auto size = static_cast<uint32_t>(declared >= 0 ? declared : int64_t(data.size()));
    b.insert(b.end(), id.begin(), id.begin() + 4);
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2) b.push_back(0);
}

inline std::vector<uint8_t> BuildTinyVqa(const TinyVqa& v) {
    const size_t count = v.frames.size();
    std::vector<uint8_t> b(70 + 4 * count, 0);
    std::memcpy(b.data(), "FORM", 4);
    std::memcpy(b.data() + 8, "WVQAVQHD", 8);
    PutLe(b, 24, static_cast<uint32_t>(count), 2);
    PutLe(b, 26, v.width, 2);
    PutLe(b, 28, v.height, 2);
    b[30] = v.blockWidth;
    b[31] = v.blockHeight;
    PutLe(b, 44, v.rate, 2);
    std::vector<uint32_t> offsets(count, 0x10000000);  // far past the end unless written
    for (size_t f = 0; f < count; ++f) {
        const TinyFrame& frame = v.frames[f];
        if (frame.omit) continue;
        if (b.size() % 2) b.push_back(0);
        offsets[f] = static_cast<uint32_t>(b.size());
        if (f == 0) {
            // The leading sound chunk; the frame itself starts 5520 bytes further on.
            const size_t start = b.size();
            AppendChunk(b, "SND2", v.leadingSound);
            b.resize(start + 5520, 0);
        }
        AppendChunk(b, "SND2", frame.sound);
        std::vector<uint8_t> data;
        for (const TinySubChunk& s : frame.picture) AppendChunk(data, s.id, s.data);
        AppendChunk(b, "VQFR", data, frame.pictureSizeOverride);
    }
    for (size_t f = 0; f < count; ++f) PutLe(b, 70 + 4 * f, offsets[f] / 2, 4);
    for (auto [f, raw] : v.rawIndexEntries) PutLe(b, 70 + 4 * f, raw, 4);
    if (v.cutAt != 0 && v.cutAt < b.size()) b.resize(v.cutAt);
    return b;
}

// A palette sub-chunk: colour k is (k, 2k, 3k) in 6-bit intensities, for k below 16.
inline TinySubChunk TinyPalette() {
    TinySubChunk s{"CPL0", {}};
    for (uint8_t k = 0; k < 16; ++k) {
        s.data.push_back(k);
        s.data.push_back(static_cast<uint8_t>(2 * k));
        s.data.push_back(static_cast<uint8_t>(3 * k));
    }
    return s;
}
// A pointer table for a 4 x 4 picture of 4 x 2 blocks: two solid blocks, top and bottom.
inline TinySubChunk TinySolidPicture(uint8_t top, uint8_t bottom) {
    return TinySubChunk{"VPT0", {top, bottom, 0x0F, 0xFF}};
}
// The 48 bytes of a video chunk for that picture: bottom rows first, blue, green, red.
inline std::vector<uint8_t> TinyVideoChunk(uint8_t top, uint8_t bottom) {
    std::vector<uint8_t> out;
    for (uint8_t colour : {bottom, bottom, top, top}) {
        for (int x = 0; x < 4; ++x) {
            out.push_back(static_cast<uint8_t>(3 * colour * 4));  // blue
            out.push_back(static_cast<uint8_t>(2 * colour * 4));  // green
            out.push_back(static_cast<uint8_t>(colour * 4));      // red
        }
    }
    return out;
}

// Sound bytes first, first + 7, first + 14, ...: every sample differs from its neighbours.
inline std::vector<uint8_t> TinyRamp(size_t n, uint8_t first) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + 7 * i);
    return b;
}

// Three frames: a palette and two solid blocks in frame 0, then solid blocks (3, 4) and (5, 6);
// the leading sound a ramp from 1, frame f's a ramp from 2 + f.
inline TinyVqa TinyThreeFrames() {
    TinyVqa v;
    v.leadingSound = TinyRamp(75, 1);
    v.frames = {TinyFrame{TinyRamp(10, 2), {TinyPalette(), TinySolidPicture(1, 2)}},
                TinyFrame{TinyRamp(10, 3), {TinySolidPicture(3, 4)}},
                TinyFrame{TinyRamp(10, 4), {TinySolidPicture(5, 6)}}};
    return v;
}

}  // namespace rw::test
