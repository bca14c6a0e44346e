#include "avi/stream_avi_target.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace rw {
namespace {

// The header block: RIFF, the hdrl list (avih, the video stream's strl, the sound stream's strl or
// a JUNK chunk of the same size), and the head of the movi list.
constexpr uint32_t kAvihBytes = 8 + 56;
constexpr uint32_t kVideoStrlBytes = 12 + (8 + 56) + (8 + 40);
constexpr uint32_t kSoundStrlBytes = 12 + (8 + 56) + (8 + 18);
constexpr uint32_t kHdrlBytes = 12 + kAvihBytes + kVideoStrlBytes + kSoundStrlBytes;
constexpr uint32_t kHeaderBytes = 12 + kHdrlBytes + 12;
static_assert(kHeaderBytes == kStreamAviHeaderBytes);
// Index offsets count from the movi list's "movi".
constexpr uint32_t kMoviStart = kHeaderBytes - 4;
constexpr uint32_t kMaxFileBytes = std::numeric_limits<uint32_t>::max();

constexpr uint32_t Id(const char (&text)[5]) {
    return uint32_t{static_cast<uint8_t>(text[0])} | uint32_t{static_cast<uint8_t>(text[1])} << 8 |
           uint32_t{static_cast<uint8_t>(text[2])} << 16 |
           uint32_t{static_cast<uint8_t>(text[3])} << 24;
}

size_t RowBytes(const StreamFormat& f) {
    return (3 * static_cast<size_t>(f.width) + 3) & ~size_t{3};
}

uint32_t BlockAlign(const StreamFormat& f) {
    return 2 * static_cast<uint32_t>(f.channels);
}

}  // namespace

std::optional<std::string> CheckStreamAvi(const StreamFormat& format) {
    if (format.frames <= 0 || format.width <= 0 || format.height <= 0) {
        return "the video has no frames or no picture";
    }
    if (format.framesPerSecond <= 0) return "the frame rate is not positive";
    const uint64_t chunk = 8 + uint64_t{RowBytes(format)} * static_cast<uint64_t>(format.height);
    const uint64_t pictures = chunk * static_cast<uint64_t>(format.frames);
    if (kHeaderBytes + pictures + 16 * 2 * uint64_t(format.frames) + 8 > kMaxFileBytes) {
        return "its pictures alone would make an AVI file larger than 4 GB";
    }
    return std::nullopt;
}

StreamAviTarget::StreamAviTarget(OutputFile& file, const StreamFormat& format)
    : m_file(file),
      m_format(format),
      m_rowBytes(RowBytes(format)),
      m_imageBytes(m_rowBytes * static_cast<size_t>(std::max(format.height, 0))),
      m_picture(format.PictureBytes()) {
    if (m_rowBytes != 3 * static_cast<size_t>(format.width)) m_padded.resize(m_imageBytes);
    m_index.reserve(2 * static_cast<size_t>(std::max(format.frames, 0)) + 1);
}

Expected<void> StreamAviTarget::WriteChunk(uint32_t id, std::span<const uint8_t> data) {
    const int64_t at = m_file.Position();
    const uint64_t end = static_cast<uint64_t>(at) + 8 + data.size() + (data.size() & 1) +
                         16 * (m_index.size() + 2) + 8;
    if (end > kMaxFileBytes) {
        return Error{"the AVI file would be larger than 4 GB"};
    }
    uint8_t head[8];
    StoreU32Le(head, id);
    StoreU32Le(head + 4, static_cast<uint32_t>(data.size()));
    if (auto r = m_file.Write(head); !r) return r;
    if (auto r = m_file.Write(data); !r) return r;
    if (data.size() & 1) {
        if (auto r = m_file.WriteZeros(1); !r) return r;
    }
    m_index.push_back({id, static_cast<uint32_t>(at), static_cast<uint32_t>(data.size())});
    return {};
}

Expected<void> StreamAviTarget::LeadingSound(std::span<const uint8_t> pcm) {
    if (m_file.Position() != kHeaderBytes)
        return Error{"the movie chunks begin at the wrong place"};
    if (m_format.soundRate <= 0 || pcm.empty()) return {};
    m_soundBytes += static_cast<int64_t>(pcm.size());
    m_largestSound = std::max(m_largestSound, static_cast<uint32_t>(pcm.size()));
    return WriteChunk(Id("01wb"), pcm);
}

Expected<std::span<uint8_t>> StreamAviTarget::BeginFrame(int32_t, std::span<const uint8_t> sound) {
    if (m_format.soundRate > 0 && !sound.empty()) {
        const size_t whole = sound.size() - sound.size() % BlockAlign(m_format);
        if (whole > 0) {
            if (auto r = WriteChunk(Id("01wb"), sound.first(whole)); !r) return r.error();
            m_soundBytes += static_cast<int64_t>(whole);
            m_largestSound = std::max(m_largestSound, static_cast<uint32_t>(whole));
        }
    }
    return std::span<uint8_t>(m_picture);
}

Expected<void> StreamAviTarget::EndFrame(int32_t, bool) {
    ++m_frames;
    if (m_padded.empty()) return WriteChunk(Id("00db"), m_picture);
    const size_t row = 3 * static_cast<size_t>(m_format.width);
    for (size_t y = 0; y < static_cast<size_t>(m_format.height); ++y) {
        std::memcpy(m_padded.data() + y * m_rowBytes, m_picture.data() + y * row, row);
    }
    return WriteChunk(Id("00db"), m_padded);
}

