// The one place where a VQA video's header values become the AVI writers' format.
#pragma once

#include "avi/avi_format.h"
#include "vqa/vqa_properties.h"

namespace rw {

inline AviFormat AviFormatOf(const VqaProperties& props) {
    return AviFormat{props.frames, props.width, props.height, props.soundRate};
}

}  // namespace rw
