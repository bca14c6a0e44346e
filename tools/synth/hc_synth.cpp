#include "tools/synth/hc_synth.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "encode/ima_adpcm_encode.h"
#include "encode/lcw_compress.h"
#include "tools/synth/lcw_back_counted.h"
#include "tools/synth/scene.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/vqa_bytes.h"

namespace rw::synth {
namespace {

constexpr int32_t kMaxEntries = 8192;

// ---- bytes ----

class ChunkWriter : public VqaBytes {
  public:
    // A container of `inner` (whole sub-chunks, pads included); its size counts the pad byte
    // after the last sub-chunk or not, as `countPad` says.
    void Container(std::string_view id, const std::vector<uint8_t>& inner, bool lastOdd,
                   bool countPad) {
        const size_t size = inner.size() - (lastOdd && !countPad ? 1 : 0);
        Id(id);
        U32Be(static_cast<uint32_t>(size));
        bytes.insert(bytes.end(), inner.begin(), inner.end());
    }
};

std::vector<uint8_t> Text(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// ---- pictures ----

struct Geometry {
    int32_t width, height, bw, bh, cols, rows;
    size_t Pixels() const { return static_cast<size_t>(bw) * static_cast<size_t>(bh); }
    size_t Blocks() const { return static_cast<size_t>(cols) * static_cast<size_t>(rows); }
    size_t PixelAt(size_t block, size_t i) const {
        const size_t x = block % static_cast<size_t>(cols) * static_cast<size_t>(bw) +
                         i % static_cast<size_t>(bw);
        const size_t y = block / static_cast<size_t>(cols) * static_cast<size_t>(bh) +
                         i / static_cast<size_t>(bw);
        return y * static_cast<size_t>(width) + x;
    }
};

// A codebook of 15-bit blocks and, per frame of its group, the entry wanted in each block.
struct Group {
    std::vector<uint16_t> codebook;
    std::vector<std::vector<int32_t>> wanted;
};

uint16_t FifteenBits(const uint8_t* bgr) {
    return static_cast<uint16_t>(((bgr[2] >> 3) << 10) | ((bgr[1] >> 3) << 5) | (bgr[0] >> 3));
}

// The frames' blocks as keys (their bytes), counted.
struct BlockCensus {
    std::unordered_map<std::string, int32_t> ids;
    std::vector<std::string> blocks;
    std::vector<int64_t> counts;
    std::vector<std::vector<int32_t>> frames;  // per frame, per block: its id
};

BlockCensus TakeCensus(const TrueColourScene& scene, const Geometry& g, int32_t first,
                       int32_t count) {
    BlockCensus c;
    std::vector<uint8_t> bgr(static_cast<size_t>(g.width) * static_cast<size_t>(g.height) * 3);
    std::string key(g.Pixels() * 2, '\0');
    for (int32_t f = first; f < first + count; ++f) {
        scene.Render(f, bgr);
        std::vector<int32_t>& ids = c.frames.emplace_back(g.Blocks());
        for (size_t b = 0; b < g.Blocks(); ++b) {
            for (size_t i = 0; i < g.Pixels(); ++i) {
                const uint16_t v = FifteenBits(&bgr[g.PixelAt(b, i) * 3]);
                std::memcpy(&key[2 * i], &v, 2);
            }
            auto [it, added] = c.ids.try_emplace(key, static_cast<int32_t>(c.blocks.size()));
            if (added) {
                c.blocks.push_back(key);
                c.counts.push_back(0);
            }
            ++c.counts[static_cast<size_t>(it->second)];
            ids[b] = it->second;
        }
    }
    return c;
}

// The most used blocks become the entries, most used first (so the one-byte entry numbers reach
// the common ones); the rest are drawn with an entry that starts with the same pixel, or entry 0.
Group QuantiseGroup(const TrueColourScene& scene, const Geometry& g, int32_t first, int32_t count,
                    int32_t minEntries) {
    const BlockCensus c = TakeCensus(scene, g, first, count);
    std::vector<size_t> order(c.blocks.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return c.counts[a] > c.counts[b]; });
    const size_t kept = std::min(order.size(), static_cast<size_t>(kMaxEntries));
    std::vector<int32_t> entryOf(c.blocks.size(), 0);
    std::unordered_map<uint16_t, int32_t> byFirstPixel;
    Group group;
    for (size_t n = 0; n < order.size(); ++n) {
        const std::string& key = c.blocks[order[n]];
        uint16_t firstPixel = 0;
        std::memcpy(&firstPixel, key.data(), 2);
        if (n < kept) {
            entryOf[order[n]] = static_cast<int32_t>(n);
            byFirstPixel.try_emplace(firstPixel, static_cast<int32_t>(n));
            const size_t at = group.codebook.size();
            group.codebook.resize(at + g.Pixels());
            std::memcpy(&group.codebook[at], key.data(), key.size());
        } else {
            auto it = byFirstPixel.find(firstPixel);
            entryOf[order[n]] = it == byFirstPixel.end() ? 0 : it->second;
        }
    }
    // Unused entries: gradients with repeats, so both LCW forms find copies far back.
    for (auto e = static_cast<int32_t>(kept); e < minEntries; ++e) {
        for (size_t i = 0; i < g.Pixels(); ++i) {
            group.codebook.push_back(static_cast<uint16_t>((e % 97) * 331 + (e / 97) + i * 3) &
                                     0x7FFF);
        }
    }
    for (const auto& ids : c.frames) {
        std::vector<int32_t>& wanted = group.wanted.emplace_back(ids.size());
        for (size_t b = 0; b < ids.size(); ++b) wanted[b] = entryOf[static_cast<size_t>(ids[b])];
    }
    return group;
}

// ---- pointer tables ----

class TableWriter {
  public:
    TableWriter(HighColourSynthVideo& video, Random& random) : m_video(video), m_random(random) {}

