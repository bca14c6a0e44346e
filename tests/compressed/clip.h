// A short synthetic clip for the compressed writer's tests and benchmark: the synthesiser's palette
// scene in 24-bit BGR (bottom row first) with its tune as sound, written through the writer, and
// the measures its decoded output is held against.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "compressed/compressed_writer.h"
#include "tools/synth/scene.h"

namespace rw::test {

struct Clip {
    StreamShape shape;
    std::vector<std::vector<uint8_t>> pictures;  // BGR, bottom row first
    std::vector<int16_t> sound;                  // interleaved

    size_t SoundFrames() const { return sound.size() / size_t(std::max(1, shape.channels)); }
};

inline Clip MakeClip(int frames, int width, int height, int rate, int channels) {
    Clip clip;
    clip.shape = {width, height, 15, 1, rate, channels};
    const synth::Scene scene(width, height, 7);
    const std::vector<uint8_t> palette = synth::MakePalette(0, 7);
    std::vector<uint8_t> indices(size_t(width) * size_t(height));
    for (int f = 0; f < frames; ++f) {
        scene.Render(f, indices);
        std::vector<uint8_t> bgr(indices.size() * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t* rgb = &palette[3 * indices[size_t(y) * width + x]];
                uint8_t* out = &bgr[3 * (size_t(height - 1 - y) * width + x)];
                for (int c = 0; c < 3; ++c) out[2 - c] = uint8_t(rgb[c] << 2 | rgb[c] >> 4);
            }
        }
        clip.pictures.push_back(std::move(bgr));
    }
    if (rate == 0) return clip;
    const size_t count = size_t(rate) * size_t(frames) / 15;
    synth::Tune left(rate, 1), right(rate, 2);
    const std::vector<int16_t> l = left.Next(count), r = right.Next(count);
    for (size_t i = 0; i < count; ++i) {
        clip.sound.push_back(l[i]);
        if (channels == 2) clip.sound.push_back(r[i]);
    }
    return clip;
}

// Writes the clip into `fd`: each picture, then its share of the sound, given in two pieces cut
// inside a sample.
inline Expected<void> WriteClip(int fd, const std::string& name, const Clip& clip,
                                const CompressedSettings& settings) {
    auto writer = CompressedWriter::Open(fd, name, clip.shape, settings);
    if (!writer) return writer.error();
    const size_t frameBytes = 2 * size_t(clip.shape.channels);
    const size_t n = clip.pictures.size();
    const auto* bytes = reinterpret_cast<const uint8_t*>(clip.sound.data());
    for (size_t i = 0; i < n; ++i) {
        if (auto r = (*writer)->Picture(clip.pictures[i]); !r) return r;
        if (clip.sound.empty()) continue;
        const size_t from = clip.SoundFrames() * i / n * frameBytes;
        const size_t to = clip.SoundFrames() * (i + 1) / n * frameBytes;
        const size_t cut = from + (to - from) / 2 + 1;
        if (auto r = (*writer)->Sound({bytes + from, cut - from}); !r) return r;
        if (auto r = (*writer)->Sound({bytes + cut, to - cut}); !r) return r;
    }
    return (*writer)->Finish();
}

// The picture as the writer should encode it: enlarged `scale` times by repetition, top row first,
// with the last row and column repeated up to even sides when `even`.
inline std::vector<uint8_t> Enlarged(std::span<const uint8_t> bottomUp, int width, int height,
                                     int scale, bool even) {
    const int w = width * scale + (even ? (width * scale) % 2 : 0);
    const int h = height * scale + (even ? (height * scale) % 2 : 0);
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        const int sy = height - 1 - std::min(y / scale, height - 1);
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(x / scale, width - 1);
            std::memcpy(&out[3 * (size_t(y) * w + x)], &bottomUp[3 * (size_t(sy) * width + sx)], 3);
        }
    }
    return out;
}

// The peak signal-to-noise ratio of `decoded` against `reference`, in dB (99 when equal).
inline double Psnr(std::span<const uint8_t> reference, std::span<const uint8_t> decoded) {
    double sum = 0;
    const size_t n = std::min(reference.size(), decoded.size());
    for (size_t i = 0; i < n; ++i) {
        const double d = double(reference[i]) - double(decoded[i]);
        sum += d * d;
    }
    if (sum == 0 || n == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

}  // namespace rw::test
