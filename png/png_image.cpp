#include "png/png_image.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace rw {
namespace {

struct CtxFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Ctx = std::unique_ptr<spng_ctx, CtxFree>;

Error SpngError(const char* what, int code) {
    return Error{std::string(what) + ": " + spng_strerror(code)};
}

// Colours by 24-bit value in a small open-addressed table: 512 slots for at most 256 colours.
class ColourTable {
  public:
    // The colour's index, adding it when new; -1 when a 257th colour would be needed.
    int Find(uint32_t colour, std::vector<uint8_t>& palette) {
        size_t slot = (colour * 2654435761u) >> 23;  // 9 bits
        while (m_used[slot]) {
            if (m_colour[slot] == colour) return m_index[slot];
            slot = (slot + 1) & 511;
        }
        if (m_count == 256) return -1;
        m_used[slot] = true;
        m_colour[slot] = colour;
        m_index[slot] = static_cast<uint8_t>(m_count);
        palette.push_back(static_cast<uint8_t>(colour >> 16));
        palette.push_back(static_cast<uint8_t>(colour >> 8));
        palette.push_back(static_cast<uint8_t>(colour));
        return m_count++;
    }

  private:
    std::array<bool, 512> m_used{};
    std::array<uint32_t, 512> m_colour{};
    std::array<uint8_t, 512> m_index{};
    int m_count = 0;
};

bool CheckSize(const RgbImage& image) {
    if (image.width <= 0 || image.height <= 0) return false;
    const auto w = static_cast<uint64_t>(image.width);
    const auto h = static_cast<uint64_t>(image.height);
    return w <= kMaxPngSide && h <= kMaxPngSide && w * h <= kMaxPngPixels &&
           image.pixels.size() == 3 * w * h;
}

Expected<std::vector<uint8_t>> Encode(const RgbImage& image, const IndexedImage* indexed,
                                      PngEffort effort) {
    Ctx ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) return Error{"cannot start the PNG encoder: out of memory"};
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, effort == PngEffort::Fast ? 1 : 9);
    // Runs only: several times faster than the full search, and nearly as small for pictures
    // drawn from blocks.
    if (effort == PngEffort::Fast) spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_STRATEGY, Z_RLE);
    // Palette pictures compress best unfiltered; RGB ones let the encoder choose.
    spng_set_option(ctx.get(), SPNG_FILTER_CHOICE,
                    indexed != nullptr ? SPNG_FILTER_CHOICE_NONE : SPNG_FILTER_CHOICE_ALL);

    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(image.width);
    ihdr.height = static_cast<uint32_t>(image.height);
    ihdr.bit_depth = 8;
    ihdr.color_type = indexed != nullptr ? SPNG_COLOR_TYPE_INDEXED : SPNG_COLOR_TYPE_TRUECOLOR;
    if (int r = spng_set_ihdr(ctx.get(), &ihdr); r != 0) return SpngError("PNG header", r);
    std::span<const uint8_t> data = image.pixels;
    if (indexed != nullptr) {
        spng_plte plte{};
        plte.n_entries = static_cast<uint32_t>(indexed->palette.size() / 3);
        for (uint32_t i = 0; i < plte.n_entries; ++i) {
            plte.entries[i].red = indexed->palette[3 * i];
            plte.entries[i].green = indexed->palette[3 * i + 1];
            plte.entries[i].blue = indexed->palette[3 * i + 2];
        }
        if (int r = spng_set_plte(ctx.get(), &plte); r != 0) return SpngError("PNG palette", r);
        data = indexed->indices;
    }
    if (int r = spng_encode_image(ctx.get(), data.data(), data.size(), SPNG_FMT_PNG,
                                  SPNG_ENCODE_FINALIZE);
        r != 0) {
        return SpngError("PNG encoding", r);
    }
    size_t length = 0;
    int error = 0;
    std::unique_ptr<void, decltype(&free)> buffer(spng_get_png_buffer(ctx.get(), &length, &error),
                                                  &free);
    if (!buffer) return SpngError("PNG encoding", error);
    const auto* bytes = static_cast<const uint8_t*>(buffer.get());
    return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace

bool IndexColours(std::span<const uint8_t> rgb, IndexedImage& out) {
    out.palette.clear();
    out.indices.resize(rgb.size() / 3);
    ColourTable table;
    uint32_t last = 0xFFFFFFFF;
    int lastIndex = 0;
    for (size_t i = 0, p = 0; i < out.indices.size(); ++i, p += 3) {
        const uint32_t colour = (uint32_t{rgb[p]} << 16) | (uint32_t{rgb[p + 1]} << 8) | rgb[p + 2];
        if (colour != last) {
            lastIndex = table.Find(colour, out.palette);
            if (lastIndex < 0) return false;
            last = colour;
        }
        out.indices[i] = static_cast<uint8_t>(lastIndex);
    }
    return true;
}