    // Commands that turn what `shown` holds into `wanted`, block by block in reading order, with
    // `keep` marking blocks that already show their entry.
    std::vector<uint8_t> Write(const std::vector<int32_t>& wanted, const std::vector<bool>& keep) {
        m_out.clear();
        if (m_random.Below(3) == 0) ZeroCount(0x0000, 0);
        const size_t n = wanted.size();
        for (size_t k = 0; k < n;) {
            size_t run = 1;
            if (keep[k]) {
                while (k + run < n && keep[k + run] && run < 0x1FFF) ++run;
                Word(0x0000 | static_cast<uint32_t>(run), 0);
            } else {
                while (k + run < n && !keep[k + run] && wanted[k + run] == wanted[k]) ++run;
                run = Draw(wanted, keep, k, run);
            }
            k += run;
        }
        return m_out;
    }

  private:
    // A skip of 0 blocks, or a repeat of 0 times (its count byte 0): both draw nothing.
    void ZeroCount(uint32_t w, int command) {
        Word(w, command);
        if (command == 5) m_out.push_back(0);
        ++m_video.zeroCounts;
    }
    void Word(uint32_t w, int command) {
        m_out.push_back(static_cast<uint8_t>(w));
        m_out.push_back(static_cast<uint8_t>(w >> 8));
        ++m_video.commands[static_cast<size_t>(command)];
    }
    // Draws from block k on, where `same` blocks want the same entry; returns the blocks drawn.
    size_t Draw(const std::vector<int32_t>& wanted, const std::vector<bool>& keep, size_t k,
                size_t same) {
        const auto entry = static_cast<uint32_t>(wanted[k]);
        if (entry < 256 && same >= 2 && m_random.Below(4) != 0) {
            const size_t count = std::min<size_t>(same, 64) & ~size_t{1};
            Word(0x2000 | ((static_cast<uint32_t>(count / 2) - 1) << 8) | entry, 1);
            return count;
        }
        if (same >= 2) {
            const size_t count = std::min<size_t>(same, 255);
            if (m_random.Below(8) == 0) ZeroCount(0xA000 | entry, 5);
            Word(0xA000 | entry, 5);
            m_out.push_back(static_cast<uint8_t>(count));
            return count;
        }
        size_t list = 1;  // blocks from k on that a list can take: drawn, entries under 256
        while (k + list < wanted.size() && !keep[k + list] && wanted[k + list] < 256 && list < 65) {
            ++list;
        }
        if (entry < 256 && list >= 3) {
            const size_t further = (list - 1) & ~size_t{1};
            Word(0x4000 | ((static_cast<uint32_t>(further / 2) - 1) << 8) | entry, 2);
            for (size_t i = 1; i <= further; ++i)
                m_out.push_back(static_cast<uint8_t>(wanted[k + i]));
            return 1 + further;
        }
        Word(0x6000 | entry, 3);
        return 1;
    }

