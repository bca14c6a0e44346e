#include "tools/synth/vqa_synth.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "tools/synth/scene.h"
#include "vqa/vqa_bytes.h"

namespace rw::synth {
namespace {

constexpr int32_t kGroupFrames = kCodebookPartsPerSwitch;  // frames per codebook
constexpr int32_t kLeadingChunkData = kLeadingSoundSkip - 8;
constexpr uint32_t kFlagPalette = 0x40000000u;
constexpr uint32_t kFlagCodebook = 0x80000000u;
constexpr int64_t kMaxRecordOffset = int64_t{0x3FFFFFFF} * 2;

// ---- vector quantisation ----

// Block references in a frame: an entry number, or a solid colour.
struct BlockRef {
    int32_t entry;  // -1 for a solid block
    uint8_t colour;
};

// Distinct non-uniform blocks of a group of frames, counted.
class BlockTable {
  public:
    explicit BlockTable(size_t blockBytes) : m_blockBytes(blockBytes), m_slots(1024, -1) {}

    int32_t Insert(const uint8_t* block) {
        if ((m_counts.size() + 1) * 2 > m_slots.size()) Grow();
        const uint64_t h = Hash(block);
        size_t slot = h & (m_slots.size() - 1);
        while (m_slots[slot] >= 0) {
            const auto id = static_cast<size_t>(m_slots[slot]);
            if (m_hashes[id] == h &&
                std::memcmp(&m_pool[id * m_blockBytes], block, m_blockBytes) == 0) {
                ++m_counts[id];
                return static_cast<int32_t>(id);
            }
            slot = (slot + 1) & (m_slots.size() - 1);
        }
        const auto id = static_cast<int32_t>(m_counts.size());
        m_slots[slot] = id;
        m_pool.insert(m_pool.end(), block, block + m_blockBytes);
        m_hashes.push_back(h);
        m_counts.push_back(1);
        return id;
    }
    size_t Size() const { return m_counts.size(); }
    uint32_t Count(size_t id) const { return m_counts[id]; }
    const uint8_t* Block(size_t id) const { return &m_pool[id * m_blockBytes]; }

