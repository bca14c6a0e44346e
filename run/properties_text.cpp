#include "run/properties_text.h"

#include <cstdio>

#include "avi/avi_header.h"
#include "avi/stream_avi_target.h"
#include "run/avi_format_of.h"
#include "run/text_format.h"

namespace rw {
namespace {

std::string Megabytes(int64_t bytes) {
    return FormatText("%.2f MB", static_cast<double>(bytes) / 1048576.0);
}

}  // namespace

int64_t EstimatedOutputSize(const VqaProperties& props) {
    // The length of the AVI file the conversion writes.
    return ComputeAviLayout(AviFormatOf(props)).fileLength;
}

PropertyTexts FormatProperties(const VqaProperties& props) {
    PropertyTexts t;
    t.frames = FormatText("%d", props.frames);
    t.width = FormatText("%d", props.width);
    t.height = FormatText("%d", props.height);
    t.blockWidth = FormatText("%d", props.blockWidth);
    t.blockHeight = FormatText("%d", props.blockHeight);
    // Whole seconds at 15 frames per second; the frames of a started second are dropped.
    const int32_t seconds = props.frames / kFramesPerSecond;
    t.videoLength = FormatText("%02d:%02d", seconds / 60, seconds % 60);
    t.outputSize = Megabytes(EstimatedOutputSize(props));
    t.colourDepth = "8-bit palette";
    t.frameRate = FormatText("%d frames per second", kFramesPerSecond);
    t.sound = props.soundRate > 0 ? FormatText("IMA ADPCM, %d Hz, mono", props.soundRate) : "none";
    return t;
}

namespace {

std::string SoundText(const HighColourVideo& video) {
    const HighColourProperties& p = video.props;
    const char* kind = "";
    switch (video.firstSound) {
        case SoundChunkKind::None:
            return "none";
        case SoundChunkKind::Unsupported:
            return "SND1, not supported (converted without sound)";
        case SoundChunkKind::Pcm:
            kind = p.soundBits == 8 ? "8-bit PCM" : "16-bit PCM";
            break;
        case SoundChunkKind::ImaAdpcm:
            kind = "IMA ADPCM";
            break;
    }
    return FormatText("%s, %d Hz, %s", kind, p.soundRate, p.channels == 2 ? "stereo" : "mono");
}

// The file the conversion writes: the header block, per frame a picture with rows of a multiple of
// 4 bytes, the sound (half a second ahead of the pictures), the index.
int64_t HighColourOutputSize(const HighColourProperties& p) {
    const int64_t picture = ((3 * int64_t{p.width} + 3) & ~int64_t{3}) * p.height;
    const int64_t soundPerSecond = int64_t{p.soundRate} * 2 * p.channels;
    const int64_t sound = soundPerSecond * p.frames / p.framesPerSecond + soundPerSecond / 2;
    return kStreamAviHeaderBytes + int64_t{p.frames} * (picture + 8 + 8 + 32) + sound + 8;
}

}  // namespace

int64_t EstimatedOutputSize(const VqaInspection& inspection) {
    return inspection.kind == PictureKind::HighColour
               ? HighColourOutputSize(inspection.highColour.props)
               : EstimatedOutputSize(inspection.properties);
}

PropertyTexts FormatProperties(const VqaInspection& inspection) {
    return FormatProperties(inspection.properties, inspection.kind, inspection.highColour);
}

PropertyTexts FormatProperties(const VqaProperties& props, PictureKind kind,
                               const HighColourVideo& highColour) {
    PropertyTexts t = FormatProperties(props);
    if (kind != PictureKind::HighColour) return t;
    const HighColourProperties& p = highColour.props;
    const int32_t seconds = p.frames / p.framesPerSecond;
    t.videoLength = FormatText("%02d:%02d", seconds / 60, seconds % 60);
    t.outputSize = Megabytes(HighColourOutputSize(p));
    t.colourDepth = "15-bit colour";
    t.frameRate = FormatText("%d frames per second", p.framesPerSecond);
    t.sound = SoundText(highColour);
    return t;
}

std::string FormatFileSize(int64_t bytes) {
    return Megabytes(bytes);
}

}  // namespace rw
