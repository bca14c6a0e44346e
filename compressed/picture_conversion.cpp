#include "compressed/picture_conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace rw::av {

namespace {

// Copies `plane` (w x h bytes, top row first) enlarged `f` times into rows of `stride` bytes.
void EnlargePlane(const uint8_t* plane, int w, int h, int f, uint8_t* out, int stride) {
    const size_t width = size_t(w) * size_t(f);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out + ptrdiff_t(y) * f * stride;
        const uint8_t* in = plane + size_t(y) * size_t(w);
        if (f == 1) {
            std::memcpy(row, in, width);
        } else if (f == 2) {  // the usual case, without a call a pixel
            for (int x = 0; x < w; ++x) row[2 * x] = row[2 * x + 1] = in[x];
        } else {
            uint8_t* o = row;
            for (int x = 0; x < w; ++x, o += f) std::fill(o, o + f, in[x]);
        }
        for (int k = 1; k < f; ++k) std::memcpy(row + ptrdiff_t(k) * stride, row, width);
    }
}

}  // namespace

std::optional<PictureConversion> PictureConversion::Make(int width, int height, int scale,
                                                         int outWidth, int outHeight,
                                                         AVPixelFormat pixels, bool direct) {
    PictureConversion c;
    c.m_width = width;
    c.m_height = height;
    c.m_scale = scale;
    c.m_outWidth = outWidth;
    c.m_outHeight = outHeight;
    c.m_planes = direct && pixels == AV_PIX_FMT_YUV420P && scale % 2 == 0;
    const int w = c.m_planes ? width : outWidth;
    const int h = c.m_planes ? height : outHeight;
    c.m_scaler.reset(sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h,
                                    c.m_planes ? AV_PIX_FMT_YUV444P : pixels,
                                    SWS_POINT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!c.m_scaler) return std::nullopt;
    if (pixels != AV_PIX_FMT_BGR0) {
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(c.m_scaler.get(), bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
    }
    c.m_work.resize(size_t(w) * size_t(h) * 3);
    if (!c.m_planes) {
        const int last = width * scale - 1;
        for (int x = 0; x < outWidth; ++x) {
            c.m_sourceColumn.push_back(size_t(std::min(x, last) / scale) * 3);
        }
    }
    return c;
}

bool PictureConversion::Convert(std::span<const uint8_t> bgrBottomUp, AVFrame& frame) {
    if (m_planes) return ConvertPlanes(bgrBottomUp, frame);
    Enlarge(bgrBottomUp);
    const uint8_t* const source[1] = {m_work.data()};
    const int stride[1] = {m_outWidth * 3};
    return sws_scale(m_scaler.get(), source, stride, 0, m_outHeight, frame.data, frame.linesize) >=
           0;
}

void PictureConversion::Enlarge(std::span<const uint8_t> bgrBottomUp) {
    const size_t outRow = size_t(m_outWidth) * 3;
    const int last = m_height * m_scale - 1;
    int previous = -1;
    for (int y = 0; y < m_outHeight; ++y) {
        const int source = m_height - 1 - std::min(y, last) / m_scale;
        uint8_t* out = &m_work[size_t(y) * outRow];
        if (source == previous) {
            std::memcpy(out, out - outRow, outRow);
            continue;
        }
        previous = source;
        const uint8_t* in = &bgrBottomUp[size_t(source) * size_t(m_width) * 3];
        for (int x = 0; x < m_outWidth; ++x) std::memcpy(out + 3 * x, in + m_sourceColumn[x], 3);
    }
}

bool PictureConversion::ConvertPlanes(std::span<const uint8_t> bgrBottomUp, AVFrame& frame) {
    const size_t row = size_t(m_width) * 3;
    const size_t plane = size_t(m_width) * size_t(m_height);
    // The top row is the last in memory: read upwards.
    const uint8_t* const source[1] = {bgrBottomUp.data() + size_t(m_height - 1) * row};
    const int stride[1] = {-static_cast<int>(row)};
    uint8_t* planes[3] = {m_work.data(), m_work.data() + plane, m_work.data() + 2 * plane};
    const int strides[3] = {m_width, m_width, m_width};
    if (sws_scale(m_scaler.get(), source, stride, 0, m_height, planes, strides) < 0) return false;
    EnlargePlane(planes[0], m_width, m_height, m_scale, frame.data[0], frame.linesize[0]);
    for (int p = 1; p < 3; ++p) {
        EnlargePlane(planes[p], m_width, m_height, m_scale / 2, frame.data[p], frame.linesize[p]);
    }
    return true;
}

}  // namespace rw::av
