#include "decode/frame_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rw {
namespace {

// Reads exactly out.size() bytes at the current position. Short when the file ends first: the
// caller then uses none of the bytes.
enum class ReadResult { Ok, Short, Error };
ReadResult ReadAll(InputFile& file, std::span<uint8_t> out, std::string& error) {
    auto got = file.Read(out);
    if (!got) {
        error = got.error().message;
        return ReadResult::Error;
    }
    return *got == out.size() ? ReadResult::Ok : ReadResult::Short;
}

}  // namespace

StreamFormat StreamFormatOf(const VqaProperties& props) {
    return StreamFormat{.frames = props.frames,
                        .width = props.width,
                        .height = props.height,
                        .framesPerSecond = kFramesPerSecond,
                        .soundRate = std::max(props.soundRate, 0),
                        .channels = 1};
}

SoundTrack::SoundTrack(int32_t rate)
    : leadingIn(std::max(rate, 0) / 4),
      leadingOut(std::max(rate, 0)),
      frameIn((std::max(rate, 0) / 15) / 2),
      frameOut(static_cast<int32_t>((2 * int64_t{std::max(rate, 0)}) / 15)) {}

void DecodeSoundBlock(std::span<const uint8_t> in, ImaAdpcmState& state, std::span<uint8_t> out) {
    const size_t decoded = std::min(4 * in.size(), out.size());
    if (!in.empty()) DecodeImaAdpcmInto(in.first(decoded / 4), state, out);
    // Bytes past the block hold its last sample again (a filler of silence would tick on loud
    // sound); with nothing decoded they are silence.
    std::array<uint8_t, 2> last{};
    if (decoded >= 2) last = {out[decoded - 2], out[decoded - 1]};
    for (size_t i = decoded; i < out.size(); ++i) out[i] = last[(i - decoded) % 2];
}

Expected<VideoStart> StartVideo(InputFile& vqa, const VqaProperties& props,
                                std::span<int32_t> frameIndex) {
    if (frameIndex.empty()) return Error{"the video has no frames"};
    const SoundTrack track(props.soundRate);
    VideoStart start;
    std::vector<uint8_t> soundIn(static_cast<size_t>(track.leadingIn));
    std::string error;
    ReadResult got = ReadResult::Short;
    if (vqa.Seek(Add32(frameIndex[0], 8))) got = ReadAll(vqa, soundIn, error);
    if (got == ReadResult::Error) return Error{error};
    start.leadingSoundMissing = got != ReadResult::Ok;
    start.leadingSound.resize(static_cast<size_t>(track.leadingOut));
    DecodeSoundBlock(start.leadingSoundMissing ? std::span<const uint8_t>{} : soundIn, start.adpcm,
                     start.leadingSound);
    frameIndex[0] = Add32(frameIndex[0], kLeadingSoundSkip);
    return start;
}

bool FrameDecoder::Frame(size_t f, FrameTarget* target, bool skim) {
    const int32_t position = Add32(m_frameIndex[f], 8);
    if (!m_vqa.Seek(position)) {
        m_outcome =
            SeekFailure(static_cast<uint32_t>(f), static_cast<uint32_t>(position), m_damaged);
        return false;
    }

    // The frame's sound. A short read is silence and leaves the decoder where it was.
    const ReadResult got = ReadAll(m_vqa, m_soundIn, m_error);
    if (got == ReadResult::Error) return Stop(m_error);
    if (target != nullptr || got == ReadResult::Ok) {
        DecodeSoundBlock(got == ReadResult::Ok ? std::span<const uint8_t>(m_soundIn)
                                               : std::span<const uint8_t>{},
                         m_adpcm, m_soundOut);
    }
    std::span<uint8_t> picture;
    if (target != nullptr) {
        auto room = target->BeginFrame(static_cast<int32_t>(f), m_soundOut);
        if (!room) return Stop(room.error().message);
        picture = *room;
    }

    // A frame without an image repeats the previous one; a damaged or missing one does too,
    // and is counted.
    m_sink.BeginFrame(picture, skim && target == nullptr);
    bool frameDamaged = got != ReadResult::Ok;
    if (!frameDamaged) {
        const PictureChunkResult result = ReadPictureChunk(m_vqa, m_state, m_sink);
        switch (result.status) {
            case PictureChunkResult::Status::Ok:
                m_sink.KeepFrame();
                break;
            case PictureChunkResult::Status::Damaged:
            case PictureChunkResult::Status::Truncated:
                frameDamaged = true;
                break;
            case PictureChunkResult::Status::IoError:
                return Stop(result.message);
        }
    }
    if (target == nullptr) return true;
    if (frameDamaged && m_damaged++ == 0) m_firstDamaged = static_cast<int32_t>(f);
    if (frameDamaged || m_sink.Images() == 0) m_sink.RepeatPrevious();
    if (auto end = target->EndFrame(static_cast<int32_t>(f), frameDamaged); !end) {
        return Stop(end.error().message);
    }
    return true;
}

}  // namespace rw
