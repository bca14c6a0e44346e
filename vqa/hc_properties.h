// What a high-colour (15-bit) VQA video is: its values from the header, how its kind is told from
// an 8-bit video's, and the limits a decoder accepts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/vqa_header.h"

namespace rw {

// What a video's pictures are made of: palette indices, or 15-bit colour.
enum class PictureKind { EightBit, HighColour };

struct HighColourProperties {
    int32_t frames = 0;
    int32_t width = 0;        // pixels
    int32_t height = 0;       // pixels
    int32_t blockWidth = 0;   // pixels
    int32_t blockHeight = 0;  // pixels
    int32_t framesPerSecond = 15;
    int32_t soundRate = 0;   // Hz, the file's own
    int32_t channels = 1;    // 1 or 2
    int32_t soundBits = 16;  // 8 or 16: the sample size of plain (SND0) sound
    bool headerSaysHighColour = false;

    friend bool operator==(const HighColourProperties&, const HighColourProperties&) = default;
};

// The most codebook entries a pointer table can reach.
inline constexpr int32_t kMaxHighColourEntries = 8192;
// The largest picture a decoder takes: 4096 x 4096 pixels.
inline constexpr int64_t kMaxHighColourPixels = int64_t{1} << 24;

// The header's word on the kind: colours and codebook parts both 0, or version 3.
bool HeaderSaysHighColour(const VqaHeaderFields& fields);

// The values a decoder works with, from the header: a frame rate of 0 becomes 15, channels other
// than 2 are 1, sample sizes other than 8 bits are 16.
HighColourProperties HighColourPropertiesOf(const VqaHeaderFields& fields);

// Fails, naming `fileName`, for a picture no decoder should take on: no pixels, blocks of no size,
// or more than kMaxHighColourPixels pixels.
Expected<void> CheckHighColourProperties(const HighColourProperties& p,
                                         const std::string& fileName);

struct PictureKindDecision {
    PictureKind kind = PictureKind::EightBit;
    bool contradictsHeader = false;  // the user is told once
};

// Decides how a video is decoded from its header and the pointer table its first picture chunk
// carries (nothing when it carries none, or could not be read).
PictureKindDecision DecidePictureKind(const VqaHeaderFields& fields,
                                      std::optional<PictureKind> firstPointerTable);

// The kind of sound a video carries, known only from its sound chunks.
enum class SoundChunkKind {
    None,         // no sound chunk before the first picture chunk
    Pcm,          // SND0
    Unsupported,  // SND1: the video converts without sound
    ImaAdpcm,     // SND2
};

struct FrameProbe {
    std::optional<PictureKind> pointerTable;      // nothing: no picture chunk, or no table in it
    SoundChunkKind sound = SoundChunkKind::None;  // the first sound chunk's
};

// What the frame at `frameOffset` carries, found by walking the chunks from there up to its picture
// chunk (VQFR), as a frame is decoded: the kind of its pointer table and of its first sound chunk.
FrameProbe ProbeFrame(InputFile& file, int64_t frameOffset);

// Decides how the video in `file` is decoded (DecidePictureKind), looking at its first frame's
// picture chunk: the frame index is found by walking the chunks after the header. A file whose
// first picture chunk cannot be found is decoded as its header says.
PictureKindDecision DecideVideoKind(InputFile& file, const VqaHeaderFields& fields);

}  // namespace rw
