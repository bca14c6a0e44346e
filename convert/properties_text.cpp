#include "convert/properties_text.h"

#include <cstdio>

namespace rw {
namespace {

std::string Format(const char* format, auto... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Megabytes(int64_t bytes) {
    return Format("%.2f MB", static_cast<double>(bytes) / 1048576.0);
}

}  // namespace

int64_t EstimatedOutputSize(const VqaProperties& props) {
    const int64_t f = props.frames;
    const int64_t w = props.width;
    const int64_t h = props.height;
    const int64_t r = props.soundRate;
    return f * (3 * w * h + 48 + (2 * r) / 15) + r + 556;
}

PropertyTexts FormatProperties(const VqaProperties& props) {
    PropertyTexts t;
    t.frames = Format("%d", props.frames);
    t.width = Format("%d", props.width);
    t.height = Format("%d", props.height);
    t.blockWidth = Format("%d", props.blockWidth);
    t.blockHeight = Format("%d", props.blockHeight);
    // Whole seconds at 15 frames per second; the frames of a started second are dropped.
    const int32_t seconds = props.frames / kFramesPerSecond;
    t.videoLength = Format("%02d:%02d", seconds / 60, seconds % 60);
    t.outputSize = Megabytes(EstimatedOutputSize(props));
    return t;
}

std::string FormatFileSize(int64_t bytes) {
    return Megabytes(bytes);
}

}  // namespace rw
