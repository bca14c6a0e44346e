// PNG pictures: writing an RGB image exactly and small (as an 8-bit palette image when it has at
// most 256 colours), and reading any common PNG back as RGB with bounded memory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/expected.h"

namespace rw {

// Width * height pixels of 3 bytes each (red, green, blue), top row first.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// The largest picture read or written: each side at most this many pixels...
inline constexpr uint32_t kMaxPngSide = 16384;
// ...and at most this many pixels in all (192 MB of RGB).
inline constexpr uint64_t kMaxPngPixels = uint64_t{64} << 20;

// How hard zlib works: fast keeps export quick, small suits single pictures.
enum class PngEffort { Fast, Small };

// An image's colours as a palette and one index per pixel; nothing when it has more than 256.
struct IndexedImage {
    std::vector<uint8_t> palette;  // 3 bytes per entry, red, green, blue, in order of first use
    std::vector<uint8_t> indices;  // one per pixel, top row first
};
bool IndexColours(std::span<const uint8_t> rgb, IndexedImage& out);

// The PNG file's bytes: an 8-bit palette image when the picture has at most 256 colours,
// otherwise 8-bit RGB. Either decodes to exactly the given pixels.
Expected<std::vector<uint8_t>> EncodePng(const RgbImage& image, PngEffort effort = PngEffort::Fast);

// Reads a PNG of any colour type and depth (grey, grey with alpha, palette, RGB, RGBA; 1 to 16
// bits) as 8-bit RGB; alpha is dropped. Pictures past the limits above, damaged files and files
// with unusual amounts of ancillary data are refused with a message.
Expected<RgbImage> DecodePng(std::span<const uint8_t> file);

// Scales an image to fit a square of `size` pixels, keeping its proportions: larger images are
// averaged down (box filter), smaller ones are left as they are.
RgbImage ScaleToFit(const RgbImage& image, int32_t size);

}  // namespace rw
