// Small uncompressed AVI files built as other tools write them, with the pictures and sound they
// hold: for the AVI reader's tests, the encoder's input tests and the reader's fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace rw::test {

struct AviSpec {
    int32_t width = 6;
    int32_t height = 4;
    int32_t bits = 24;  // 24 or 32
    bool topDown = false;
    std::string compression = "";  // empty: BI_RGB; else a four-character code
    uint32_t rate = 15, scale = 1;
    int32_t frames = 3;
    bool sound = true;
    int32_t channels = 1;
    int32_t soundBits = 16;
    uint32_t sampleRate = 22050;
    uint16_t soundTag = 1;
    size_t soundBytes = 9;                // per frame: odd sizes need a pad byte
    std::vector<Bytes> soundChunks = {};  // when given, frame f's sound instead
    enum class Index { None, FromMovie, Absolute } index = Index::FromMovie;
    bool recLists = false;  // each frame's chunks in a "rec " list
    bool extended = false;  // the frames after the first in an OpenDML "AVIX" part
};

struct BuiltAvi {
    Bytes file;
    std::vector<Bytes> pictures;  // per frame: blue, green, red, top row first
    std::vector<Bytes> sound;     // per frame: the chunk's bytes
};

namespace detail {
inline void Le(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Code(Bytes& b, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) b.push_back(i < id.size() ? uint8_t(id[i]) : uint8_t(' '));
}
inline Bytes Chunk(const std::string& id, const Bytes& data) {
    Bytes b;
    Code(b, id);
    Le(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2) b.push_back(0);
    return b;
}
inline Bytes List(const std::string& type, const Bytes& body) {
    Bytes data;
    Code(data, type);
    data.insert(data.end(), body.begin(), body.end());
    return Chunk("LIST", data);
}
// A four-character code as a little-endian number.
inline uint32_t Fcc(const std::string& id) {
    Bytes b;
    Code(b, id);
    return Le32(b, 0);
}
// Little-endian fields {value, bytes}, zero-filled to `size` bytes.
inline Bytes Fields(std::initializer_list<std::pair<uint32_t, int>> fields, size_t size = 0) {
    Bytes b;
    for (auto [value, n] : fields) Le(b, value, n);
    if (b.size() < size) b.resize(size, 0);
    return b;
}
// A stream's header and format chunks: the header's type, its scale and rate, then the format.
inline Bytes StreamList(const char* type, uint32_t scale, uint32_t rate, const Bytes& format) {
    const Bytes header =
        Fields({{Fcc(type), 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {scale, 4}, {rate, 4}}, 56);
    return List("strl", Concat({Chunk("strh", header), Chunk("strf", format)}));
}
inline Bytes HeaderList(const AviSpec& s) {
    const uint32_t compression = s.compression.empty() ? 0 : Fcc(s.compression);
    const Bytes video = Fields({{40, 4},
                                {uint32_t(s.width), 4},
                                {uint32_t(s.topDown ? -s.height : s.height), 4},
                                {1, 2},
                                {uint32_t(s.bits), 2},
                                {compression, 4}},
                               40);
    Bytes body = Concat({Chunk("avih", Fields({{1000000u * s.scale / s.rate, 4}}, 56)),
                         StreamList("vids", s.scale, s.rate, video)});
    if (s.sound) {
        const uint32_t align = uint32_t(s.channels * s.soundBits / 8);
        const Bytes audio = Fields({{s.soundTag, 2},
                                    {uint32_t(s.channels), 2},
                                    {s.sampleRate, 4},
                                    {s.sampleRate * align, 4},
                                    {align, 2},
                                    {uint32_t(s.soundBits), 2}});
        body = Concat({body, StreamList("auds", 1, s.sampleRate, audio)});
    }
    return List("hdrl", body);
}
}  // namespace detail

inline BuiltAvi BuildAvi(const AviSpec& s) {
    using namespace detail;
    BuiltAvi out;
    const size_t bpp = size_t(s.bits) / 8, w = size_t(s.width), h = size_t(s.height);
    const size_t stride = (w * bpp + 3) / 4 * 4;
    std::vector<Bytes> frameChunks;  // per frame: its chunks, as the movie list holds them
    for (int32_t f = 0; f < s.frames; ++f) {
        Bytes picture(w * h * 3), stored(stride * h, 0);
        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) {
                const uint8_t px[3] = {uint8_t(x * 40 + f), uint8_t(y * 60 + 3 * f),
                                       uint8_t(17 * f + x * y)};
                const size_t row = s.topDown ? y : h - 1 - y;
                for (size_t c = 0; c < 3; ++c) {
                    picture[3 * (y * w + x) + c] = px[c];
                    stored[row * stride + bpp * x + c] = px[c];
                }
                if (bpp == 4) stored[row * stride + 4 * x + 3] = 0xAA;
            }
        }
        Bytes sound(s.soundBytes);
        for (size_t i = 0; i < sound.size(); ++i) sound[i] = uint8_t(31 * f + 7 * i + 1);
        if (!s.soundChunks.empty()) sound = s.soundChunks[size_t(f)];
        Bytes chunks = Chunk("00dc", stored);
        if (s.sound) {
            const Bytes wb = Chunk("01wb", sound);
            chunks.insert(chunks.begin(), wb.begin(), wb.end());
            out.sound.push_back(sound);
        }
        frameChunks.push_back(s.recLists ? List("rec ", chunks) : chunks);
        out.pictures.push_back(picture);
    }
    const size_t inFirst = s.extended ? 1 : frameChunks.size();
    Bytes movie;
    for (size_t f = 0; f < inFirst; ++f)
        movie.insert(movie.end(), frameChunks[f].begin(), frameChunks[f].end());
    const Bytes header = HeaderList(s);
    Bytes body;
    Code(body, "AVI ");
    body.insert(body.end(), header.begin(), header.end());
    const size_t movieAt = 12 + header.size() + 8;  // the "movi" code, from the file's start
    const Bytes movieList = List("movi", movie);
    body.insert(body.end(), movieList.begin(), movieList.end());
    if (s.index != AviSpec::Index::None) {
        Bytes idx;
        size_t at = 4;  // from "movi"
        while (at < movie.size() + 4) {
            const size_t rel = at;
            const std::string id(movie.begin() + ptrdiff_t(rel - 4),
                                 movie.begin() + ptrdiff_t(rel));
            const uint32_t size = Le32(movie, rel);
            if (id == "LIST") {
                at += 12;
                continue;
            }
            Code(idx, id);
            Le(idx, 0x10, 4);
            Le(idx, uint32_t(s.index == AviSpec::Index::Absolute ? movieAt + at : at), 4);
            Le(idx, size, 4);
            at += 8 + size + size % 2;
        }
        const Bytes chunk = Chunk("idx1", idx);
        body.insert(body.end(), chunk.begin(), chunk.end());
    }
    out.file = Chunk("RIFF", body);
    if (s.extended) {
        Bytes rest;
        for (size_t f = inFirst; f < frameChunks.size(); ++f)
            rest.insert(rest.end(), frameChunks[f].begin(), frameChunks[f].end());
        Bytes part;
        Code(part, "AVIX");
        const Bytes list = List("movi", rest);
        part.insert(part.end(), list.begin(), list.end());
        const Bytes riff = Chunk("RIFF", part);
        out.file.insert(out.file.end(), riff.begin(), riff.end());
    }
    return out;
}

}  // namespace rw::test
