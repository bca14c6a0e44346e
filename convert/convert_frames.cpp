#include "convert/convert_frames.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "avi/avi_chunks.h"
#include "avi/avi_header.h"
#include "vqa/ima_adpcm.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"

namespace rw {
namespace {

// A frame's seek position is formed as a signed 32-bit number: offset plus 8, wrapping.
int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

ConversionOutcome Fail(std::string message) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Failed;
    o.message = std::move(message);
    return o;
}

// Draws each pointer table of a frame straight into the frame's video chunk; the last one drawn
// wins. A frame without a usable image repeats the previous picture, which is kept as cheaply as
// possible: as the last good pointer table, drawn again with the renderer's expansion of the
// codebook, for as long as that expansion stays; just before it changes, the picture is drawn once
// into a buffer of its own.
class PictureSink final : public FrameImageSink {
  public:
    explicit PictureSink(const VqaProperties& props) : m_props(props) {}

    // The room the frame's image goes to.
    void BeginFrame(std::span<uint8_t> target) {
        m_target = target;
        m_images = 0;
    }

    void OnPointerTable(std::span<const uint8_t> pointerTable,
                        const VqaDecodeState& state) override {
        if (!m_renderer.IsPreparedFor(state, m_props)) {
            KeepPrevious();
            m_renderer.Prepare(state, m_props);
        }
        m_renderer.Draw(pointerTable, m_props, m_target);
        m_drawnTable.assign(pointerTable.begin(), pointerTable.end());
        ++m_images;
    }

    int Images() const { return m_images; }

    // The frame's image is good: it is the picture later frames may repeat.
    void KeepFrame() {
        if (m_images == 0) return;
        std::swap(m_lastTable, m_drawnTable);
        m_lastIsTable = true;
    }

    // The frame has no usable image: the previous picture (black before the first) goes instead.
    void RepeatPrevious() {
        if (m_lastIsTable) {
            m_renderer.Draw(m_lastTable, m_props, m_target);
        } else if (m_kept.size() == m_target.size()) {
            std::memcpy(m_target.data(), m_kept.data(), m_kept.size());
        } else {
            std::memset(m_target.data(), 0, m_target.size());
        }
    }

  private:
    void KeepPrevious() {
        if (!m_lastIsTable) return;
        m_kept.resize(m_target.size());
        m_renderer.Draw(m_lastTable, m_props, m_kept);
        m_lastIsTable = false;
    }