    HighColourSynthVideo& m_video;
    Random& m_random;
    std::vector<uint8_t> m_out;
};

// What a reader shows: 15-bit pixels, top row first, 0 (black) where nothing was drawn.
struct Shown {
    std::vector<uint16_t> pixels;

    bool Holds(const Geometry& g, size_t block, const uint16_t* entry) const {
        for (size_t i = 0; i < g.Pixels(); ++i) {
            if (pixels[g.PixelAt(block, i)] != entry[i]) return false;
        }
        return true;
    }
    void Put(const Geometry& g, size_t block, const uint16_t* entry) {
        for (size_t i = 0; i < g.Pixels(); ++i) pixels[g.PixelAt(block, i)] = entry[i];
    }
    std::vector<uint8_t> Bgr() const {
        std::vector<uint8_t> out(pixels.size() * 3);
        for (size_t i = 0; i < pixels.size(); ++i) {
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = (pixels[i] >> (5 * c)) & 0x1Fu;
                out[3 * i + static_cast<size_t>(c)] = static_cast<uint8_t>(v * 8 + v / 4);
            }
        }
        return out;
    }
};

// ---- sound ----

void AppendPcm(std::vector<uint8_t>& out, int32_t sample) {
    out.push_back(static_cast<uint8_t>(sample));
    out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(sample) >> 8));
}

int32_t ChannelsOf(HighColourSoundKind kind) {
    return kind == HighColourSoundKind::Snd2Stereo || kind == HighColourSoundKind::Snd0Bits16 ? 2
                                                                                              : 1;
}

// Sound chunks of one kind, with what a reader decodes from them.
class SoundMaker {
  public:
    SoundMaker(HighColourSoundKind kind, int32_t rate, uint32_t seed)
        : m_kind(kind), m_left(rate, seed), m_right(rate, seed + 101), m_random(seed) {}

    // A chunk of `count` samples a channel: its identifier and data; the decoded sound is
    // appended to `expected`.
    std::pair<std::string_view, std::vector<uint8_t>> Next(size_t count,
                                                           std::vector<uint8_t>& expected) {
        using K = HighColourSoundKind;
        const std::vector<int16_t> left = m_left.Next(count);
        const std::vector<int16_t> right = ChannelsOf(m_kind) == 2 ? m_right.Next(count) : left;
        std::vector<uint8_t> data;
        switch (m_kind) {
            case K::Snd2Mono: {
                std::vector<int16_t> decoded;
                data = EncodeImaAdpcm(left, m_leftState, &decoded);
                for (int16_t s : decoded) AppendPcm(expected, s);
                return {"SND2", data};
            }
            case K::Snd2Stereo:
                return {"SND2", Stereo(left, right, expected)};
            case K::Snd0Bits8:
                for (int16_t s : left) {
                    const auto u = static_cast<uint8_t>((s >> 8) + 128);
                    data.push_back(u);
                    AppendPcm(expected, (int32_t{u} - 128) * 256);
                }
                return {"SND0", data};
            case K::Snd0Bits16:
                for (size_t i = 0; i < count; ++i) {
                    AppendPcm(data, left[i]);
                    AppendPcm(data, right[i]);
                }
                expected.insert(expected.end(), data.begin(), data.end());
                return {"SND0", data};
            default:
                data.resize(count / 2 + 1);
                for (auto& b : data) b = static_cast<uint8_t>(m_random.Next());
                return {"SND1", data};
        }
    }

