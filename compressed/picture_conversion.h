// Pictures of the frame stream (blue green red, bottom row first) made into an encoder's frames:
// enlarged by a whole number without smoothing, top row first, in the encoder's pixels (internal to
// compressed/). For 4:2:0 pixels at an even enlargement each chroma sample covers pixels of one
// source pixel only, so the colours are converted at the source size and the planes enlarged
// afterwards: a quarter of the conversion work or less, with the same result up to rounding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "compressed/av_support.h"

namespace rw::av {

class PictureConversion {
  public:
    // Pictures of `width` x `height` into frames of `outWidth` x `outHeight` (the enlarged size,
    // possibly one more to make it even: the last row or column repeats) in `pixels`, which are
    // tagged BT.601 limited range unless they are RGB. `direct` false always takes the general way
    // (enlarge, then convert), for comparing the two.
    // Nothing when out of memory.
    static std::optional<PictureConversion> Make(int width, int height, int scale, int outWidth,
                                                 int outHeight, AVPixelFormat pixels,
                                                 bool direct = true);

    // Fills `frame` (allocated for the output size and pixels, writable). Returns false when the
    // converter failed.
    bool Convert(std::span<const uint8_t> bgrBottomUp, AVFrame& frame);

  private:
    PictureConversion() = default;
    void Enlarge(std::span<const uint8_t> bgrBottomUp);
    bool ConvertPlanes(std::span<const uint8_t> bgrBottomUp, AVFrame& frame);

    int m_width = 0, m_height = 0, m_scale = 1;
    int m_outWidth = 0, m_outHeight = 0;
    bool m_planes = false;  // convert at the source size, then enlarge the planes
    ScalerPtr m_scaler;
    std::vector<uint8_t> m_work;         // enlarged BGR, or the three source-size planes
    std::vector<size_t> m_sourceColumn;  // the enlarged BGR's source byte of each column
};

}  // namespace rw::av
