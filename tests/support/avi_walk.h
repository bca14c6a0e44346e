// Reads back an AVI file we wrote, independently of the writers: walks the RIFF structure, checks
// every declared size against the bytes present, and resolves the index. Shared by the tests of
// the writers, the conversion and the command line.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace rw::test {

struct AviChunk {
    std::string id;
    uint32_t offset = 0;  // of the identifier
    uint32_t size = 0;    // declared
    std::span<const uint8_t> data;
};

struct AviIndexEntry {
    std::string id;
    uint32_t flags = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct AviWalk {
    std::string problem;  // empty when the file is consistent
    uint32_t frames = 0, width = 0, height = 0;
    std::vector<AviChunk> movie;  // the chunks of the movie list, in file order
    std::vector<AviIndexEntry> index;
    std::vector<std::span<const uint8_t>> videoFrames;  // bottom row first, as stored
    std::vector<uint8_t> sound;                         // all sound chunks joined
};

// Checks: RIFF size = length - 8; the header list spans 12..511; the movie list spans exactly its
// chunks (no chunk crosses its end); the index follows it and ends the file; every index entry
// points at a chunk of the named id and declared size.
inline AviWalk WalkAvi(std::span<const uint8_t> file) {
    AviWalk w;
    auto fail = [&](std::string why) {
        if (w.problem.empty()) w.problem = std::move(why);
        return w;
    };
    if (file.size() < 524) return fail("shorter than the header block");
    if (Id(file, 0) != "RIFF" || Id(file, 8) != "AVI ") return fail("not RIFF AVI");
    if (Le32(file, 4) != file.size() - 8) {
        return fail("RIFF size " + std::to_string(Le32(file, 4)) + " but length - 8 is " +
                    std::to_string(file.size() - 8));
    }
    if (Id(file, 12) != "LIST" || Le32(file, 16) != 492 || Id(file, 20) != "hdrl") {
        return fail("header list");
    }
    w.frames = Le32(file, 48);
    w.width = Le32(file, 64);
    w.height = Le32(file, 68);
    if (Id(file, 512) != "LIST" || Id(file, 520) != "movi") return fail("movie list head");
    const uint64_t movieEnd = 520 + uint64_t{Le32(file, 516)};
    if (movieEnd > file.size()) return fail("movie list runs past the end of the file");
    uint64_t pos = 524;
    while (pos < movieEnd) {
        if (pos + 8 > movieEnd) return fail("chunk header crosses the end of the movie list");
        AviChunk c;
        c.id = Id(file, pos);
        c.offset = static_cast<uint32_t>(pos);
        c.size = Le32(file, pos + 4);
        if (pos + 8 + c.size > movieEnd) {
            return fail("chunk at " + std::to_string(pos) + " crosses the end of the movie list");
        }
        c.data = file.subspan(pos + 8, c.size);
        if (c.id == "00db") w.videoFrames.push_back(c.data);
        if (c.id == "01wb") w.sound.insert(w.sound.end(), c.data.begin(), c.data.end());
        w.movie.push_back(c);
        pos += 8 + c.size;
    }
    if (pos != movieEnd) return fail("movie list size does not end at a chunk boundary");
    if (pos + 8 > file.size() || Id(file, pos) != "idx1") return fail("no index after the movie");
    const uint32_t indexSize = Le32(file, pos + 4);
    if (pos + 8 + indexSize != file.size()) return fail("index does not end the file");
    if (indexSize % 16 != 0) return fail("index size not a multiple of 16");
    for (uint64_t e = pos + 8; e < file.size(); e += 16) {
        AviIndexEntry entry{Id(file, e), Le32(file, e + 4), Le32(file, e + 8), Le32(file, e + 12)};
        if (uint64_t{entry.offset} + 8 > file.size() || Id(file, entry.offset) != entry.id ||
            Le32(file, entry.offset + 4) != entry.size) {
            return fail("index entry " + std::to_string(w.index.size()) +
                        " does not point at its chunk");
        }
        w.index.push_back(entry);
    }
    if (w.index.size() != w.movie.size()) return fail("index and movie list differ in length");
    return w;
}

// The whole 16-bit samples of all sound chunks (an odd-sized chunk ends in half a sample).
inline std::vector<uint8_t> WholeSamples(const AviWalk& w) {
    std::vector<uint8_t> samples;
    for (const AviChunk& c : w.movie) {
        if (c.id == "01wb")
            samples.insert(samples.end(), c.data.begin(), c.data.end() - c.size % 2);
    }
    return samples;
}

// The chunks of the movie list as "id@offset+size" and the index entries' flags, for golden
// layouts: "01wb@524+22050 00db@22582+24 | 0 16".
inline std::string Layout(const AviWalk& w) {
    std::string out;
    for (const AviChunk& c : w.movie) {
        out += c.id + "@" + std::to_string(c.offset) + "+" + std::to_string(c.size) + " ";
    }
    out += "|";
    for (const AviIndexEntry& e : w.index) out += " " + std::to_string(e.flags);
    return out;
}

}  // namespace rw::test
