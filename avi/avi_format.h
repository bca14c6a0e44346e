// What the AVI writers need to know of a video: its frame count, picture size and sound rate.
#pragma once

#include <cstdint>

namespace rw {

struct AviFormat {
    int32_t frames = 0;
    int32_t width = 0;      // pixels
    int32_t height = 0;     // pixels
    int32_t soundRate = 0;  // Hz

    friend bool operator==(const AviFormat&, const AviFormat&) = default;
};

}  // namespace rw
