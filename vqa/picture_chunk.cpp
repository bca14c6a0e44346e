#include "vqa/picture_chunk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/byte_reader.h"
#include "vqa/lcw.h"

namespace rw {
namespace {

// Picture chunks up to this size are read without first asking how long the file is.
constexpr uint32_t kPictureChunkReadWithoutCheck = 1 << 20;

// The identifier as text for messages, with anything unprintable shown as '?'.
std::string IdentifierText(const char (&identifier)[5]) {
    std::string text = "'";
    for (int i = 0; i < 4; ++i) {
        char c = identifier[i];
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text + "'";
}

// Counts the pointer tables passed on to the real sink.
class CountingSink final : public FrameImageSink {
  public:
    explicit CountingSink(FrameImageSink& inner) : m_inner(inner) {}
    void OnPointerTable(std::span<const uint8_t> pointerTable,
                        const VqaDecodeState& state) override {
        ++m_count;
        m_inner.OnPointerTable(pointerTable, state);
    }
    bool WantsPointerTables() const override { return m_inner.WantsPointerTables(); }
    void OnPointerTableSkipped() override {
        ++m_count;
        m_inner.OnPointerTableSkipped();
    }
    int Count() const { return m_count; }

  private:
    FrameImageSink& m_inner;
    int m_count = 0;
};

void ClearPending(VqaDecodeState& state) {
    state.pendingCodebook.clear();
    state.pendingCompressed.clear();
    state.pendingAllClean = true;
    state.partCount = 0;
}

// Adds one codebook part. A packed part that does not unpack on its own is not an error yet: it
// may be a piece of one stream cut into parts, which the switch unpacks joined.
Expected<void> AddCodebookPart(VqaSubChunk& subChunk, VqaDecodeState& state, bool packed) {
    const std::vector<uint8_t>& raw = subChunk.data;
    if (raw.size() > kMaxSubChunkData - state.pendingCompressed.size()) {
        return Error{"the codebook parts since the last switch exceed " +
                     std::to_string(kMaxSubChunkData) + " bytes"};
    }

    std::vector<uint8_t> unpacked;
    bool clean = true;
    if (packed) {
        auto result = DecompressLcw(raw, kMaxSubChunkData);
        clean = result.ok();
        if (clean) unpacked = std::move(result).value();
    } else {
        unpacked = raw;
    }
    if (clean && unpacked.size() > kMaxSubChunkData - state.pendingCodebook.size()) {
        return Error{"the codebook parts since the last switch exceed " +
                     std::to_string(kMaxSubChunkData) + " bytes when unpacked"};
    }

    state.pendingCompressed.insert(state.pendingCompressed.end(), raw.begin(), raw.end());
    if (clean && state.pendingAllClean) {
        state.pendingCodebook.insert(state.pendingCodebook.end(), unpacked.begin(), unpacked.end());
    } else {
        // The separate results are of no use once one part has failed alone.
        state.pendingAllClean = false;
        state.pendingCodebook.clear();
    }
    ++state.partCount;
    if (clean) {
        subChunk.data = std::move(unpacked);
        subChunk.size = static_cast<int32_t>(subChunk.data.size());
    }
    return {};
}

// Replaces the codebook with the parts assembled since the last switch. When every part unpacked
// on its own, their results joined are the new codebook; otherwise the parts are one stream cut
// into pieces and are unpacked joined. If that fails too, the old codebook stays.
Expected<void> SwitchCodebook(VqaDecodeState& state) {
    Expected<void> outcome;
    if (state.pendingAllClean) {
        state.codebook = std::move(state.pendingCodebook);
        ++state.codebookGeneration;
    } else {
        auto joined = DecompressLcw(state.pendingCompressed, kMaxSubChunkData);
        if (joined) {
            state.codebook = std::move(joined).value();
            ++state.codebookGeneration;
        } else {
            outcome = Error{"the " + std::to_string(state.partCount) +
                            " codebook parts unpack neither one by one nor joined (" +
                            joined.error().message + "); the previous codebook stays"};
        }
    }
    ClearPending(state);
    return outcome;
}

// A pointer table switches the codebook when eight parts are pending. Switching at more than
// eight as well keeps the pending data bounded when a file sends extra parts; for exactly eight it
// is the same thing.
Expected<void> SwitchAfterPointerTable(VqaDecodeState& state) {
    if (state.partCount >= kCodebookPartsPerSwitch) return SwitchCodebook(state);
    return {};
}

}  // namespace

Expected<void> ApplySubChunk(VqaSubChunk& subChunk, VqaDecodeState& state, FrameImageSink& sink) {
    const bool packed = subChunk.identifier[3] == 'Z';
    const char kind = subChunk.identifier[2];

    if (subChunk.data.size() > kMaxSubChunkData) {
        return Error{"the sub-chunk holds " + std::to_string(subChunk.data.size()) +
                     " bytes, more than the " + std::to_string(kMaxSubChunkData) + " allowed"};
    }
    // Codebook parts unpack on their own terms (see AddCodebookPart).
    if (kind == 'P') return AddCodebookPart(subChunk, state, packed);

    if (kind == 'T' && !sink.WantsPointerTables()) {
        if (packed) {
            if (auto checked = CheckLcw(subChunk.data, kMaxSubChunkData); !checked) {
                return checked.error();
            }
        }
        sink.OnPointerTableSkipped();
        return SwitchAfterPointerTable(state);
    }

    if (packed) {
        auto unpacked = DecompressLcw(subChunk.data, kMaxSubChunkData);
        if (!unpacked) return unpacked.error();
        subChunk.data = std::move(unpacked).value();
        subChunk.size = static_cast<int32_t>(subChunk.data.size());
    }

    switch (kind) {
        case 'F':
            // A full codebook leaves the pending parts alone.
            state.codebook = std::move(subChunk.data);
            subChunk.data.clear();
            subChunk.size = 0;
            ++state.codebookGeneration;
            return {};
        case 'L':
            state.palette = std::move(subChunk.data);
            subChunk.data.clear();
            subChunk.size = 0;
            ++state.paletteGeneration;
            return {};
        case 'T':
            // The image is drawn with the codebook in force before the switch this table makes.
            sink.OnPointerTable(subChunk.data, state);
            return SwitchAfterPointerTable(state);
        default:
            return {};
    }
}

PictureChunkResult WalkPictureChunk(std::span<const uint8_t> chunkData, VqaDecodeState& state,
                                    FrameImageSink& sink) {
    using Status = PictureChunkResult::Status;
    CountingSink counter(sink);
    PictureChunkResult result;
    const size_t size = chunkData.size();

    // The walk goes on while more than one byte is left: a last lone byte is padding.
    size_t p = 0;
    while (size >= 2 && p < size - 1) {
        // At most one pad byte 0 before a sub-chunk.
        const size_t start = chunkData[p] == 0 ? p + 1 : p;
        if (size - start < 8) {
            result.status = Status::Damaged;
            result.message = "the sub-chunk header at byte " + std::to_string(start) +
                             " runs past the end of the " + std::to_string(size) +
                             " bytes of picture data";
            break;
        }
        VqaSubChunk subChunk;
        std::memcpy(subChunk.identifier, chunkData.data() + start, 4);
        ByteReader reader(chunkData.subspan(start + 4, 4));
        const uint32_t declared = *reader.U32Be();
        if (declared > size - start - 8) {
            result.status = Status::Damaged;
            result.message = "sub-chunk " + IdentifierText(subChunk.identifier) + " at byte " +
                             std::to_string(start) + " declares " + std::to_string(declared) +
                             " bytes, but only " + std::to_string(size - start - 8) +
                             " bytes of picture data follow";
            break;
        }
        auto payload = chunkData.subspan(start + 8, declared);
        subChunk.data.assign(payload.begin(), payload.end());
        subChunk.size = static_cast<int32_t>(declared);
        p = start + 8 + declared;

        if (auto applied = ApplySubChunk(subChunk, state, counter); !applied) {
            result.status = Status::Damaged;
            result.message = "sub-chunk " + IdentifierText(subChunk.identifier) + " at byte " +
                             std::to_string(start) + ": " + applied.error().message;
            break;
        }
    }
    result.images = counter.Count();
    return result;
}

PictureChunkResult ReadPictureChunk(InputFile& file, VqaDecodeState& state, FrameImageSink& sink) {
    using Status = PictureChunkResult::Status;
    const int64_t chunkPosition = file.Position();
    // Messages name the file and the chunk; they are made only when something is wrong.
    auto where = [&] {
        return "\"" + file.Name() + "\", picture chunk at position " +
               std::to_string(chunkPosition);
    };
    auto fail = [&](Status status, const std::string& what) {
        PictureChunkResult r;
        r.status = status;
        r.message = where() + ": " + what;
        return r;
    };

    // A pad byte 0 may stand before the chunk; the identifier is not compared with anything.
    std::array<uint8_t, 9> header{};
    auto got = file.Read(std::span(header).first(1));
    if (!got) return fail(Status::IoError, got.error().message);
    if (*got != 1) return fail(Status::Truncated, "the file ends before the chunk");
    const size_t rest = header[0] == 0 ? 8 : 7;  // rest of the identifier, then the size
    got = file.Read(std::span(header).subspan(1, rest));
    if (!got) return fail(Status::IoError, got.error().message);
    if (*got != rest) return fail(Status::Truncated, "the file ends inside the chunk header");
    ByteReader reader{std::span(header).subspan(1 + rest - 4, 4)};
    const uint32_t size = *reader.U32Be();

    // A large size is checked against what the file still holds before anything is allocated;
    // a small one is simply read (a frame's chunk is usually a few kilobytes).
    if (size > kPictureChunkReadWithoutCheck) {
        auto length = file.Length();
        if (!length) return fail(Status::IoError, length.error().message);
        const int64_t remaining = std::max<int64_t>(*length - file.Position(), 0);
        if (static_cast<int64_t>(size) > remaining) {
            return fail(Status::Truncated, "the chunk declares " + std::to_string(size) +
                                               " bytes, but the file holds only " +
                                               std::to_string(remaining) + " more");
        }
    }
    if (size > kMaxPictureChunkSize) {
        return fail(Status::Damaged, "the chunk declares " + std::to_string(size) +
                                         " bytes, more than the " +
                                         std::to_string(kMaxPictureChunkSize) + " allowed");
    }

    std::vector<uint8_t> data(size);
    got = file.Read(data);
    if (!got) return fail(Status::IoError, got.error().message);
    if (*got != data.size()) {
        return fail(Status::Truncated, "the file ends after " + std::to_string(*got) + " of the " +
                                           std::to_string(size) + " bytes of the chunk");
    }

    PictureChunkResult result = WalkPictureChunk(data, state, sink);
    if (result.status != Status::Ok) result.message = where() + ": " + result.message;
    return result;
}

}  // namespace rw
