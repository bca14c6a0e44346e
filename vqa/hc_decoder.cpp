#include "vqa/hc_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/byte_reader.h"
#include "vqa/hc_chunks.h"
#include "vqa/hc_pointer_table.h"
#include "vqa/lcw.h"

namespace rw {

HighColourDecoder::HighColourDecoder(const HighColourProperties& properties)
    : m_props(properties),
      m_columns(static_cast<size_t>(properties.width / std::max(properties.blockWidth, 1))),
      m_rows(static_cast<size_t>(properties.height / std::max(properties.blockHeight, 1))),
      m_picture(static_cast<size_t>(std::max(properties.width, 0)) *
                    static_cast<size_t>(std::max(properties.height, 0)) * 3,
                0),
      m_entries(m_columns * m_rows, kKeepBlock),
      m_drawn(m_entries.size(), false),
      m_undrawn(m_entries.size()),
      m_sound(properties.channels, properties.soundBits) {}

void HighColourDecoder::Damage(HighColourFrame& out, const std::string& what) {
    if (!out.damaged) out.damage = what;
    out.damaged = true;
}

void HighColourDecoder::DecodeFrame(InputFile& file, int64_t frameOffset, HighColourFrame& out,
                                    bool soundOnly) {
    m_soundOnly = soundOnly;
    out.picture = m_picture;
    out.damaged = false;
    out.damage.clear();
    out.contradictsHeader = false;
    out.soundNotDecoded = false;
    auto length = file.Length();
    if (!length) return Damage(out, length.error().message);
    int64_t at = frameOffset;
    while (true) {
        if (at - frameOffset > kMaxHighColourFrameSpan) {
            return Damage(out, "no picture chunk within " +
                                   std::to_string(kMaxHighColourFrameSpan) +
                                   " bytes of the frame's offset");
        }
        auto chunk = ReadChunkHeader(file, at, *length);
        if (!chunk) return Damage(out, chunk.error().message);
        if (OnChunk(file, *chunk, out) == Walk::Done) return;
        auto next = NextChunkAt(file, *chunk, *length);
        if (!next) return Damage(out, next.error().message);
        at = *next;
    }
}

bool HighColourDecoder::ReadData(InputFile& file, int64_t at, uint32_t size, HighColourFrame& out) {
    if (size > kMaxHighColourChunk) {
        Damage(out, "a chunk at offset " + std::to_string(at - 8) + " declares " +
                        std::to_string(size) + " bytes, more than a frame's chunk may hold");
        return false;
    }
    m_buffer.resize(size);
    auto sought = file.Seek(at);
    auto read = sought ? file.ReadExact(m_buffer) : sought;
    if (!read) Damage(out, read.error().message);
    return read.ok();
}

HighColourDecoder::Walk HighColourDecoder::OnChunk(InputFile& file, const ChunkHeader& chunk,
                                                   HighColourFrame& out) {
    const uint32_t id = chunk.id;
    const bool sound = id == ChunkId("SND0") || id == ChunkId("SND2");
    const bool picture = id == ChunkId("VQFL") || id == ChunkId("VQFR");
    if (id == ChunkId("SND1") && !m_toldSnd1) {
        m_toldSnd1 = true;
        out.soundNotDecoded = true;
    }
    if (m_soundOnly && id == ChunkId("VQFR")) return Walk::Done;
    if (!sound && (!picture || m_soundOnly)) return Walk::Continue;
    if (!ReadData(file, chunk.dataAt, chunk.size, out)) return Walk::Done;
    if (id == ChunkId("SND0")) {
        m_sound.DecodeSnd0(m_buffer, out.sound);
    } else if (id == ChunkId("SND2")) {
        m_sound.DecodeSnd2(m_buffer, out.sound);
    } else if (id == ChunkId("VQFL")) {
        const SubChunkList list = ReadSubChunks(m_buffer);
        for (const SubChunk& sub : list.chunks) {
            if (sub.id == ChunkId("CBFZ")) OnCodebook(sub.data, out);
        }
        if (!list.damage.empty()) Damage(out, "codebook chunk damaged: " + list.damage);
    } else {
        OnPictureChunk(m_buffer, out);
        return Walk::Done;
    }
    return Walk::Continue;
}

void HighColourDecoder::OnPictureChunk(std::span<const uint8_t> data, HighColourFrame& out) {
    const SubChunkList list = ReadSubChunks(data);
    bool table = false;
    for (const SubChunk& sub : list.chunks) {
        if (sub.id == ChunkId("CBFZ")) {
            OnCodebook(sub.data, out);
        } else if (sub.id == ChunkId("VPTR") || sub.id == ChunkId("VPRZ")) {
            table = true;
            if (!m_props.headerSaysHighColour && !m_toldKind) {
                m_toldKind = true;
                out.contradictsHeader = true;
            }
            if (sub.id == ChunkId("VPTR")) {
                OnPointerTable(sub.data, out);
                continue;
            }
            const size_t limit = m_entries.size() * 4 + 65536;
            auto unpacked = DecompressLcw(sub.data, std::min(limit, kLcwDefaultMaxOutput));
            if (!unpacked) {
                Damage(out, "the pointer table cannot be unpacked: " + unpacked.error().message);
                continue;
            }
            OnPointerTable(*unpacked, out);
        } else if (sub.id == ChunkId("VPT0") || sub.id == ChunkId("VPTZ")) {
            table = true;
            OnEightBitTable(out);
        }
    }
    if (!list.damage.empty()) Damage(out, "picture chunk damaged: " + list.damage);
    if (!table) Damage(out, "the picture chunk holds no pointer table");
}

void HighColourDecoder::OnEightBitTable(HighColourFrame& out) {
    if (m_props.headerSaysHighColour && !m_toldKind) {
        m_toldKind = true;
        out.contradictsHeader = true;
    }
    Damage(out, "the picture chunk holds an 8-bit pointer table");
}

void HighColourDecoder::OnCodebook(std::span<const uint8_t> data, HighColourFrame& out) {
    auto decoded =
        DecodeHighColourCodebook(data, m_props.blockWidth, m_props.blockHeight, m_codebook);
    if (!decoded) Damage(out, decoded.error().message);
}

void HighColourDecoder::OnPointerTable(std::span<const uint8_t> table, HighColourFrame& out) {
    std::fill(m_entries.begin(), m_entries.end(), kKeepBlock);
    const PointerTableResult result = DecodePointerTable(table, m_codebook.entries, m_entries);
    Draw();
    if (result.damaged) Damage(out, result.damage);
}

void HighColourDecoder::Draw() {
    const size_t bw = static_cast<size_t>(m_props.blockWidth);
    const size_t bh = static_cast<size_t>(m_props.blockHeight);
    const size_t rowBytes = static_cast<size_t>(m_props.width) * 3;
    const size_t height = static_cast<size_t>(m_props.height);
    for (size_t block = 0; block < m_entries.size(); ++block) {
        if (m_entries[block] == kKeepBlock) continue;
        if (m_undrawn != 0 && !m_drawn[block]) {  // free once every block has been drawn
            m_drawn[block] = true;
            --m_undrawn;
        }
        const uint8_t* entry =
            m_codebook.bgr.data() + static_cast<size_t>(m_entries[block]) * m_codebook.entryBytes;
        const size_t top = block / m_columns * bh;
        uint8_t* column = m_picture.data() + block % m_columns * bw * 3;
        for (size_t y = 0; y < bh; ++y) {
            std::memcpy(column + (height - 1 - top - y) * rowBytes, entry + y * bw * 3, bw * 3);
        }
    }
}

namespace {

// Whether a codebook (CBFZ) comes before the pointer table in the picture chunk `vqfr`, from the
// sub-chunks' headers alone.
bool CodebookInPicture(InputFile& file, const ChunkHeader& vqfr) {
    const int64_t end = vqfr.dataAt + vqfr.size;
    std::array<uint8_t, 8> header{};
    for (int64_t at = vqfr.dataAt; at + 8 <= end;) {
        if (!file.Seek(at) || !file.ReadExact(header)) return false;
        ByteReader reader(header);
        const uint32_t id = reader.U32Be().value_or(0);
        const uint32_t size = reader.U32Be().value_or(0);
        if (id == ChunkId("CBFZ")) return true;
        if (id == ChunkId("VPTR") || id == ChunkId("VPRZ")) return false;
        at += 8 + int64_t{size};
        uint8_t pad = 1;
        if (size % 2 == 1 && at < end && file.Seek(at) && file.ReadExact(std::span(&pad, 1)) &&
            pad == 0) {
            ++at;
        }
    }
    return false;
}

}  // namespace

HighColourFrameFacts HighColourDecoder::Scan(InputFile& file, int64_t frameOffset) const {
    HighColourFrameFacts facts;
    auto length = file.Length();
    if (!length) return facts;
    for (int64_t at = frameOffset; at - frameOffset <= kMaxHighColourFrameSpan;) {
        auto chunk = ReadChunkHeader(file, at, *length);
        if (!chunk) return facts;
        if (chunk->id == ChunkId("SND2"))
            facts.soundBytes += int64_t(m_sound.Snd2Bytes(chunk->size));
        if (chunk->id == ChunkId("SND0"))
            facts.soundBytes += int64_t(m_sound.Snd0Bytes(chunk->size));
        if (chunk->id == ChunkId("VQFL")) facts.setsCodebook = true;
        if (chunk->id == ChunkId("VQFR")) {
            facts.setsCodebook = facts.setsCodebook || CodebookInPicture(file, *chunk);
            return facts;
        }
        auto next = NextChunkAt(file, *chunk, *length);
        if (!next) return facts;
        at = *next;
    }
    return facts;
}

}  // namespace rw
