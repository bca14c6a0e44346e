#include "run/properties_text.h"

#include <cstdio>

#include "avi/avi_header.h"
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
    return t;
}

std::string FormatFileSize(int64_t bytes) {
    return Megabytes(bytes);
}

}  // namespace rw
