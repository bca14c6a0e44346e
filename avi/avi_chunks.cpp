#include "avi/avi_chunks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/byte_reader.h"

namespace rw {
namespace {

constexpr size_t kIndexEntryBytes = 16;
constexpr uint32_t kKeyFrame = 0x10;

// Positions and sizes are stored as 32-bit values; anything past that cannot be described.
Expected<uint32_t> CurrentPosition(OutputFile& file) {
    const int64_t pos = file.Position();
    if (pos < 0 || pos > std::numeric_limits<int32_t>::max()) {
        return Error{"Cannot write \"" + file.Name() +
                     "\": the AVI file would grow past 2147483647 bytes"};
    }
    return static_cast<uint32_t>(pos);
}

Expected<void> WriteChunkHeader(OutputFile& file, const char (&id)[5], uint32_t size) {
    std::array<uint8_t, 8> header{};
    std::memcpy(header.data(), id, 4);
    StoreU32Le(header.data() + 4, size);
    return file.Write(header);
}

void PutEntry(uint8_t* p, const char (&id)[5], uint32_t flags, uint32_t offset, uint32_t size) {
    std::memcpy(p, id, 4);
    StoreU32Le(p + 4, flags);
    StoreU32Le(p + 8, offset);
    StoreU32Le(p + 12, size);
}

}  // namespace

Expected<uint32_t> WriteSoundChunk(OutputFile& file, int32_t declaredSize,
                                   std::span<const uint8_t> decoded, int32_t bytesToWrite) {
    if (declaredSize < 0 || bytesToWrite < 0) {
        return Error{"Cannot write a sound chunk of negative size to \"" + file.Name() + "\""};
    }
    auto pos = CurrentPosition(file);
    if (!pos) return pos;
    if (auto r = WriteChunkHeader(file, "01wb", static_cast<uint32_t>(declaredSize)); !r) {
        return r.error();
    }
    // The decoded sound, and zero bytes where the chunk holds more than was decoded.
    const size_t want = static_cast<size_t>(bytesToWrite);
    const size_t fromSound = std::min(want, decoded.size());
    if (fromSound > 0) {
        if (auto r = file.Write(decoded.first(fromSound)); !r) return r.error();
    }
    if (auto r = file.WriteZeros(want - fromSound); !r) return r.error();
    return pos;
}

Expected<VideoChunkRoom> BeginVideoChunk(OutputFile& file, size_t imageBytes) {
    if (imageBytes > std::numeric_limits<int32_t>::max() - 8) {
        return Error{"Cannot write a video chunk of " + std::to_string(imageBytes) +
                     " bytes to \"" + file.Name() + "\""};
    }
    auto pos = CurrentPosition(file);
    if (!pos) return pos.error();
    auto room = file.Reserve(8 + imageBytes);
    if (!room) return room.error();
    std::memcpy(room->data(), "00db", 4);
    StoreU32Le(room->data() + 4, static_cast<uint32_t>(imageBytes));
    return VideoChunkRoom{*pos, room->subspan(8)};
}

Expected<void> EndVideoChunk(OutputFile& file, const VideoChunkRoom& room) {
    return file.CommitReserved(8 + room.image.size());
}

Expected<void> WriteIndexChunk(OutputFile& file, uint32_t leadingSoundPosition,
                               std::span<const uint32_t> soundPositions,
                               std::span<const uint32_t> videoPositions, const AviFormat& format) {
    const int64_t frames = format.frames;
    if (frames < 0 || soundPositions.size() != static_cast<size_t>(frames) ||
        videoPositions.size() != static_cast<size_t>(frames)) {
        return Error{"Cannot write the index of \"" + file.Name() +
                     "\": the positions of some frames are missing"};
    }
    const int64_t declared = 32 * frames + 16;
    if (declared > std::numeric_limits<int32_t>::max()) {
        return Error{"Cannot write the index of \"" + file.Name() + "\": too many frames"};
    }
    const int64_t r = format.soundRate;
    const uint32_t soundSize = static_cast<uint32_t>((2 * r) / 15);
    const uint32_t videoSize = static_cast<uint32_t>(3 * int64_t{format.width} * format.height);

    if (auto w = WriteChunkHeader(file, "idx1", static_cast<uint32_t>(declared)); !w) return w;
    // Entries go out in blocks, so a long index needs neither a large buffer nor many writes.
    constexpr size_t kBlockEntries = 256;
    std::array<uint8_t, kBlockEntries * kIndexEntryBytes> block{};
    size_t used = 0;
    auto flush = [&]() -> Expected<void> {
        auto w = file.Write(std::span<const uint8_t>(block.data(), used));
        used = 0;
        return w;
    };
    PutEntry(block.data(), "01wb", 0, leadingSoundPosition, static_cast<uint32_t>(r));
    used = kIndexEntryBytes;
    for (size_t f = 0; f < soundPositions.size(); ++f) {
        if (used + 2 * kIndexEntryBytes > block.size()) {
            if (auto w = flush(); !w) return w;
        }
        PutEntry(block.data() + used, "01wb", 0, soundPositions[f], soundSize);
        PutEntry(block.data() + used + kIndexEntryBytes, "00db", kKeyFrame, videoPositions[f],
                 videoSize);
        used += 2 * kIndexEntryBytes;
    }
    return flush();
}

}  // namespace rw
