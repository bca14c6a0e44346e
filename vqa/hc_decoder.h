// Decodes the frames of a high-colour VQA video one at a time: the sound chunks, codebooks and
// pointer tables met from each frame's offset up to its picture chunk, drawn onto a picture that
// persists from frame to frame.
//
// A reader: ReadVqaHeader (the container check), ReadVqaHeaderFields, DecideVideoKind; for a
// high-colour video HighColourPropertiesOf and CheckHighColourProperties, then
// ReadHighColourFrameIndex and one HighColourDecoder whose DecodeFrame is called for every frame
// in order (skipped blocks keep the previous frame's pixels, and codebooks come many frames apart,
// so a decoder cannot start in the middle of a video).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "vqa/hc_chunks.h"
#include "vqa/hc_codebook.h"
#include "vqa/hc_properties.h"
#include "vqa/hc_sound.h"

namespace rw {

struct HighColourFrame {
    // width * height * 3 bytes, blue green red, bottom row first: the decoder's own picture, valid
    // until its next DecodeFrame. Blocks never drawn are black, and so are pixels outside the
    // block grid.
    std::span<const uint8_t> picture;
    // The frame's sound is appended here: 16-bit signed little-endian PCM, channels interleaved.
    std::vector<uint8_t> sound;
    bool damaged = false;
    std::string damage;  // the first thing found wrong; the frame shows what could be drawn
    // The first time the chunks say otherwise than the header about the video's kind.
    bool contradictsHeader = false;
    // The first time an SND1 chunk (a compression not supported) is met: the video is silent.
    bool soundNotDecoded = false;
};

// What a frame brings, found from its chunks' headers without decoding them.
struct HighColourFrameFacts {
    int64_t soundBytes = 0;     // of PCM its sound chunks decode to
    bool setsCodebook = false;  // a codebook takes effect with it (VQFL, or CBFZ in VQFR)
};

class HighColourDecoder {
  public:
    // `properties` must have passed CheckHighColourProperties.
    explicit HighColourDecoder(const HighColourProperties& properties);

    // Walks the chunks from `frameOffset` until the frame's picture chunk (VQFR) has been read.
    // Resets the frame's damage and flags (not its sound, which is appended to).
    // `soundOnly`: the frame's sound is decoded, its codebooks and picture left unread (the
    // picture no longer follows the video until a later frame sets a codebook).
    void DecodeFrame(InputFile& file, int64_t frameOffset, HighColourFrame& out,
                     bool soundOnly = false);
    // The frame at `frameOffset`'s facts; a frame that cannot be walked brings what was found.
    HighColourFrameFacts Scan(InputFile& file, int64_t frameOffset) const;
    // Blocks not drawn since the decoder began: they show black, not what the video shows there.
    size_t UndrawnBlocks() const { return m_undrawn; }

    std::span<const uint8_t> Picture() const { return m_picture; }
    const HighColourCodebook& Codebook() const { return m_codebook; }

  private:
    enum class Walk { Continue, Done };
    Walk OnChunk(InputFile& file, const ChunkHeader& chunk, HighColourFrame& out);
    void OnPictureChunk(std::span<const uint8_t> data, HighColourFrame& out);
    void OnCodebook(std::span<const uint8_t> data, HighColourFrame& out);
    void OnPointerTable(std::span<const uint8_t> table, HighColourFrame& out);
    void OnEightBitTable(HighColourFrame& out);
    void Draw();
    bool ReadData(InputFile& file, int64_t at, uint32_t size, HighColourFrame& out);
    static void Damage(HighColourFrame& out, const std::string& what);

    HighColourProperties m_props;
    size_t m_columns;
    size_t m_rows;
    std::vector<uint8_t> m_picture;
    std::vector<int32_t> m_entries;  // per block, this table's entry or kKeepBlock
    std::vector<bool> m_drawn;       // per block, drawn since the decoder began
    size_t m_undrawn;
    bool m_soundOnly = false;
    HighColourCodebook m_codebook;
    HighColourSound m_sound;
    std::vector<uint8_t> m_buffer;
    bool m_toldKind = false;
    bool m_toldSnd1 = false;
};

}  // namespace rw