  private:
    uint64_t Hash(const uint8_t* p) const {
        uint64_t h = 0xCBF29CE484222325ull;
        for (size_t i = 0; i < m_blockBytes; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
        return h ^ (h >> 29);
    }
    void Grow() {
        std::vector<int32_t> slots(m_slots.size() * 2, -1);
        for (size_t id = 0; id < m_counts.size(); ++id) {
            size_t slot = m_hashes[id] & (slots.size() - 1);
            while (slots[slot] >= 0) slot = (slot + 1) & (slots.size() - 1);
            slots[slot] = static_cast<int32_t>(id);
        }
        m_slots = std::move(slots);
    }

    size_t m_blockBytes;
    std::vector<int32_t> m_slots;
    std::vector<uint8_t> m_pool;
    std::vector<uint64_t> m_hashes;
    std::vector<uint32_t> m_counts;
};

// One codebook and the pointer tables of the frames that are drawn with it.
struct Group {
    int32_t firstFrame = 0;
    int32_t frameCount = 0;
    std::vector<uint8_t> codebook;
    std::vector<std::vector<uint8_t>> pointerTables;
};

struct Geometry {
    int32_t width, height, bw, bh, cols, rows;
    size_t BlockBytes() const { return static_cast<size_t>(bw) * static_cast<size_t>(bh); }
    size_t Blocks() const { return static_cast<size_t>(cols) * static_cast<size_t>(rows); }
};

Group QuantiseGroup(const Scene& scene, const Geometry& g, int32_t firstFrame, int32_t frameCount) {
    const size_t blockBytes = g.BlockBytes();
    std::vector<uint8_t> image(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
    std::vector<uint8_t> block(blockBytes);
    BlockTable table(blockBytes);
    std::vector<std::vector<BlockRef>> refs(static_cast<size_t>(frameCount));

    for (int32_t i = 0; i < frameCount; ++i) {
        scene.Render(firstFrame + i, image);
        auto& frameRefs = refs[static_cast<size_t>(i)];
        frameRefs.reserve(g.Blocks());
        for (int32_t by = 0; by < g.rows; ++by) {
            for (int32_t bx = 0; bx < g.cols; ++bx) {
                bool uniform = true;
                for (int32_t y = 0; y < g.bh; ++y) {
                    const uint8_t* src =
                        &image[static_cast<size_t>(by * g.bh + y) * g.width + bx * g.bw];
                    std::memcpy(&block[static_cast<size_t>(y * g.bw)], src,
                                static_cast<size_t>(g.bw));
                }
                for (size_t k = 1; k < blockBytes && uniform; ++k) uniform = block[k] == block[0];
                frameRefs.push_back(uniform ? BlockRef{-1, block[0]}
                                            : BlockRef{table.Insert(block.data()), block[0]});
            }
        }
    }

    // Keep the most used blocks; the rest go to a kept block with the same corner colours, or
    // become solid in their top-left colour.
    std::vector<int32_t> order(table.Size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        return table.Count(static_cast<size_t>(a)) > table.Count(static_cast<size_t>(b));
    });
    const size_t kept = std::min(order.size(), static_cast<size_t>(kMaxCodebookEntries));
    std::vector<int32_t> entryOf(table.Size(), -1);
    std::unordered_map<uint32_t, int32_t> byCorners;
    Group group;
    group.firstFrame = firstFrame;
    group.frameCount = frameCount;
    group.codebook.reserve(kept * blockBytes);
    for (size_t n = 0; n < kept; ++n) {
        const auto id = static_cast<size_t>(order[n]);
        const uint8_t* b = table.Block(id);
        entryOf[id] = static_cast<int32_t>(n);
        group.codebook.insert(group.codebook.end(), b, b + blockBytes);
        byCorners.try_emplace(uint32_t{b[0]} | (uint32_t{b[blockBytes - 1]} << 8),
                              static_cast<int32_t>(n));
    }
    for (size_t n = kept; n < order.size(); ++n) {
        const auto id = static_cast<size_t>(order[n]);
        const uint8_t* b = table.Block(id);
        auto it = byCorners.find(uint32_t{b[0]} | (uint32_t{b[blockBytes - 1]} << 8));
        entryOf[id] = it != byCorners.end() ? it->second : -1;
    }
    if (group.codebook.empty()) {  // every block solid: still send a codebook of one entry
        for (size_t k = 0; k < blockBytes; ++k) group.codebook.push_back(k % 2 ? 255 : 0);
    }

    const size_t blocks = g.Blocks();
    for (int32_t i = 0; i < frameCount; ++i) {
        std::vector<uint8_t> table2(2 * blocks);
        for (size_t k = 0; k < blocks; ++k) {
            const BlockRef ref = refs[static_cast<size_t>(i)][k];
            const int32_t entry = ref.entry < 0 ? -1 : entryOf[static_cast<size_t>(ref.entry)];
            if (entry < 0) {
                // Solid blocks alternate between the two markers a reader must treat alike.
                const size_t bx = k % static_cast<size_t>(g.cols),
                             by = k / static_cast<size_t>(g.cols);
                table2[k] = ref.colour;
                table2[blocks + k] = ((bx ^ by) & 4) ? 0xFF : 0x0F;
            } else {
                table2[k] = static_cast<uint8_t>(entry & 0xFF);
                table2[blocks + k] = static_cast<uint8_t>(entry >> 8);
            }
        }
        group.pointerTables.push_back(std::move(table2));
    }
    return group;
}

// What a reader draws: the synthesiser's own rendering of a pointer table.
std::vector<uint8_t> DrawExpected(const Geometry& g, std::span<const uint8_t> table,
                                  std::span<const uint8_t> codebook,
                                  std::span<const uint8_t> palette) {
    std::vector<uint8_t> image(static_cast<size_t>(g.width) * static_cast<size_t>(g.height) * 3, 0);
    uint8_t bgr[256][3];
    for (int k = 0; k < 256; ++k) {
        bgr[k][0] = static_cast<uint8_t>((palette[k * 3 + 2] & 0x3F) * 4);
        bgr[k][1] = static_cast<uint8_t>((palette[k * 3 + 1] & 0x3F) * 4);
        bgr[k][2] = static_cast<uint8_t>((palette[k * 3] & 0x3F) * 4);
    }
    const size_t blocks = g.Blocks();
    const size_t blockBytes = g.BlockBytes();
    for (int32_t by = 0; by < g.rows; ++by) {
        for (int32_t bx = 0; bx < g.cols; ++bx) {
            const size_t k =
                static_cast<size_t>(by) * static_cast<size_t>(g.cols) + static_cast<size_t>(bx);
            const uint8_t lo = table[k], hi = table[blocks + k];
            const bool solid = hi == 0x0F || hi == 0xFF;
            const size_t entry = size_t{hi} * 256 + lo;
            if (!solid && (entry + 1) * blockBytes > codebook.size()) {
                throw std::logic_error("synthesised pointer past the codebook");
            }
            for (int32_t y = 0; y < g.bh; ++y) {
                for (int32_t x = 0; x < g.bw; ++x) {
                    const uint8_t colour =
                        solid ? lo
                              : codebook[entry * blockBytes + static_cast<size_t>(y * g.bw + x)];
                    const size_t at = 3 * (static_cast<size_t>(by * g.bh + y) * g.width +
                                           static_cast<size_t>(bx * g.bw + x));
                    std::memcpy(&image[at], bgr[colour], 3);
                }
            }
        }
    }
    return image;
}

// ---- file layout ----

using Writer = VqaBytes;

void CheckOptions(const SynthOptions& o) {
    CheckSynthShape(o.frames, o.width, o.height, o.blockWidth, o.blockHeight);
    auto fail = [](const std::string& what) { throw std::invalid_argument(what); };
    if (o.soundRate < 0 || o.soundRate > kMaxSynthSoundRate) {
        fail("sound rate must be 0 to " + std::to_string(kMaxSynthSoundRate) + " Hz, not " +
             std::to_string(o.soundRate));
    }
}

std::vector<uint8_t> Pcm(std::span<const int16_t> samples) {
    std::vector<uint8_t> out(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<uint16_t>(samples[i]);
        out[2 * i] = static_cast<uint8_t>(v);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return out;
}

// The eight codebook parts for the codebook `book`: identifiers and data.
std::vector<std::pair<const char*, std::vector<uint8_t>>> CutParts(const std::vector<uint8_t>& book,
                                                                   const SynthOptions& o) {
    std::vector<std::pair<const char*, std::vector<uint8_t>>> parts;
    const bool split = o.parts == CodebookParts::SplitStream && o.compressCodebooks;
    const std::vector<uint8_t> whole = split ? CompressLcw(book) : book;
    const size_t n = whole.size();
    for (size_t i = 0; i < static_cast<size_t>(kGroupFrames); ++i) {
        const auto from = whole.begin() + static_cast<ptrdiff_t>(i * n / kGroupFrames);
        const auto to = whole.begin() + static_cast<ptrdiff_t>((i + 1) * n / kGroupFrames);
        std::vector<uint8_t> piece(from, to);
        if (split) {
            parts.emplace_back("CBPZ", std::move(piece));
        } else if (o.compressCodebooks) {
            parts.emplace_back("CBPZ", CompressLcw(piece));
        } else {
            parts.emplace_back("CBP0", std::move(piece));
        }
    }
    return parts;
}

// Decoder model: what a reader holds while walking the frames as written.
struct ReaderModel {
    std::vector<uint8_t> codebook;
    int32_t codebookGroup = -1;    // the group whose codebook is in effect
    std::vector<uint8_t> pending;  // what the pending parts assemble
    int32_t pendingGroup = -1;
    int32_t partCount = 0;
    const std::vector<uint8_t>* palette = nullptr;
};

}  // namespace

void CheckSynthShape(int32_t frames, int32_t width, int32_t height, int32_t blockWidth,
                     int32_t blockHeight) {
    auto fail = [](const std::string& what) { throw std::invalid_argument(what); };
    if (frames < 1 || frames > kMaxSynthFrames) {
        fail("frames must be 1 to " + std::to_string(kMaxSynthFrames) + ", not " +
             std::to_string(frames));
    }
    if (width < 1 || width > kMaxSynthDimension || height < 1 || height > kMaxSynthDimension) {
        fail("size must be 1x1 to " + std::to_string(kMaxSynthDimension) + "x" +
             std::to_string(kMaxSynthDimension) + ", not " + std::to_string(width) + "x" +
             std::to_string(height));
    }
    if (blockWidth < 1 || blockWidth > 255 || blockHeight < 1 || blockHeight > 255 ||
        blockWidth > width || blockHeight > height) {
        fail("block size must be 1x1 to 255x255 and fit in the picture, not " +
             std::to_string(blockWidth) + "x" + std::to_string(blockHeight));
    }
}

bool ParseCodebookParts(const std::string& text, CodebookParts& parts) {
    if (text == "none") {
        parts = CodebookParts::None;
    } else if (text == "per-part") {
        parts = CodebookParts::PerPart;
    } else if (text == "split") {
        parts = CodebookParts::SplitStream;
    } else {
        return false;
    }
    return true;
}

SynthVideo SynthesizeVqa(const SynthOptions& o) {
    CheckOptions(o);
    const Geometry geo{o.width,
                       o.height,
                       o.blockWidth,
                       o.blockHeight,
                       o.width / o.blockWidth,
                       o.height / o.blockHeight};
    const Scene scene(o.width, o.height, o.seed);
    const std::vector<uint8_t> palettes[2] = {MakePalette(0, o.seed), MakePalette(1, o.seed)};
    const int32_t paletteChange = o.paletteChanges && o.frames >= 2 ? o.frames / 2 : -1;
    const int32_t rate = o.soundRate;
    const auto leadingBytes = static_cast<size_t>(rate / 4);
    const auto frameSoundBytes = static_cast<size_t>((rate / 15) / 2);
    const int32_t groups = (o.frames + kGroupFrames - 1) / kGroupFrames;

    SynthVideo video;
    video.properties =
        VqaProperties{o.frames, o.height, o.width, o.blockWidth, o.blockHeight, o.soundRate};
    Writer w;

    // Container, header chunk, frame-index chunk.
    w.Id("FORM");
    w.U32Be(0);  // container size, set at the end
    w.Id("WVQA");
    w.Id("VQHD");
    w.U32Be(42);
    w.U16Le(2);                 // 20: version
    w.U16Le(rate > 0 ? 1 : 0);  // 22: flags, bit 0: has sound
    w.U16Le(static_cast<uint32_t>(o.frames));
    w.U16Le(static_cast<uint32_t>(o.width));
    w.U16Le(static_cast<uint32_t>(o.height));
    w.U8(static_cast<uint8_t>(o.blockWidth));
    w.U8(static_cast<uint8_t>(o.blockHeight));
    w.U8(kFramesPerSecond);         // 32: frame rate
    w.U8(kCodebookPartsPerSwitch);  // 33: codebook parts
    w.U16Le(256);                   // 34: colours
    const size_t maxEntriesAt = w.Size();
    w.U16Le(0);                            // 36: most codebook entries, set at the end
    w.Zeros(6);                            // 38..43
    w.U16Le(static_cast<uint32_t>(rate));  // 44: sound rate
    w.U8(1);                               // 46: channels
    w.U8(16);                              // 47: bits per sample
    w.Zeros(14);                           // 48..61
    w.Id("FINF");
    w.U32Be(static_cast<uint32_t>(o.frames) * 4);
    const size_t indexAt = w.Size();
    w.Zeros(static_cast<size_t>(o.frames) * 4);

    // Sound: one decoder state for the whole file.
    Tune tune(rate, o.seed);
    ImaAdpcmState adpcm;
    auto encodeBlock = [&](size_t bytes, std::vector<uint8_t>* expected) {
        const std::vector<int16_t> samples = tune.Next(2 * bytes);
        std::vector<int16_t> decoded;
        std::vector<uint8_t> codes = EncodeImaAdpcm(samples, adpcm, &decoded);
        if (expected) *expected = Pcm(decoded);
        return codes;
    };

    ReaderModel reader;
    reader.palette = &palettes[0];
    size_t maxEntries = 0;
    Group current = QuantiseGroup(scene, geo, 0, std::min(kGroupFrames, o.frames));
    Group next;
    std::vector<std::pair<const char*, std::vector<uint8_t>>> parts;

    for (int32_t f = 0; f < o.frames; ++f) {
        const int32_t g = f / kGroupFrames;
        const int32_t inGroup = f % kGroupFrames;
        if (inGroup == 0) {
            if (f > 0) current = std::move(next);
            maxEntries = std::max(maxEntries, current.codebook.size() / geo.BlockBytes());
            parts.clear();
            if (g + 1 < groups) {
                const int32_t first = (g + 1) * kGroupFrames;
                next = QuantiseGroup(scene, geo, first, std::min(kGroupFrames, o.frames - first));
                if (o.parts != CodebookParts::None) parts = CutParts(next.codebook, o);
            }
        }

        // Record start: even, and halved into the index.
        const int64_t recordAt = static_cast<int64_t>(w.Size());
        if (recordAt > kMaxRecordOffset) throw std::length_error("synthesised file too large");
        video.frameOffsets.push_back(recordAt);
        uint32_t flags = 0;

        if (f == 0) {
            w.Id("SND2");
            w.U32Be(static_cast<uint32_t>(kLeadingChunkData));
            w.Data(encodeBlock(leadingBytes, o.keepExpected ? &video.leadingSound : nullptr));
            w.Zeros(static_cast<size_t>(kLeadingChunkData) - leadingBytes);
        }
        std::vector<uint8_t> expectedSound;
        const std::vector<uint8_t> sound =
            encodeBlock(frameSoundBytes, o.keepExpected ? &expectedSound : nullptr);
        w.Id("SND2");
        w.U32Be(static_cast<uint32_t>(sound.size()));
        w.Data(sound);
        if (sound.size() % 2 && o.padAfterSound) w.U8(0);
        if (o.keepExpected) video.frameSound.push_back(std::move(expectedSound));

        // Picture chunk.
        w.Id("VQFR");
        const size_t sizeAt = w.Size();
        w.U32Be(0);
        const size_t dataAt = w.Size();
        const bool fullCodebook = f == 0 || (o.parts == CodebookParts::None && inGroup == 0);
        if (fullCodebook) {
            if (o.compressCodebooks) {
                w.Chunk("CBFZ", CompressLcw(current.codebook));
            } else {
                w.Chunk("CBF0", current.codebook);
            }
            reader.codebook = current.codebook;
            reader.codebookGroup = g;
            flags |= kFlagCodebook;
        }
        if (f == 0 || f == paletteChange) {
            const std::vector<uint8_t>& pal = palettes[f == 0 ? 0 : 1];
            if (o.compressPalettes) {
                w.Chunk("CPLZ", CompressLcw(pal));
            } else {
                w.Chunk("CPL0", pal);
            }
            reader.palette = &pal;
            flags |= kFlagPalette;
        }
        if (o.unknownSubChunks && f % 5 == 3) {
            const std::string note = "synthesised frame " + std::to_string(f);
            std::vector<uint8_t> text(note.begin(), note.end());
            if (text.size() % 2 == 0) text.push_back('.');  // odd: a pad byte follows
            w.Chunk("MRK0", text);
        }
        if (!parts.empty()) {
            auto& [id, data] = parts[static_cast<size_t>(inGroup)];
            w.Chunk(id, data);
            if (reader.partCount == 0) {
                reader.pending = next.codebook;
                reader.pendingGroup = g + 1;
            }
            ++reader.partCount;
        }
        const std::vector<uint8_t>& table = current.pointerTables[static_cast<size_t>(inGroup)];
        if (o.compressPointerTables) {
            w.Chunk("VPTZ", CompressLcw(table));
        } else {
            w.Chunk("VPT0", table);
        }
        if (reader.codebookGroup != g) {
            throw std::logic_error("synthesised frame " + std::to_string(f) +
                                   " would be drawn with another codebook");
        }
        if (o.keepExpected) {
            video.images.push_back(DrawExpected(geo, table, reader.codebook, *reader.palette));
        }
        if (reader.partCount == kCodebookPartsPerSwitch) {
            reader.codebook = std::move(reader.pending);
            reader.codebookGroup = reader.pendingGroup;
            reader.partCount = 0;
            flags |= kFlagCodebook;
        }
        if (o.unknownSubChunks && f % 7 == 5) {
            const std::string note = "end of frame " + std::to_string(f);
            w.Chunk("MRKZ", CompressLcw(std::span<const uint8_t>(
                                reinterpret_cast<const uint8_t*>(note.data()), note.size())));
        }
        w.PutU32BeAt(sizeAt, static_cast<uint32_t>(w.Size() - dataAt));
        if (w.Size() % 2) w.U8(0);  // next record at an even offset

        const auto entry = static_cast<uint32_t>(recordAt / 2) | (o.indexTopBits ? flags : 0u);
        w.bytes[indexAt + 4 * static_cast<size_t>(f)] = static_cast<uint8_t>(entry);
        w.bytes[indexAt + 4 * static_cast<size_t>(f) + 1] = static_cast<uint8_t>(entry >> 8);
        w.bytes[indexAt + 4 * static_cast<size_t>(f) + 2] = static_cast<uint8_t>(entry >> 16);
        w.bytes[indexAt + 4 * static_cast<size_t>(f) + 3] = static_cast<uint8_t>(entry >> 24);
    }

    w.bytes[maxEntriesAt] = static_cast<uint8_t>(maxEntries);
    w.bytes[maxEntriesAt + 1] = static_cast<uint8_t>(maxEntries >> 8);
    w.PutU32BeAt(4, static_cast<uint32_t>(w.Size() - 8));
    video.file = std::move(w.bytes);
    return video;
}

}  // namespace rw::synth