Expected<void> StreamAviTarget::Finish(OutputFile& start) {
    m_moviEnd = m_file.Position();
    ByteWriter le;
    le.Id("idx1");
    le.U32Le(static_cast<uint32_t>(16 * m_index.size()));
    for (const IndexEntry& e : m_index) {
        le.U32Le(e.id);
        le.U32Le(0x10);  // a key frame: every chunk stands alone
        le.U32Le(e.position - kMoviStart);
        le.U32Le(e.size);
    }
    if (auto r = m_file.Write(le.bytes); !r) return r;
    if (auto r = m_file.Finish(); !r) return r;
    return start.Write(HeaderBlock());
}

namespace {

void WriteAvih(ByteWriter& le, const StreamFormat& f, uint32_t frames, uint32_t largest,
               uint32_t streams, uint32_t imageBytes) {
    le.Id("avih");
    le.U32Le(56);
    le.U32Le(static_cast<uint32_t>(1000000 / f.framesPerSecond));
    const uint64_t perSecond = uint64_t{imageBytes + 8} * static_cast<uint32_t>(f.framesPerSecond) +
                               uint64_t{static_cast<uint32_t>(f.soundRate)} * BlockAlign(f);
    le.U32Le(static_cast<uint32_t>(std::min<uint64_t>(perSecond, kMaxFileBytes)));
    le.U32Le(0);
    le.U32Le(0x10 | 0x100);  // has an index; interleaved
    le.U32Le(frames);
    le.U32Le(0);
    le.U32Le(streams);
    le.U32Le(largest);
    le.U32Le(static_cast<uint32_t>(f.width));
    le.U32Le(static_cast<uint32_t>(f.height));
    le.Zeros(16);
}

void WriteVideoStrl(ByteWriter& le, const StreamFormat& f, uint32_t frames, uint32_t imageBytes) {
    le.Id("LIST");
    le.U32Le(kVideoStrlBytes - 8);
    le.Id("strl");
    le.Id("strh");
    le.U32Le(56);
    le.Id("vids");
    le.U32Le(0);  // no codec: device-independent bitmaps
    le.U32Le(0);
    le.U32Le(0);  // priority, language
    le.U32Le(0);
    le.U32Le(1);  // scale: the rate counts frames a second
    le.U32Le(static_cast<uint32_t>(f.framesPerSecond));
    le.U32Le(0);
    le.U32Le(frames);
    le.U32Le(imageBytes);
    le.U32Le(0xFFFFFFFF);  // quality: the default
    le.U32Le(imageBytes);
    le.U16Le(0);
    le.U16Le(0);
    le.U16Le(static_cast<uint32_t>(f.width));
    le.U16Le(static_cast<uint32_t>(f.height));
    le.Id("strf");
    le.U32Le(40);
    le.U32Le(40);
    le.U32Le(static_cast<uint32_t>(f.width));
    le.U32Le(static_cast<uint32_t>(f.height));  // positive: bottom row first
    le.U16Le(1);
    le.U16Le(24);
    le.U32Le(0);
    le.U32Le(imageBytes);
    le.Zeros(16);
}

void WriteSoundStrl(ByteWriter& le, const StreamFormat& f, uint32_t soundBytes, uint32_t largest) {
    const uint32_t align = BlockAlign(f);
    const auto rate = static_cast<uint32_t>(f.soundRate);
    le.Id("LIST");
    le.U32Le(kSoundStrlBytes - 8);
    le.Id("strl");
    le.Id("strh");
    le.U32Le(56);
    le.Id("auds");
    le.U32Le(0);
    le.U32Le(0);
    le.U32Le(0);
    le.U32Le(0);
    le.U32Le(align);  // scale and rate: samples a second
    le.U32Le(rate * align);
    le.U32Le(0);
    le.U32Le(soundBytes / align);
    le.U32Le(largest);
    le.U32Le(0xFFFFFFFF);
    le.U32Le(align);
    le.Zeros(8);
    le.Id("strf");
    le.U32Le(18);
    le.U16Le(1);  // PCM
    le.U16Le(static_cast<uint32_t>(f.channels));
    le.U32Le(rate);
    le.U32Le(rate * align);
    le.U16Le(align);
    le.U16Le(16);
    le.U16Le(0);
}

}  // namespace

std::vector<uint8_t> StreamAviTarget::HeaderBlock() const {
    const auto fileEnd = static_cast<uint32_t>(m_moviEnd + 8 + 16 * int64_t(m_index.size()));
    const auto frames = static_cast<uint32_t>(m_frames);
    const auto image = static_cast<uint32_t>(m_imageBytes);
    const bool sound = m_soundBytes > 0;
    ByteWriter le;
    le.bytes.reserve(kHeaderBytes);
    le.Id("RIFF");
    le.U32Le(fileEnd - 8);
    le.Id("AVI ");
    le.Id("LIST");
    le.U32Le(kHdrlBytes - 8);
    le.Id("hdrl");
    WriteAvih(le, m_format, frames, std::max(image, m_largestSound) + 8, sound ? 2 : 1, image);
    WriteVideoStrl(le, m_format, frames, image);
    if (sound) {
        WriteSoundStrl(le, m_format, static_cast<uint32_t>(m_soundBytes), m_largestSound);
    } else {
        le.Id("JUNK");
        le.U32Le(kSoundStrlBytes - 8);
        le.Zeros(kSoundStrlBytes - 8);
    }
    le.Id("LIST");
    le.U32Le(static_cast<uint32_t>(m_moviEnd) - (kHeaderBytes - 8));
    le.Id("movi");
    return std::move(le.bytes);
}

}  // namespace rw