  private:
    // Bytes alternate left, right; each holds two samples of its channel, low nibble first.
    std::vector<uint8_t> Stereo(const std::vector<int16_t>& left, const std::vector<int16_t>& right,
                                std::vector<uint8_t>& expected) {
        std::vector<int16_t> dl, dr;
        const std::vector<uint8_t> l = EncodeImaAdpcm(left, m_leftState, &dl);
        const std::vector<uint8_t> r = EncodeImaAdpcm(right, m_rightState, &dr);
        std::vector<uint8_t> data;
        for (size_t i = 0; i < l.size(); ++i) {
            data.push_back(l[i]);
            data.push_back(r[i]);
            for (size_t k = 2 * i; k < 2 * i + 2; ++k) {
                AppendPcm(expected, dl[k]);
                AppendPcm(expected, dr[k]);
            }
        }
        return data;
    }

    HighColourSoundKind m_kind;
    Tune m_left;
    Tune m_right;
    Random m_random;
    ImaAdpcmState m_leftState;
    ImaAdpcmState m_rightState;
};

// ---- file layout ----

void CheckOptions(const HighColourSynthOptions& o) {
    CheckSynthShape(o.frames, o.width, o.height, o.blockWidth, o.blockHeight);
    auto fail = [](const std::string& what) { throw std::invalid_argument(what); };
    if (o.soundRate < 0 || o.soundRate > kMaxHighColourSynthRate) {
        fail("sound rate must be 0 to " + std::to_string(kMaxHighColourSynthRate) + " Hz, not " +
             std::to_string(o.soundRate));
    }
    if (o.framesPerSecond < 0 || o.framesPerSecond > 255) {
        fail("frame rate must be 0 to 255, not " + std::to_string(o.framesPerSecond));
    }
    if (o.codebookEvery < 1) fail("codebooks must come every 1 frame or more");
    if (o.minCodebookEntries > kMaxEntries) fail("codebooks hold at most 8192 entries");
}

// FORM, the header chunk, a chunk to walk past, and an empty frame index; returns where the
// index's entries begin.
size_t WriteFront(ChunkWriter& w, const HighColourSynthOptions& o) {
    const bool sound = o.sound != HighColourSoundKind::None;
    w.Id("FORM");
    w.U32Be(0);  // set at the end
    w.Id("WVQA");
    w.Id("VQHD");
    w.U32Be(42);
    w.U16Le(o.version);
    w.U16Le(sound ? 1 : 0);
    w.U16Le(static_cast<uint32_t>(o.frames));
    w.U16Le(static_cast<uint32_t>(o.width));
    w.U16Le(static_cast<uint32_t>(o.height));
    w.U8(static_cast<uint32_t>(o.blockWidth));
    w.U8(static_cast<uint32_t>(o.blockHeight));
    w.U8(static_cast<uint32_t>(o.framesPerSecond));
    w.U8(0);     // codebook parts
    w.U16Le(0);  // colours
    w.U16Le(0);  // most codebook entries, set at the end
    for (int i = 0; i < 6; ++i) w.U8(0);
    w.U16Le(static_cast<uint32_t>(o.soundRate));
    w.U8(static_cast<uint32_t>(ChannelsOf(o.sound)));
    w.U8(o.sound == HighColourSoundKind::Snd0Bits8 ? 8 : 16);
    for (int i = 0; i < 14; ++i) w.U8(0);
    if (o.strayChunks) w.Chunk("CINF", Text("synthesised high-colour video"));
    w.Id("FINF");
    w.U32Be(static_cast<uint32_t>(o.frames) * 4);
    const size_t indexAt = w.bytes.size();
    w.bytes.resize(indexAt + static_cast<size_t>(o.frames) * 4);
    return indexAt;
}

