// Decoding a video frame by frame into a frame target: the frame's sound and its picture, drawn
// in the room the target gives, with damage concealed. A decoder carries its own codebook, palette
// and sound state from frame to frame; frames it only reads carry the state forward (a part of a
// run that starts later walks the frames before it that way).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "stream/conversion_outcome.h"
#include "stream/frame_target.h"
#include "vqa/ima_adpcm.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"
#include "vqa/vqa_properties.h"

namespace rw {

// A frame's seek position is formed as a signed 32-bit number: offset plus 8, wrapping.
inline int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// A part of a run that starts later reads the frames before its own in full only from this many
// frames before them: enough to find the picture its first frame may repeat, in all but damaged
// files.
inline constexpr size_t kFollowedFrames = 4;

// The stream's format of an 8-bit video: 15 frames a second, mono sound at the header's rate.
StreamFormat StreamFormatOf(const VqaProperties& props);

// The sound track of a video as every output carries it: the leading sound, R bytes for a rate
// of R Hz, then (2 * R) / 15 bytes a frame. The decoder fills each from one ADPCM block: R / 4
// bytes before the first frame, (R / 15) / 2 bytes a frame, two samples a byte.
struct SoundTrack {
    int32_t leadingIn = 0;   // ADPCM bytes before the first frame
    int32_t leadingOut = 0;  // bytes of leading sound
    int32_t frameIn = 0;     // ADPCM bytes a frame
    int32_t frameOut = 0;    // bytes of sound a frame
    explicit SoundTrack(int32_t rate);
};

// Decodes one ADPCM block into `out`, all of whose bytes are set: where the block decodes to
// fewer bytes than `out` holds (R / 4 bytes give 4 * (R / 4), two short of R at 22050 Hz), the
// rest repeats the last decoded sample; a missing block (`in` empty) is silence.
void DecodeSoundBlock(std::span<const uint8_t> in, ImaAdpcmState& state, std::span<uint8_t> out);

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

// What the start of a video leaves for its frames.
struct VideoStart {
    std::vector<uint8_t> leadingSound;  // SoundTrack::leadingOut bytes
    bool leadingSoundMissing = false;
    ImaAdpcmState adpcm;  // after the leading sound
};

// Reads the leading sound: R / 4 bytes from frame 0's offset + 8; then 5520 is added to frame 0's
// offset. `frameIndex` is the run's own copy of the frame offsets.
Expected<VideoStart> StartVideo(InputFile& vqa, const VqaProperties& props,
                                std::span<int32_t> frameIndex);

class FrameDecoder {
  public:
    FrameDecoder(const VqaProperties& props, InputFile& vqa, std::span<const int32_t> frameIndex,
                 const ImaAdpcmState& adpcm)
        : m_props(props),
          m_track(props.soundRate),
          m_vqa(vqa),
          m_frameIndex(frameIndex),
          m_adpcm(adpcm),
          m_sink(m_props),
          m_soundIn(static_cast<size_t>(m_track.frameIn)),
          m_soundOut(static_cast<size_t>(m_track.frameOut)) {}

    // Frame f. With a target, its sound and picture go there; without, it is only read, and
    // `skim` leaves its pointer tables unpacked (see PictureSink). False when the run cannot go
    // on: Outcome() says why.
    bool Frame(size_t f, FrameTarget* target, bool skim = false);

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

    VqaProperties m_props;
    SoundTrack m_track;
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
};

}  // namespace rw
