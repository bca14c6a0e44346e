// The pieces every run is made of, in one part or two: the sizes it shares, the start (header
// block and leading sound), the frames in order, and the end (index and length check). Only the
// conversion's own files use this header.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "avi/avi_header.h"
#include "convert/convert_frames.h"
#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/ima_adpcm.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"

namespace rw {

// A frame's seek position is formed as a signed 32-bit number: offset plus 8, wrapping.
inline int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// A part of a run that starts later reads the frames before its own in full only from this many
// frames before them: enough to find the picture its first frame may repeat, in all but damaged
// files.
inline constexpr size_t kFollowedFrames = 4;

ConversionOutcome Fail(std::string message);
ConversionOutcome SeekFailure(uint32_t frame, uint32_t position, int32_t damaged);
ConversionOutcome Cancelled();
ConversionOutcome OutOfMemory(const VqaProperties& props);

// Draws each pointer table of a frame straight into the frame's video chunk; the last one drawn
// wins. A frame without a usable image repeats the previous picture, which is kept as the last
// good pointer table and the renderer that drew it: of two renderers, each change of codebook or
// palette prepares the one that did not draw that picture, so it can be drawn again as it was.
class PictureSink final : public FrameImageSink {
  public:
    explicit PictureSink(const VqaProperties& props) : m_props(props) {}

    // The room the frame's image goes to; none for a frame that is only read, whose tables still
    // count for what later frames repeat, unless it is skimmed: its tables are then only checked,
    // and what later frames would repeat is no longer known (PictureUnknown) until a frame that
    // is not skimmed has an image.
    void BeginFrame(std::span<uint8_t> target, bool skim) {
        m_target = target;
        m_skim = skim;
        m_images = 0;
    }

    bool WantsPointerTables() const override { return !m_skim; }
    void OnPointerTableSkipped() override { ++m_images; }

    void OnPointerTable(std::span<const uint8_t> pointerTable,
                        const VqaDecodeState& state) override {
        if (!m_renderers[m_current].IsPreparedFor(state, m_props)) {
            if (m_hasLast && m_lastRenderer == m_current) m_current ^= 1;
            m_renderers[m_current].Prepare(state, m_props);
        }
        if (!m_target.empty()) m_renderers[m_current].Draw(pointerTable, m_props, m_target);
        m_drawnTable.assign(pointerTable.begin(), pointerTable.end());
        m_drawnRenderer = m_current;
        ++m_images;
    }

    int Images() const { return m_images; }
    bool PictureUnknown() const { return m_pictureUnknown; }

    // The frame's image is good: it is the picture later frames may repeat.
    void KeepFrame() {
        if (m_images == 0) return;
        m_pictureUnknown = m_skim;
        m_hasLast = !m_skim;
        if (m_skim) return;
        std::swap(m_lastTable, m_drawnTable);
        m_lastRenderer = m_drawnRenderer;
    }

    // The frame has no usable image: the previous picture (black before the first) goes instead.
    void RepeatPrevious() {
        if (m_hasLast) {
            m_renderers[m_lastRenderer].Draw(m_lastTable, m_props, m_target);
        } else {
            std::memset(m_target.data(), 0, m_target.size());
        }
    }

  private:
    const VqaProperties& m_props;
    std::array<FrameRenderer, 2> m_renderers;  // keep codebooks expanded into colours
    size_t m_current = 0;                      // the renderer new tables are drawn with
    std::span<uint8_t> m_target;
    bool m_skim = false;
    int m_images = 0;
    std::vector<uint8_t> m_drawnTable;  // the last table drawn in this frame...
    size_t m_drawnRenderer = 0;         // ...and its renderer
    std::vector<uint8_t> m_lastTable;   // the last good frame's table...
    size_t m_lastRenderer = 0;          // ...and its renderer, which stays prepared for it
    bool m_hasLast = false;             // else the previous picture is black
    bool m_pictureUnknown = false;
};

// The sizes every part of a run shares.
struct RunShape {
    VqaProperties props;
    AviLayout layout;
    size_t frames = 0;
    int32_t rate = 0;
    int32_t leadingIn = 0;       // ADPCM bytes before the first frame
    int32_t frameIn = 0;         // ADPCM bytes per frame
    int32_t frameSoundSize = 0;  // bytes of each frame's sound chunk
    size_t pictureBytes = 0;

