// PNG reading: any bytes either decode within the limits or are refused with a message; a picture
// that decodes is written again (palette or RGB) and reads back to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "png/png_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto image = rw::DecodePng(std::span<const uint8_t>(data, size));
    if (!image) {
        if (image.error().message.empty()) std::abort();
        return 0;
    }
    const uint64_t pixels = uint64_t(image->width) * uint64_t(image->height);
    if (image->width <= 0 || image->height <= 0 || pixels > rw::kMaxPngPixels ||
        image->pixels.size() != 3 * pixels) {
        std::abort();
    }
    if (pixels > 4096) return 0;  // round trips of small pictures only, to keep runs quick
    auto again = rw::EncodePng(*image);
    if (!again) std::abort();
    auto back = rw::DecodePng(*again);
    if (!back || back->width != image->width || back->height != image->height ||
        back->pixels != image->pixels) {
        std::abort();
    }
    return 0;
}