std::vector<uint8_t> SubChunks(
    std::initializer_list<std::pair<std::string_view, std::vector<uint8_t>>> subs, bool& lastOdd) {
    ChunkWriter w;
    for (const auto& [id, data] : subs) {
        if (id.empty()) continue;
        w.Chunk(id, data);
        lastOdd = data.size() % 2 == 1;
    }
    return w.bytes;
}

// The whole run: the writer, the scene, the reader's view and the current codebook.
class HighColourSynth {
  public:
    explicit HighColourSynth(const HighColourSynthOptions& o)
        : m_o(o),
          m_geo{o.width,
                o.height,
                o.blockWidth,
                o.blockHeight,
                o.width / o.blockWidth,
                o.height / o.blockHeight},
          m_scene(o.width, o.height, o.seed),
          m_random(o.seed * 7919u + 3u),
          m_tables(m_video, m_random),
          m_sound(o.sound, o.soundRate, o.seed) {
        m_shown.pixels.assign(static_cast<size_t>(o.width) * static_cast<size_t>(o.height), 0);
    }

    HighColourSynthVideo Run() {
        const size_t indexAt = WriteFront(m_w, m_o);
        for (int32_t f = 0; f < m_o.frames; ++f) {
            const size_t recordAt = m_w.bytes.size();
            if (recordAt / 2 > 0x3FFFFFFF) throw std::length_error("synthesised file too large");
            m_video.frameOffsets.push_back(static_cast<int64_t>(recordAt));
            m_w.PutU32LeAt(indexAt + 4 * static_cast<size_t>(f),
                           static_cast<uint32_t>(recordAt / 2));
            WriteFrame(f);
        }
        m_w.bytes[36] = static_cast<uint8_t>(m_maxEntries);
        m_w.bytes[37] = static_cast<uint8_t>(m_maxEntries >> 8);
        m_w.PutU32BeAt(4, static_cast<uint32_t>(m_w.bytes.size() - 8));
        m_video.file = std::move(m_w.bytes);
        return std::move(m_video);
    }

  private:
    void WriteFrame(int32_t f) {
        std::vector<uint8_t> sound;
        if (m_o.sound != HighColourSoundKind::None) {
            const int32_t fps = m_o.framesPerSecond == 0 ? 15 : m_o.framesPerSecond;
            if (f == 0) WriteSound(static_cast<size_t>(m_o.soundRate / 2), sound);
            WriteSound(static_cast<size_t>(m_o.soundRate / fps + f % 3), sound);
        }
        if (m_o.strayChunks && f % 4 == 1) m_w.Chunk("CAP0", Text("caption " + std::to_string(f)));
        std::vector<uint8_t> cbfz;
        const int32_t inGroup = f % m_o.codebookEvery;
        if (inGroup == 0) {
            m_group = QuantiseGroup(m_scene, m_geo, f, std::min(m_o.codebookEvery, m_o.frames - f),
                                    m_o.minCodebookEntries);
            cbfz = PackCodebook();
        }
        const std::string stray = m_o.strayChunks && f % 3 == 2 ? "MRK0" : "";
        bool lastOdd = false;
        if (f > 0 && !cbfz.empty()) {
            const auto inner = SubChunks({{stray, Text("note")}, {"CBFZ", cbfz}}, lastOdd);
            m_w.Container("VQFL", inner, lastOdd, f % 2 == 0);
            cbfz.clear();
        }
        const std::vector<uint8_t> table = NextTable(m_group.wanted[static_cast<size_t>(inGroup)]);
        const bool packed = f % 2 == 0;
        const auto inner =
            SubChunks({{cbfz.empty() ? "" : "CBFZ", cbfz},
                       {stray, Text("mark " + std::to_string(f))},
                       {packed ? "VPRZ" : "VPTR", packed ? CompressLcw(table) : table}},
                      lastOdd);
        m_w.Container("VQFR", inner, lastOdd, (f / 2) % 2 == 0);
        if (m_o.keepExpected) {
            m_video.images.push_back(m_shown.Bgr());
            m_video.sound.push_back(std::move(sound));
        }
    }

