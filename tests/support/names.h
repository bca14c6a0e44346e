// Test parameters print as their case names in test listings, not as raw bytes. A test file
// brings this in with `using test::PrintTo;` next to its case structs that carry a `name`.
#pragma once

#include <ostream>
#include <string_view>

#include "avi/avi_format.h"
#include "vqa/vqa_properties.h"

namespace rw {

// "45 frames of 320 x 156, 4 x 2 blocks, 22050 Hz"
inline void PrintTo(const VqaProperties& p, std::ostream* os) {
    *os << p.frames << " frames of " << p.width << " x " << p.height << ", " << p.blockWidth
        << " x " << p.blockHeight << " blocks, " << p.soundRate << " Hz";
}
inline void PrintTo(const AviFormat& f, std::ostream* os) {
    *os << f.frames << " frames of " << f.width << " x " << f.height << ", " << f.soundRate
        << " Hz";
}

}  // namespace rw

namespace rw::test {

template <class T>
requires requires(const T& value) {
    std::string_view{value.name};
}
void PrintTo(const T& value, std::ostream* os) {
    *os << value.name;
}

}  // namespace rw::test