    explicit RunShape(const VqaProperties& p)
        : props(p),
          layout(ComputeAviLayout(p)),
          frames(static_cast<size_t>(std::max(p.frames, 0))),
          rate(p.soundRate),
          leadingIn(p.soundRate / 4),
          frameIn((p.soundRate / 15) / 2),
          frameSoundSize(static_cast<int32_t>(layout.frameSoundDeclared)),
          pictureBytes(static_cast<size_t>(layout.videoFrameBytes)) {}

    // Where frame f's sound chunk starts: after the 524-byte header block and the leading sound
    // chunk, every frame takes the same room.
    int64_t FramePosition(size_t f) const {
        return 524 + 8 + layout.leadingSoundBytes +
               static_cast<int64_t>(f) * (16 + layout.frameSoundWritten + layout.videoFrameBytes);
    }
};

// Takes the frames of a run in order, with its own codebook, palette and sound state: frames it
// writes go to an output file, frames it only reads carry the state forward (a part of a run that
// starts later walks the frames before it that way).
class FrameConverter {
  public:
    FrameConverter(const RunShape& shape, InputFile& vqa, std::span<const int32_t> frameIndex,
                   const ImaAdpcmState& adpcm)
        : m_shape(shape),
          m_vqa(vqa),
          m_frameIndex(frameIndex),
          m_adpcm(adpcm),
          m_sink(shape.props),
          m_soundIn(static_cast<size_t>(shape.frameIn)),
          m_soundOut(4 * m_soundIn.size()) {}

    // Frame f. With `avi`, its chunks are written there and their positions kept; without, it
    // is only read, and `skim` leaves its pointer tables unpacked (see PictureSink). False when
    // the run cannot go on: Outcome() says why.
    bool Frame(size_t f, OutputFile* avi, std::span<uint32_t> soundPositions,
               std::span<uint32_t> videoPositions, bool skim = false);

    // Shows each written frame's picture to `watcher`.
    void ShowPicturesTo(ConversionObserver* watcher) { m_watcher = watcher; }
    const ConversionOutcome& Outcome() const { return m_outcome; }
    // After skimmed frames: the picture a next frame would repeat is not known.
    bool PictureUnknown() const { return m_sink.PictureUnknown(); }
    int32_t Damaged() const { return m_damaged; }
    int32_t FirstDamaged() const { return m_firstDamaged; }

  private:
    bool Stop(std::string message) {
        m_outcome = Fail(std::move(message));
        return false;
    }

    const RunShape& m_shape;
    InputFile& m_vqa;
    std::span<const int32_t> m_frameIndex;
    ImaAdpcmState m_adpcm;
    VqaDecodeState m_state;
    PictureSink m_sink;
    std::vector<uint8_t> m_soundIn;
    std::vector<uint8_t> m_soundOut;
    std::string m_error;
    ConversionOutcome m_outcome;
    int32_t m_damaged = 0;
    int32_t m_firstDamaged = -1;
    ConversionObserver* m_watcher = nullptr;
};

// What the start of a run leaves for its frames.
struct RunStart {
    uint32_t leadingPosition = 0;
    bool leadingSoundMissing = false;
    ImaAdpcmState adpcm;  // after the leading sound
};

// Checks the run, writes the AVI header block and the leading sound: R / 4 bytes from frame 0's
// offset + 8, written as an R-byte chunk; then 5520 is added to frame 0's offset.
Expected<RunStart> StartRun(InputFile& vqa, OutputFile& avi, const RunShape& shape,
                            std::span<int32_t> frameIndex);

// Writes the index after the last frame and checks the file's length.
ConversionOutcome FinishRun(OutputFile& avi, const RunShape& shape, const RunStart& start,
                            std::span<const uint32_t> soundPositions,
                            std::span<const uint32_t> videoPositions, int32_t damaged,
                            int32_t firstDamaged);

}  // namespace rw