    void WriteSound(size_t count, std::vector<uint8_t>& expected) {
        auto [id, data] = m_sound.Next(count, expected);
        m_w.Chunk(id, data);
    }

    std::vector<uint8_t> PackCodebook() {
        const size_t entries = m_group.codebook.size() / m_geo.Pixels();
        m_maxEntries = std::max(m_maxEntries, entries);
        std::vector<uint8_t> raw(m_group.codebook.size() * 2);
        for (size_t i = 0; i < m_group.codebook.size(); ++i) {
            raw[2 * i] = static_cast<uint8_t>(m_group.codebook[i]);
            raw[2 * i + 1] = static_cast<uint8_t>(m_group.codebook[i] >> 8);
        }
        m_video.largestCodebook = std::max(m_video.largestCodebook, raw.size());
        const int32_t n = m_video.ordinaryCodebooks + m_video.backCountedCodebooks;
        const bool back = m_o.codebookLcw == CodebookLcw::BackCounted ||
                          (m_o.codebookLcw == CodebookLcw::Alternate && n % 2 == 1);
        if (!back) {
            ++m_video.ordinaryCodebooks;
            return CompressLcw(raw);
        }
        ++m_video.backCountedCodebooks;
        std::vector<uint8_t> packed{0};
        const std::vector<uint8_t> stream = CompressLcwBackCounted(raw);
        packed.insert(packed.end(), stream.begin(), stream.end());
        return packed;
    }

    // The table that turns what a reader shows into `wanted`, applied to the reader's view.
    std::vector<uint8_t> NextTable(const std::vector<int32_t>& wanted) {
        const size_t blocks = m_geo.Blocks();
        std::vector<bool> keep(blocks);
        for (size_t b = 0; b < blocks; ++b) {
            keep[b] = m_shown.Holds(m_geo, b, Entry(wanted[b]));
        }
        std::vector<uint8_t> table = m_tables.Write(wanted, keep);
        for (size_t b = 0; b < blocks; ++b) {
            if (!keep[b]) m_shown.Put(m_geo, b, Entry(wanted[b]));
        }
        return table;
    }
    const uint16_t* Entry(int32_t e) const {
        return &m_group.codebook[static_cast<size_t>(e) * m_geo.Pixels()];
    }

    const HighColourSynthOptions& m_o;
    Geometry m_geo;
    TrueColourScene m_scene;
    Random m_random;
    HighColourSynthVideo m_video;
    TableWriter m_tables;
    SoundMaker m_sound;
    ChunkWriter m_w;
    Shown m_shown;
    Group m_group;
    size_t m_maxEntries = 0;
};

}  // namespace

HighColourSynthVideo SynthesizeHighColourVqa(const HighColourSynthOptions& options) {
    CheckOptions(options);
    return HighColourSynth(options).Run();
}

bool ParseHighColourSound(const std::string& text, HighColourSoundKind& kind) {
    using K = HighColourSoundKind;
    const std::pair<const char*, K> names[] = {
        {"none", K::None},        {"snd2", K::Snd2Mono},      {"snd2-stereo", K::Snd2Stereo},
        {"snd0-8", K::Snd0Bits8}, {"snd0-16", K::Snd0Bits16}, {"snd1", K::Snd1}};
    for (const auto& [name, value] : names) {
        if (text == name) {
            kind = value;
            return true;
        }
    }
    return false;
}

}  // namespace rw::synth
