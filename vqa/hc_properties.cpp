#include "vqa/hc_properties.h"

#include <vector>

#include "vqa/hc_chunks.h"

namespace rw {

bool HeaderSaysHighColour(const VqaHeaderFields& fields) {
    return (fields.colours == 0 && fields.codebookParts == 0) || fields.version == 3;
}

HighColourProperties HighColourPropertiesOf(const VqaHeaderFields& fields) {
    HighColourProperties p;
    p.frames = fields.frames;
    p.width = fields.width;
    p.height = fields.height;
    p.blockWidth = fields.blockWidth;
    p.blockHeight = fields.blockHeight;
    p.framesPerSecond = fields.framesPerSecond == 0 ? 15 : fields.framesPerSecond;
    p.soundRate = fields.soundRate;
    p.channels = fields.channels == 2 ? 2 : 1;
    p.soundBits = fields.soundBits == 8 ? 8 : 16;
    p.headerSaysHighColour = HeaderSaysHighColour(fields);
    return p;
}

Expected<void> CheckHighColourProperties(const HighColourProperties& p,
                                         const std::string& fileName) {
    const std::string size = std::to_string(p.width) + "x" + std::to_string(p.height);
    if (p.width < 1 || p.height < 1) {
        return Error{"\"" + fileName + "\" has pictures of " + size + " pixels"};
    }
    if (int64_t{p.width} * p.height > kMaxHighColourPixels) {
        return Error{"\"" + fileName + "\" has pictures of " + size +
                     " pixels, more than this program can hold"};
    }
    if (p.blockWidth < 1 || p.blockHeight < 1) {
        return Error{"\"" + fileName + "\" has blocks of " + std::to_string(p.blockWidth) + "x" +
                     std::to_string(p.blockHeight) + " pixels"};
    }
    return {};
}

// Where the header and the chunks disagree, the chunks win:
// - Kind: a video is high-colour when its colours and codebook parts are both 0 or its version is
//   3, but some version-2 videos are high-colour too and no flag bit is known to say so. So the
//   first picture chunk decides: a VPTR or VPRZ pointer table makes the video high-colour, a VPT0
//   or VPTZ one makes it 8-bit; without either (or unreadable) the header decides. A video whose
//   chunks contradict its header is decoded as the chunks say, and the user is told once.
// - Pointer-table commands that reach the end of a row go on at the start of the next row
//   (reading order), never losing blocks: see DecodePointerTable.
// - Stereo IMA ADPCM sound takes bytes alternately for the left and the right channel, left
//   first in every chunk; a lone last left byte plays against the right channel held at its last
//   value: see HighColourSound::DecodeSnd2.
PictureKindDecision DecidePictureKind(const VqaHeaderFields& fields,
                                      std::optional<PictureKind> firstPointerTable) {
    const PictureKind byHeader =
        HeaderSaysHighColour(fields) ? PictureKind::HighColour : PictureKind::EightBit;
    if (!firstPointerTable) return {byHeader, false};
    return {*firstPointerTable, *firstPointerTable != byHeader};
}

namespace {

SoundChunkKind SoundKindOf(uint32_t id) {
    if (id == ChunkId("SND0")) return SoundChunkKind::Pcm;
    if (id == ChunkId("SND1")) return SoundChunkKind::Unsupported;
    if (id == ChunkId("SND2")) return SoundChunkKind::ImaAdpcm;
    return SoundChunkKind::None;
}

std::optional<PictureKind> TableKindIn(InputFile& file, const ChunkHeader& vqfr) {
    if (vqfr.size > kMaxHighColourChunk) return std::nullopt;
    std::vector<uint8_t> data(vqfr.size);
    if (!file.Seek(vqfr.dataAt) || !file.ReadExact(data)) return std::nullopt;
    for (const SubChunk& sub : ReadSubChunks(data).chunks) {
        if (sub.id == ChunkId("VPTR") || sub.id == ChunkId("VPRZ")) return PictureKind::HighColour;
        if (sub.id == ChunkId("VPT0") || sub.id == ChunkId("VPTZ")) return PictureKind::EightBit;
    }
    return std::nullopt;
}

}  // namespace

FrameProbe ProbeFrame(InputFile& file, int64_t frameOffset) {
    FrameProbe probe;
    auto length = file.Length();
    if (!length) return probe;
    int64_t at = frameOffset;
    while (at - frameOffset <= kMaxHighColourFrameSpan) {
        auto chunk = ReadChunkHeader(file, at, *length);
        if (!chunk) return probe;
        if (probe.sound == SoundChunkKind::None) probe.sound = SoundKindOf(chunk->id);
        if (chunk->id == ChunkId("VQFR")) {
            probe.pointerTable = TableKindIn(file, *chunk);
            return probe;
        }
        auto next = NextChunkAt(file, *chunk, *length);
        if (!next) return probe;
        at = *next;
    }
    return probe;
}

PictureKindDecision DecideVideoKind(InputFile& file, const VqaHeaderFields& fields) {
    auto offsets = ReadHighColourFrameIndex(file, fields.frames);
    if (!offsets || offsets->empty()) return DecidePictureKind(fields, std::nullopt);
    return DecidePictureKind(fields, ProbeFrame(file, offsets->front()).pointerTable);
}

}  // namespace rw
