#include "avi/avi_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/byte_reader.h"

namespace rw {
namespace {

constexpr size_t kMaxSoundChunk = size_t{256} << 20;
constexpr int64_t kMaxPictureBytes = int64_t{1} << 30;
constexpr size_t kIndexBatch = 4096;  // idx1 entries read at a time

using FourCc = std::array<char, 4>;

FourCc ToFourCc(const uint8_t* p) {
    return {static_cast<char>(p[0]), static_cast<char>(p[1]), static_cast<char>(p[2]),
            static_cast<char>(p[3])};
}
bool Is(const FourCc& id, const char (&text)[5]) {
    return std::memcmp(id.data(), text, 4) == 0;
}

// A four-character code for a message: printable as it is, otherwise its number.
std::string CodecName(uint32_t code) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) return "format " + std::to_string(code);
        name += c;
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The next chunk of a list held in memory: its id and its body (cut short at the list's end); the
// reader moves past the body and its pad byte. False at the list's end.
bool NextChunk(ByteReader& r, FourCc& id, std::span<const uint8_t>& body) {
    if (r.Remaining() < 8) return false;
    auto head = r.Bytes(4);
    id = ToFourCc(head->data());
    const uint32_t size = *r.U32Le();
    body = *r.Bytes(std::min<size_t>(size, r.Remaining()));
    r.Skip(size % 2);
    return true;
}

struct ChunkHeader {
    FourCc id{};
    uint32_t size = 0;
    FourCc listType{};  // for RIFF and LIST
};

class Parser {
  public:
    Parser(InputFile& file, AviSourceInfo& info) : m_file(file), m_info(info) {}

    Expected<void> Run();

  private:
    Error Fail(const std::string& what) const { return Error{"\"" + m_file.Name() + "\" " + what}; }
    Expected<ChunkHeader> HeaderAt(int64_t pos);
    Expected<void> WalkTopLevel(int64_t pos, int64_t end, bool first);
    Expected<void> WalkMovie(int64_t pos, int64_t end);
    Expected<bool> UseIndex();
    Expected<void> ParseHeaderList(std::span<const uint8_t> list);
    Expected<void> ParseStream(std::span<const uint8_t> strl);
    Expected<void> ParseVideoFormat(ByteReader format);
    Expected<void> ParseSoundFormat(ByteReader format);
    void AddChunk(const FourCc& id, int64_t dataAt, uint32_t size);
    Expected<void> Finish();

    InputFile& m_file;
    AviSourceInfo& m_info;
    int64_t m_length = 0;
    int m_streams = 0;
    int m_videoStream = -1;
    int m_soundStream = -1;
    uint32_t m_microSecPerFrame = 0;
    bool m_haveHeaderList = false;
    int64_t m_movieAt = -1;  // the "movi" code of the first movie list
    int64_t m_movieEnd = -1;
    int64_t m_indexAt = -1;  // the data of idx1
    uint32_t m_indexSize = 0;
};

Expected<ChunkHeader> Parser::HeaderAt(int64_t pos) {
    std::array<uint8_t, 12> b{};
    if (auto r = m_file.Seek(pos); !r) return r.error();
    auto got = m_file.Read(b);
    if (!got) return got.error();
    if (*got < 8) return Fail("ends inside a chunk header at position " + std::to_string(pos));
    ChunkHeader h;
    h.id = ToFourCc(b.data());
    h.size = ByteReader::LoadU32Le(b.data() + 4);
    if (*got == 12) h.listType = ToFourCc(b.data() + 8);
    return h;
}

Expected<void> Parser::Run() {
    auto length = m_file.Length();
    if (!length) return length.error();
    m_length = *length;
    auto riff = HeaderAt(0);
    if (!riff || !Is(riff->id, "RIFF") || !Is(riff->listType, "AVI ")) {
        return Fail("is not an AVI file");
    }
    int64_t end = std::min<int64_t>(m_length, 8 + int64_t{riff->size});
    if (auto r = WalkTopLevel(12, end, true); !r) return r;
    if (!m_haveHeaderList) return Fail("has no AVI header list");
    if (m_movieAt < 0) return Fail("has no movie list");
    auto indexed = UseIndex();
    if (!indexed) return indexed.error();
    if (!*indexed) {
        if (auto r = WalkMovie(m_movieAt + 4, m_movieEnd); !r) return r;
    }
    // OpenDML: further RIFF "AVIX" parts, each with a movie list of its own.
    int64_t pos = end + (end % 2);
    while (pos + 12 <= m_length) {
        auto next = HeaderAt(pos);
        if (!next || !Is(next->id, "RIFF") || !Is(next->listType, "AVIX")) break;
        const int64_t partEnd = std::min<int64_t>(m_length, pos + 8 + int64_t{next->size});
        if (auto r = WalkTopLevel(pos + 12, partEnd, false); !r) return r;
        pos = partEnd + (partEnd % 2);
    }
    return Finish();
}

Expected<void> Parser::WalkTopLevel(int64_t pos, int64_t end, bool first) {
    while (pos + 8 <= end) {
        auto h = HeaderAt(pos);
        if (!h) return h.error();
        const int64_t chunkEnd = pos + 8 + int64_t{h->size};
        if (Is(h->id, "LIST") && Is(h->listType, "hdrl") && first && !m_haveHeaderList) {
            if (chunkEnd > m_length) return Fail("ends inside its header list");
            if (h->size < 4 || h->size > kAviMaxHeaderList) {
                return Fail("has a header list of " + std::to_string(h->size) +
                            " bytes, which cannot be read");
            }
            std::vector<uint8_t> list(h->size - 4);
            if (auto r = m_file.Seek(pos + 12); !r) return r;
            if (auto r = m_file.ReadExact(list); !r) return r;
            if (auto r = ParseHeaderList(list); !r) return r;
            m_haveHeaderList = true;
        } else if (Is(h->id, "LIST") && Is(h->listType, "movi")) {
            if (!m_haveHeaderList) return Fail("has its movie list before the header list");
            if (first && m_movieAt < 0) {
                m_movieAt = pos + 8;
                m_movieEnd = std::min(chunkEnd, m_length);
            } else if (!first) {
                if (auto r = WalkMovie(pos + 12, std::min(chunkEnd, m_length)); !r) return r;
            }
        } else if (Is(h->id, "idx1") && first) {
            m_indexAt = pos + 8;
            m_indexSize = h->size;
        }
        pos = chunkEnd + (h->size % 2);
    }
    return {};
}

Expected<void> Parser::WalkMovie(int64_t pos, int64_t end) {
    while (pos + 8 <= end) {
        auto h = HeaderAt(pos);
        if (!h) return h.error();
        if (Is(h->id, "LIST")) {  // "rec " groups: their chunks follow in the same sequence
            pos += 12;
            continue;
        }
        const int64_t dataAt = pos + 8;
        if (dataAt + int64_t{h->size} > m_length) break;  // a cut-off last chunk is dropped
        AddChunk(h->id, dataAt, h->size);
        pos = dataAt + int64_t{h->size} + (h->size % 2);
    }
    return {};
}

// Takes the first part's chunks from idx1 when its entries point at them (offsets counted from
// the "movi" code or from the start of the file, as writers differ). False: walk instead.
Expected<bool> Parser::UseIndex() {
    if (m_indexAt < 0 || m_indexSize < 16 || m_indexAt + int64_t{m_indexSize} > m_length) {
        return false;
    }
    std::vector<uint8_t> batch;
    int64_t base = -1;
    const size_t entries = m_indexSize / 16;
    AviSourceInfo saved = m_info;
    for (size_t first = 0; first < entries; first += kIndexBatch) {
        const size_t n = std::min(kIndexBatch, entries - first);
        batch.resize(n * 16);
        if (auto r = m_file.Seek(m_indexAt + static_cast<int64_t>(first * 16)); !r)
            return r.error();
        if (auto r = m_file.ReadExact(batch); !r) return r.error();
        for (size_t e = 0; e < n; ++e) {
            const uint8_t* p = &batch[e * 16];
            const FourCc id = ToFourCc(p);
            const uint32_t offset = ByteReader::LoadU32Le(p + 8);
            const uint32_t size = ByteReader::LoadU32Le(p + 12);
            if (base < 0) {
                for (int64_t candidate : {m_movieAt, int64_t{0}}) {
                    auto h = HeaderAt(candidate + offset);
                    if (h && h->id == id && h->size == size) {
                        base = candidate;
                        break;
                    }
                }
                if (base < 0) return false;
            }
            const int64_t dataAt = base + int64_t{offset} + 8;
            if (dataAt + int64_t{size} > m_length || dataAt > m_movieEnd) {
                m_info = saved;
                return false;
            }
            if (!Is(id, "LIST")) AddChunk(id, dataAt, size);
        }
    }
    return true;
}

void Parser::AddChunk(const FourCc& id, int64_t dataAt, uint32_t size) {
    if (id[0] < '0' || id[0] > '9' || id[1] < '0' || id[1] > '9') return;
    const int stream = (id[0] - '0') * 10 + (id[1] - '0');
    const bool picture = (id[2] == 'd' && (id[3] == 'b' || id[3] == 'c'));
    if (stream == m_videoStream && picture) {
        m_info.videoChunks.push_back({dataAt, size});
    } else if (stream == m_soundStream && id[2] == 'w' && id[3] == 'b') {
        if (m_info.soundChunks.empty() && m_info.videoChunks.empty() && m_info.channels == 1 &&
            m_info.bitsPerSample == 16 && m_info.sampleRate == 22050 && size == 22050) {
            m_info.leadingSoundPadded = true;
        }
        m_info.soundChunks.push_back({dataAt, size});
    }
}

Expected<void> Parser::ParseHeaderList(std::span<const uint8_t> list) {
    ByteReader r(list);
    FourCc id{};
    std::span<const uint8_t> body;
    while (NextChunk(r, id, body)) {
        if (Is(id, "avih") && body.size() >= 4) {
            m_microSecPerFrame = ByteReader::LoadU32Le(body.data());
        } else if (Is(id, "LIST") && body.size() >= 4 && Is(ToFourCc(body.data()), "strl")) {
            if (auto s = ParseStream(body.subspan(4)); !s) return s;
            ++m_streams;
        }
    }
    return {};
}

Expected<void> Parser::ParseStream(std::span<const uint8_t> strl) {
    ByteReader r(strl);
    FourCc type{};
    uint32_t scale = 0, rate = 0;
    FourCc id{};
    std::span<const uint8_t> body;
    while (NextChunk(r, id, body)) {
        if (Is(id, "strh") && body.size() >= 28) {
            type = ToFourCc(body.data());
            scale = ByteReader::LoadU32Le(body.data() + 20);
            rate = ByteReader::LoadU32Le(body.data() + 24);
        } else if (Is(id, "strf") && Is(type, "vids") && m_videoStream < 0) {
            if (auto v = ParseVideoFormat(ByteReader(body)); !v) return v;
            m_videoStream = m_streams;
            m_info.rate = rate;
            m_info.scale = scale;
        } else if (Is(id, "strf") && Is(type, "auds") && m_soundStream < 0) {
            if (auto s = ParseSoundFormat(ByteReader(body)); !s) return s;
            m_soundStream = m_streams;
        }
    }
    return {};
}

Expected<void> Parser::ParseVideoFormat(ByteReader f) {
    f.Skip(4);
    auto width = f.U32Le();
    auto height = f.U32Le();
    f.Skip(2);
    auto bits = f.U16Le();
    auto compression = f.U32Le();
    if (!compression) return Fail("has a picture format too short to read");
    const bool rgb = *compression == 0 || CodecName(*compression) == "DIB" ||
                     CodecName(*compression) == "RGB" || CodecName(*compression) == "raw";
    if (!rgb) {
        return Fail("holds compressed video (" +
                    (*compression == 3 ? std::string("bit fields") : CodecName(*compression)) +
                    "); only uncompressed RGB is read. Convert it first, e.g. with \"ffmpeg -i " +
                    m_file.Name() + " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le plain.avi\"");
    }
    if (*bits != 24 && *bits != 32) {
        return Fail("holds " + std::to_string(*bits) +
                    "-bit pictures; only 24- and 32-bit RGB is read");
    }
    const auto w = static_cast<int32_t>(*width);
    const auto h = static_cast<int32_t>(*height);
    if (w < 1 || w > kAviMaxDimension || h == 0 || h < -kAviMaxDimension || h > kAviMaxDimension) {
        return Fail("declares a picture of " + std::to_string(w) + "x" + std::to_string(h) +
                    " pixels, which cannot be read");
    }
    m_info.width = w;
    m_info.height = h < 0 ? -h : h;
    m_info.topDown = h < 0;
    m_info.bitsPerPixel = *bits;
    m_info.rowBytes = ((static_cast<size_t>(w) * *bits + 31) / 32) * 4;
    if (static_cast<int64_t>(m_info.rowBytes) * m_info.height > kMaxPictureBytes) {
        return Fail("declares pictures too large to read");
    }
    return {};
}

Expected<void> Parser::ParseSoundFormat(ByteReader f) {
    auto tag = f.U16Le();
    auto channels = f.U16Le();
    auto rate = f.U32Le();
    f.Skip(6);
    auto bits = f.U16Le();
    if (!bits) return Fail("has a sound format too short to read");
    uint32_t format = *tag;
    if (format == 0xFFFE) {  // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes
        f.Skip(8);
        auto sub = f.U16Le();
        format = sub ? *sub : 0;
    }
    if (format != 1) {
        return Fail("holds compressed sound (format " + std::to_string(format) +
                    "); only PCM sound is read. Convert it first, e.g. with \"ffmpeg -i " +
                    m_file.Name() + " -c:v copy -c:a pcm_s16le plain.avi\"");
    }
    if ((*bits != 8 && *bits != 16) || *channels < 1 || *channels > 8 || *rate < 1 ||
        *rate > 768000) {
        return Fail("holds sound of " + std::to_string(*bits) + " bits, " +
                    std::to_string(*channels) + " channels at " + std::to_string(*rate) +
                    " Hz; 8- or 16-bit PCM of 1 to 8 channels is read");
    }
    m_info.hasSound = true;
    m_info.channels = *channels;
    m_info.bitsPerSample = *bits;
    m_info.sampleRate = *rate;
    return {};
}

Expected<void> Parser::Finish() {
    if (m_videoStream < 0) return Fail("holds no video stream");
    if (m_info.videoChunks.empty()) return Fail("holds no frames");
    if (m_info.rate == 0 || m_info.scale == 0) {
        if (m_microSecPerFrame == 0) return Fail("does not say its frame rate");
        m_info.rate = 1000000;
        m_info.scale = m_microSecPerFrame;
    }
    if (m_soundStream < 0) m_info.hasSound = false;
    // Empty chunks repeat the picture before them, so a few bytes could claim any number of
    // pictures of any size: the file has to hold at least one of them whole.
    const size_t whole =
        size_t(m_info.width) * size_t(m_info.bitsPerPixel / 8) * size_t(m_info.height);
    const bool backed = std::any_of(m_info.videoChunks.begin(), m_info.videoChunks.end(),
                                    [whole](const AviChunkRef& c) { return c.size >= whole; });
    if (!backed) {
        return Fail("holds no whole picture of the " + std::to_string(m_info.width) + "x" +
                    std::to_string(m_info.height) + " pixels it declares (" +
                    std::to_string(whole) + " bytes): its frame chunks are all shorter");
    }
    return {};
}

}  // namespace

Expected<AviReader> AviReader::Open(InputFile& file) {
    AviReader reader(file);
    Parser parser(file, reader.m_info);
    if (auto r = parser.Run(); !r) return r.error();
    return reader;
}

Expected<void> AviReader::ReadFrame(size_t index, std::span<uint8_t> out) {
    const AviSourceInfo& in = m_info;
    const auto w = static_cast<size_t>(in.width), h = static_cast<size_t>(in.height);
    const size_t bytesPerPixel = static_cast<size_t>(in.bitsPerPixel) / 8;
    if (index >= in.videoChunks.size() || out.size() < w * h * 3) {
        return Error{"No frame " + std::to_string(index) + " in \"" + m_file->Name() + "\""};
    }
    const AviChunkRef chunk = in.videoChunks[index];
    if (chunk.size == 0) return {};
    size_t stride = in.rowBytes;
    if (chunk.size < stride * h && chunk.size >= w * bytesPerPixel * h) {
        stride = w * bytesPerPixel;  // rows without padding, as some writers store them
    }
    if (chunk.size < stride * h) {
        return Error{"\"" + m_file->Name() + "\": frame " + std::to_string(index) + " holds " +
                     std::to_string(chunk.size) + " bytes, a picture needs " +
                     std::to_string(stride * h)};
    }
    m_row.resize(stride * h);
    if (auto r = m_file->Seek(chunk.offset); !r) return r;
    if (auto r = m_file->ReadExact(m_row); !r) return r;
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = &m_row[(in.topDown ? y : h - 1 - y) * stride];
        uint8_t* dst = &out[y * w * 3];
        if (bytesPerPixel == 3) {
            std::memcpy(dst, src, w * 3);
        } else {
            for (size_t x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
        }
    }
    return {};
}

Expected<std::vector<uint8_t>> AviReader::ReadSound(size_t index) {
    if (index >= m_info.soundChunks.size()) {
        return Error{"No sound chunk " + std::to_string(index) + " in \"" + m_file->Name() + "\""};
    }
    const AviChunkRef chunk = m_info.soundChunks[index];
    if (chunk.size > kMaxSoundChunk) {
        return Error{"\"" + m_file->Name() + "\": a sound chunk of " + std::to_string(chunk.size) +
                     " bytes is more than can be read at once"};
    }
    std::vector<uint8_t> data(chunk.size);
    if (auto r = m_file->Seek(chunk.offset); !r) return r.error();
    if (auto r = m_file->ReadExact(data); !r) return r.error();
    return data;
}

}  // namespace rw
