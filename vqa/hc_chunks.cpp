#include "vqa/hc_chunks.h"

#include <array>

#include "platform/byte_reader.h"

namespace rw {
namespace {

constexpr int64_t kFirstChunkAfterHeader = 12;  // VQHD, after FORM, its size and WVQA

Error FileError(const InputFile& file, const std::string& what) {
    return Error{"\"" + file.Name() + "\": " + what};
}

}  // namespace

std::string ChunkIdText(uint32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>(id >> shift);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

SubChunkList ReadSubChunks(std::span<const uint8_t> container) {
    SubChunkList list;
    ByteReader r(container);
    while (r.Remaining() >= 8) {
        const uint32_t id = *r.U32Be();
        const uint32_t size = *r.U32Be();
        auto data = r.Bytes(size);
        if (!data) {
            list.damage = "sub-chunk " + ChunkIdText(id) + " declares " + std::to_string(size) +
                          " bytes but only " + std::to_string(r.Remaining()) + " remain";
            return list;
        }
        list.chunks.push_back({id, *data});
        if (size % 2 && r.Remaining() > 0 && container[r.Position()] == 0) r.Skip(1);
    }
    return list;
}

Expected<ChunkHeader> ReadChunkHeader(InputFile& file, int64_t position, int64_t fileLength) {
    std::array<uint8_t, 8> raw{};
    if (position < 0 || position > fileLength - 8) {
        return FileError(file, "no whole chunk header at offset " + std::to_string(position));
    }
    if (auto r = file.Seek(position); !r) return r.error();
    if (auto r = file.ReadExact(raw); !r) return r.error();
    ByteReader r(raw);
    ChunkHeader chunk;
    chunk.id = *r.U32Be();
    chunk.size = *r.U32Be();
    chunk.dataAt = position + 8;
    if (chunk.size > fileLength - chunk.dataAt) {
        return FileError(file, "chunk " + ChunkIdText(chunk.id) + " at offset " +
                                   std::to_string(position) + " declares " +
                                   std::to_string(chunk.size) + " bytes, past the end of the file");
    }
    return chunk;
}

Expected<int64_t> NextChunkAt(InputFile& file, const ChunkHeader& chunk, int64_t fileLength) {
    const int64_t end = chunk.dataAt + chunk.size;
    if (chunk.size % 2 == 0 || end >= fileLength) return end;
    std::array<uint8_t, 1> pad{};
    if (auto r = file.Seek(end); !r) return r.error();
    if (auto r = file.ReadExact(pad); !r) return r.error();
    return pad[0] == 0 ? end + 1 : end;
}

Expected<std::vector<int64_t>> ReadHighColourFrameIndex(InputFile& file, int32_t frames) {
    auto length = file.Length();
    if (!length) return length.error();
    int64_t at = kFirstChunkAfterHeader;
    while (true) {
        if (at > *length - 8) return FileError(file, "the file holds no frame index (FINF)");
        auto chunk = ReadChunkHeader(file, at, *length);
        if (!chunk) return chunk.error();
        if (chunk->id == ChunkId("FINF")) {
            if (frames < 0 || chunk->size / 4 < static_cast<uint32_t>(frames)) {
                return FileError(file, "the frame index holds " + std::to_string(chunk->size / 4) +
                                           " entries for " + std::to_string(frames) + " frames");
            }
            std::vector<uint8_t> raw(static_cast<size_t>(frames) * 4);
            if (auto r = file.Seek(chunk->dataAt); !r) return r.error();
            if (auto r = file.ReadExact(raw); !r) return r.error();
            std::vector<int64_t> offsets(static_cast<size_t>(frames));
            for (size_t i = 0; i < offsets.size(); ++i) {
                offsets[i] = int64_t{ByteReader::LoadU32Le(raw.data() + 4 * i) & 0x3FFFFFFFu} * 2;
            }
            return offsets;
        }
        auto next = NextChunkAt(file, *chunk, *length);
        if (!next) return next.error();
        at = *next;
    }
}

}  // namespace rw
