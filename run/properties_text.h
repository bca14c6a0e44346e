// The texts the dialog's information fields show for a loaded file (also printed by the command
// line's --info).
#pragma once

#include <cstdint>
#include <string>

#include "decode/open_video.h"
#include "vqa/vqa_properties.h"

namespace rw {

struct PropertyTexts {
    std::string frames;       // 1002 "%d"
    std::string width;        // 1007 "%d"
    std::string height;       // 1008 "%d"
    std::string blockWidth;   // 1009 "%d"
    std::string blockHeight;  // 1010 "%d"
    std::string videoLength;  // 1012 "%02d:%02d", minutes and seconds at 15 frames per second
    std::string outputSize;   // 1013 "%.2f MB" of the estimated AVI size
    std::string colourDepth;  // "8-bit palette" or "15-bit colour"
    std::string frameRate;    // "15 frames per second"
    std::string sound;        // "IMA ADPCM, 22050 Hz, mono", "none"
};

// E = frames * (3 * width * height + 48 + (2 * rate) / 15) + rate + 556, in 64 bits.
int64_t EstimatedOutputSize(const VqaProperties& props);
// The same for a video of either kind (a high-colour video's own AVI file).
int64_t EstimatedOutputSize(const VqaInspection& inspection);
PropertyTexts FormatProperties(const VqaProperties& props);
// The texts of a video judged by InspectVideo, of either kind: a high-colour video's length and
// output size at its own frame rate, sound rate and channels.
PropertyTexts FormatProperties(const VqaInspection& inspection);
// The same from the header's values, the kind and (for a high-colour video) its values.
PropertyTexts FormatProperties(const VqaProperties& props, PictureKind kind,
                               const HighColourVideo& highColour);
// 1011: bytes / 2^20 with "%.2f MB".
std::string FormatFileSize(int64_t bytes);

}  // namespace rw