    const VqaProperties& m_props;
    FrameRenderer m_renderer;  // keeps the codebook expanded into colours between frames
    std::span<uint8_t> m_target;
    int m_images = 0;
    std::vector<uint8_t> m_drawnTable;  // the last table drawn in this frame
    std::vector<uint8_t> m_lastTable;   // the last good frame's table
    bool m_lastIsTable = false;         // else the previous picture is m_kept (or black)
    std::vector<uint8_t> m_kept;
};

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

std::string CheckConvertible(const VqaProperties& props) {
    if (props.frames <= 0) return "the video has no frames";
    if (props.width <= 0 || props.height <= 0) {
        return "the video has no picture (" + std::to_string(props.width) + " x " +
               std::to_string(props.height) + " pixels)";
    }
    if (props.blockWidth <= 0 || props.blockHeight <= 0) {
        return "the header gives a block size of " + std::to_string(props.blockWidth) + " x " +
               std::to_string(props.blockHeight) + " pixels";
    }
    if (props.soundRate < 0) return "the header gives a negative sound rate";
    if (auto why = CheckAviDescribable(props)) return *why;
    return {};
}

namespace {

ConversionOutcome ConvertFramesUnguarded(InputFile& vqa, OutputFile& avi,
                                         const VqaProperties& props, std::span<int32_t> frameIndex,
                                         ConversionObserver& observer) {
    if (std::string why = CheckConvertible(props); !why.empty()) return Fail(why);
    const size_t frames = static_cast<size_t>(props.frames);
    if (frameIndex.size() < frames) return Fail("the frame index is shorter than the frame count");

    const AviLayout layout = ComputeAviLayout(props);
    const int32_t rate = props.soundRate;
    const int32_t leadingIn = rate / 4;       // ADPCM bytes before the first frame
    const int32_t frameIn = (rate / 15) / 2;  // ADPCM bytes per frame
    const auto frameSoundSize = static_cast<int32_t>(layout.frameSoundDeclared);
    const auto pictureBytes = static_cast<size_t>(layout.videoFrameBytes);

    // Every buffer of the run is made here once; frames reuse them.
    std::vector<uint8_t> soundIn(static_cast<size_t>(std::max(leadingIn, frameIn)));
    std::vector<uint8_t> soundOut(4 * soundIn.size());
    std::vector<uint32_t> soundPositions(frames);
    std::vector<uint32_t> videoPositions(frames);
    ImaAdpcmState adpcm;
    VqaDecodeState state;
    PictureSink sink(props);
    std::string error;

    if (auto w = WriteAviHeader(avi, props); !w) return Fail(w.error().message);

    // Leading sound: R / 4 bytes from frame 0's offset + 8, written as an R-byte chunk.
    bool leadingSoundMissing = false;
    std::span<const uint8_t> leadingSound;
    {
        auto in = std::span<uint8_t>(soundIn).first(static_cast<size_t>(leadingIn));
        ReadResult got = ReadResult::Short;
        if (vqa.Seek(Add32(frameIndex[0], 8))) got = ReadAt(vqa, in, error);
        if (got == ReadResult::Error) return Fail(error);
        if (got == ReadResult::Ok) {
            auto out = std::span<uint8_t>(soundOut).first(4 * in.size());
            DecodeImaAdpcmInto(in, adpcm, out);
            leadingSound = out;
        } else {
            leadingSoundMissing = true;
        }
    }
    auto leadingPosition = WriteSoundChunk(avi, rate, leadingSound, rate);
    if (!leadingPosition) return Fail(leadingPosition.error().message);
    frameIndex[0] = Add32(frameIndex[0], kLeadingSoundSkip);

    int32_t damaged = 0;
    int32_t firstDamaged = -1;
    for (size_t f = 0; f < frames; ++f) {
        if (observer.CancelRequested()) {
            ConversionOutcome o;
            o.status = ConversionOutcome::Status::Cancelled;
            return o;
        }
        observer.OnFrameStart(static_cast<int32_t>(f));

        const int32_t position = Add32(frameIndex[f], 8);
        if (!vqa.Seek(position)) {
            ConversionOutcome o;
            o.status = ConversionOutcome::Status::SeekFailed;
            o.failedFrame = static_cast<uint32_t>(f);
            o.failedPosition = static_cast<uint32_t>(position);
            o.damagedFrames = damaged;
            return o;
        }

        // The frame's sound. A short read is silence and leaves the decoder where it was.
        auto in = std::span<uint8_t>(soundIn).first(static_cast<size_t>(frameIn));
        const ReadResult got = ReadAt(vqa, in, error);
        if (got == ReadResult::Error) return Fail(error);
        std::span<const uint8_t> sound;
        if (got == ReadResult::Ok) {
            auto out = std::span<uint8_t>(soundOut).first(4 * in.size());
            DecodeImaAdpcmInto(in, adpcm, out);
            sound = out;
        }
        auto soundPosition = WriteSoundChunk(avi, frameSoundSize, sound, frameSoundSize);
        if (!soundPosition) return Fail(soundPosition.error().message);
        soundPositions[f] = *soundPosition;

        // The picture, drawn in place. A frame without an image repeats the previous one; a
        // damaged or missing one does too, and is counted.
        auto video = BeginVideoChunk(avi, pictureBytes);
        if (!video) return Fail(video.error().message);
        sink.BeginFrame(video->image);
        bool frameDamaged = got != ReadResult::Ok;
        if (!frameDamaged) {
            const PictureChunkResult result = ReadPictureChunk(vqa, state, sink);
            switch (result.status) {
                case PictureChunkResult::Status::Ok:
                    sink.KeepFrame();
                    break;
                case PictureChunkResult::Status::Damaged:
                case PictureChunkResult::Status::Truncated:
                    frameDamaged = true;
                    break;
                case PictureChunkResult::Status::IoError:
                    return Fail(result.message);
            }
        }
        if (frameDamaged) {
            if (damaged++ == 0) firstDamaged = static_cast<int32_t>(f);
        }
        if (frameDamaged || sink.Images() == 0) sink.RepeatPrevious();
        if (auto end = EndVideoChunk(avi, *video); !end) return Fail(end.error().message);
        videoPositions[f] = video->position;
    }

    if (auto w = WriteIndexChunk(avi, *leadingPosition, soundPositions, videoPositions, props);
        !w) {
        return Fail(w.error().message);
    }
    if (avi.Position() != layout.fileLength) {
        return Fail("the AVI file came out " + std::to_string(avi.Position()) +
                    " bytes long instead of the " + std::to_string(layout.fileLength) +
                    " its header declares");
    }
    ConversionOutcome o;
    o.damagedFrames = damaged;
    o.leadingSoundMissing = leadingSoundMissing;
    o.message = DamageSummary(damaged, firstDamaged, leadingSoundMissing);
    return o;
}

}  // namespace

ConversionOutcome ConvertFrames(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
                                std::span<int32_t> frameIndex, ConversionObserver& observer) {
    // A picture takes 3 * width * height bytes, up to 2 GB for the largest video an AVI header
    // can describe, and a run may hold two (the room in the file for one that does not fit in the
    // write buffer, and a kept previous picture); a machine without that much memory ends the run
    // with a message instead of the program.
    try {
        return ConvertFramesUnguarded(vqa, avi, props, frameIndex, observer);
    } catch (const std::bad_alloc&) {
        const int64_t picture = ComputeAviLayout(props).videoFrameBytes;
        return Fail("there is not enough memory for pictures of " + std::to_string(props.width) +
                    " x " + std::to_string(props.height) + " pixels (" + std::to_string(picture) +
                    " bytes each)");
    }
}

}  // namespace rw
