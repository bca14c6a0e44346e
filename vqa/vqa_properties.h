// The six header values of a VQA video, as the dialog and the conversion share them.
#pragma once

#include <cstdint>

namespace rw {

// Declared in the order frames, height, width, block width, block height, sound rate. In the file
// the width stands before the height.
struct VqaProperties {
    int32_t frames = 0;
    int32_t height = 0;       // pixels
    int32_t width = 0;        // pixels
    int32_t blockWidth = 0;   // pixels
    int32_t blockHeight = 0;  // pixels
    int32_t soundRate = 0;    // Hz

    friend bool operator==(const VqaProperties&, const VqaProperties&) = default;
};

// Values the file format does not carry (or the converter does not read) and assumes instead.
inline constexpr int32_t kFramesPerSecond = 15;
inline constexpr int32_t kCodebookPartsPerSwitch = 8;
inline constexpr int64_t kFrameIndexOffset = 70;
// Added to frame 0's offset once the leading sound has been read: 8 + 22050 / 4, whatever the rate.
inline constexpr int32_t kLeadingSoundSkip = 5520;

}  // namespace rw