Expected<std::vector<uint8_t>> EncodePng(const RgbImage& image, PngEffort effort) {
    if (!CheckSize(image)) {
        return Error{"cannot write a PNG picture of " + std::to_string(image.width) + " x " +
                     std::to_string(image.height) + " pixels"};
    }
    IndexedImage indexed;
    const bool fits = IndexColours(image.pixels, indexed);
    return Encode(image, fits ? &indexed : nullptr, effort);
}

Expected<RgbImage> DecodePng(std::span<const uint8_t> file) {
    Ctx ctx(spng_ctx_new(0));
    if (!ctx) return Error{"cannot start the PNG decoder: out of memory"};
    // Ancillary chunks: at most 1 MB each and 4 MB in all.
    spng_set_chunk_limits(ctx.get(), size_t{1} << 20, size_t{4} << 20);
    spng_set_image_limits(ctx.get(), kMaxPngSide, kMaxPngSide);
    if (int r = spng_set_png_buffer(ctx.get(), file.data(), file.size()); r != 0) {
        return SpngError("not a readable PNG picture", r);
    }
    spng_ihdr ihdr{};
    if (int r = spng_get_ihdr(ctx.get(), &ihdr); r != 0) {
        return SpngError("not a readable PNG picture", r);
    }
    if (uint64_t{ihdr.width} * ihdr.height > kMaxPngPixels) {
        return Error{"the PNG picture is too large (" + std::to_string(ihdr.width) + " x " +
                     std::to_string(ihdr.height) + " pixels)"};
    }
    // Every colour type and depth decodes to 8-bit RGBA; the alpha is then dropped in place.
    const size_t pixels = static_cast<size_t>(ihdr.width) * ihdr.height;
    size_t size = 0;
    if (int r = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size); r != 0) {
        return SpngError("the PNG picture cannot be read", r);
    }
    if (size != 4 * pixels) return Error{"the PNG picture cannot be read as RGB"};
    RgbImage image;
    image.width = static_cast<int32_t>(ihdr.width);
    image.height = static_cast<int32_t>(ihdr.height);
    image.pixels.resize(size);
    if (int r = spng_decode_image(ctx.get(), image.pixels.data(), size, SPNG_FMT_RGBA8, 0);
        r != 0) {
        return SpngError("the PNG picture is damaged", r);
    }
    uint8_t* p = image.pixels.data();
    for (size_t i = 0; i < pixels; ++i) {
        p[3 * i] = p[4 * i];
        p[3 * i + 1] = p[4 * i + 1];
        p[3 * i + 2] = p[4 * i + 2];
    }
    image.pixels.resize(3 * pixels);
    image.pixels.shrink_to_fit();
    return image;
}

RgbImage ScaleToFit(const RgbImage& image, int32_t size) {
    if (size <= 0 || (image.width <= size && image.height <= size)) return image;
    const int64_t w = image.width;
    const int64_t h = image.height;
    RgbImage out;
    out.width = static_cast<int32_t>(std::max<int64_t>(1, w >= h ? size : w * size / h));
    out.height = static_cast<int32_t>(std::max<int64_t>(1, h >= w ? size : h * size / w));
    out.pixels.resize(3 * static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    for (int64_t y = 0; y < out.height; ++y) {
        const int64_t y0 = y * h / out.height;
        const int64_t y1 = std::max(y0 + 1, (y + 1) * h / out.height);
        for (int64_t x = 0; x < out.width; ++x) {
            const int64_t x0 = x * w / out.width;
            const int64_t x1 = std::max(x0 + 1, (x + 1) * w / out.width);
            std::array<uint64_t, 3> sum{};
            for (int64_t sy = y0; sy < y1; ++sy) {
                const uint8_t* row = image.pixels.data() + 3 * (sy * w);
                for (int64_t sx = x0; sx < x1; ++sx) {
                    for (int c = 0; c < 3; ++c) sum[c] += row[3 * sx + c];
                }
            }
            const uint64_t n = static_cast<uint64_t>((y1 - y0) * (x1 - x0));
            uint8_t* px = out.pixels.data() + 3 * (y * out.width + x);
            for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

}  // namespace rw
