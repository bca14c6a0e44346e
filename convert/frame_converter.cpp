#include "convert/frame_converter.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "avi/avi_chunks.h"

namespace rw {
namespace {

// Reads exactly out.size() bytes at `position`. False when the position cannot be reached or the
// file ends first: the caller then uses none of the bytes.
enum class ReadResult { Ok, Short, Error };
ReadResult ReadAt(InputFile& file, std::span<uint8_t> out, std::string& error) {
    auto got = file.Read(out);
    if (!got) {
        error = got.error().message;
        return ReadResult::Error;
    }
    return *got == out.size() ? ReadResult::Ok : ReadResult::Short;
}

std::string DamageSummary(int32_t damaged, int32_t firstDamaged, bool leadingSoundMissing) {
    std::string text;
    if (damaged > 0) {
        text = std::to_string(damaged) + (damaged == 1 ? " frame was" : " frames were") +
               " damaged or missing (the first is frame " + std::to_string(firstDamaged + 1) +
               "); they repeat the previous picture";
    }
    if (leadingSoundMissing) {
        if (!text.empty()) text += "; ";
        text += "the sound before the first frame is missing and was replaced by silence";
    }
    return text;
}

}  // namespace

ConversionOutcome Fail(std::string message) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Failed;
    o.message = std::move(message);
    return o;
}

ConversionOutcome SeekFailure(uint32_t frame, uint32_t position, int32_t damaged) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::SeekFailed;
    o.failedFrame = frame;
    o.failedPosition = position;
    o.damagedFrames = damaged;
    return o;
}

ConversionOutcome Cancelled() {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Cancelled;
    return o;
}

ConversionOutcome OutOfMemory(const VqaProperties& props) {
    const int64_t picture = ComputeAviLayout(props).videoFrameBytes;
    return Fail("there is not enough memory for pictures of " + std::to_string(props.width) +
                " x " + std::to_string(props.height) + " pixels (" + std::to_string(picture) +
                " bytes each)");
}

bool FrameConverter::Frame(size_t f, OutputFile* avi, std::span<uint32_t> soundPositions,
                           std::span<uint32_t> videoPositions, bool skim) {
    const int32_t position = Add32(m_frameIndex[f], 8);
    if (!m_vqa.Seek(position)) {
        m_outcome =
            SeekFailure(static_cast<uint32_t>(f), static_cast<uint32_t>(position), m_damaged);
        return false;
    }

    // The frame's sound. A short read is silence and leaves the decoder where it was.
    const ReadResult got = ReadAt(m_vqa, m_soundIn, m_error);
    if (got == ReadResult::Error) return Stop(m_error);
    std::span<const uint8_t> sound;
    if (got == ReadResult::Ok) {
        DecodeImaAdpcmInto(m_soundIn, m_adpcm, m_soundOut);
        sound = m_soundOut;
    }
    std::optional<VideoChunkRoom> video;
    if (avi != nullptr) {
        auto soundPosition =
            WriteSoundChunk(*avi, m_shape.frameSoundSize, sound, m_shape.frameSoundSize);
        if (!soundPosition) return Stop(soundPosition.error().message);
        soundPositions[f] = *soundPosition;

        // The picture is drawn in place.
        auto room = BeginVideoChunk(*avi, m_shape.pictureBytes);
        if (!room) return Stop(room.error().message);
        video = *room;
    }

    // A frame without an image repeats the previous one; a damaged or missing one does too,
    // and is counted.
    m_sink.BeginFrame(video ? video->image : std::span<uint8_t>{}, skim && !video);
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
    if (!video) return true;
    if (frameDamaged) {
        if (m_damaged++ == 0) m_firstDamaged = static_cast<int32_t>(f);
    }
    if (frameDamaged || m_sink.Images() == 0) m_sink.RepeatPrevious();
    if (m_watcher != nullptr) m_watcher->OnFramePicture(static_cast<int32_t>(f), video->image);
    if (auto end = EndVideoChunk(*avi, *video); !end) return Stop(end.error().message);
    videoPositions[f] = video->position;
    return true;
}

Expected<RunStart> StartRun(InputFile& vqa, OutputFile& avi, const RunShape& shape,
                            std::span<int32_t> frameIndex) {
    if (std::string why = CheckConvertible(shape.props); !why.empty()) return Error{why};
    if (frameIndex.size() < shape.frames) {
        return Error{"the frame index is shorter than the frame count"};
    }
    if (auto w = WriteAviHeader(avi, shape.props); !w) return w.error();

    RunStart start;
    std::vector<uint8_t> soundIn(static_cast<size_t>(shape.leadingIn));
    std::vector<uint8_t> soundOut(4 * soundIn.size());
    std::span<const uint8_t> leadingSound;
    std::string error;
    ReadResult got = ReadResult::Short;
    if (vqa.Seek(Add32(frameIndex[0], 8))) got = ReadAt(vqa, soundIn, error);
    if (got == ReadResult::Error) return Error{error};
    if (got == ReadResult::Ok) {
        DecodeImaAdpcmInto(soundIn, start.adpcm, soundOut);
        leadingSound = soundOut;
    } else {
        start.leadingSoundMissing = true;
    }
    auto leadingPosition = WriteSoundChunk(avi, shape.rate, leadingSound, shape.rate);
    if (!leadingPosition) return leadingPosition.error();
    start.leadingPosition = *leadingPosition;
    frameIndex[0] = Add32(frameIndex[0], kLeadingSoundSkip);
    return start;
}

ConversionOutcome FinishRun(OutputFile& avi, const RunShape& shape, const RunStart& start,
                            std::span<const uint32_t> soundPositions,
                            std::span<const uint32_t> videoPositions, int32_t damaged,
                            int32_t firstDamaged) {
    if (auto w = WriteIndexChunk(avi, start.leadingPosition, soundPositions, videoPositions,
                                 shape.props);
        !w) {
        return Fail(w.error().message);
    }
    if (avi.Position() != shape.layout.fileLength) {
        return Fail("the AVI file came out " + std::to_string(avi.Position()) +
                    " bytes long instead of the " + std::to_string(shape.layout.fileLength) +
                    " its header declares");
    }
    ConversionOutcome o;
    o.damagedFrames = damaged;
    o.leadingSoundMissing = start.leadingSoundMissing;
    o.message = DamageSummary(damaged, firstDamaged, start.leadingSoundMissing);
    return o;
}

}  // namespace rw
