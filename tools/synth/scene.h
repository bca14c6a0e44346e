// The synthesiser's picture and sound material: a small animated scene drawn in palette indices,
// its two palettes, and a tune.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rw::synth {

// A deterministic pseudo-random sequence (splitmix64).
class Random {
  public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A value in [0, bound); bound must be positive.
    int32_t Below(int32_t bound) {
        return static_cast<int32_t>(Next() % static_cast<uint64_t>(bound));
    }

  private:
    uint64_t m_state;
};

// Sky, ground, a sun, drifting clouds, bouncing boxes, a waving title, a frame counter and a few
// sparkles, drawn as palette indices.
class Scene {
  public:
    Scene(int32_t width, int32_t height, uint32_t seed);
    // Draws frame `frame` into `indices` (width * height bytes, top row first).
    void Render(int32_t frame, std::span<uint8_t> indices) const;

  private:
    struct Box {
        int32_t w, h, x0, y0, vx, vy;
        uint8_t ramp;
    };
    struct Cloud {
        int32_t rx, ry, x0, y, speed;
    };

    void FillEllipse(std::span<uint8_t> img, int32_t cx, int32_t cy, int32_t rx, int32_t ry,
                     uint8_t colour) const;
    void DrawText(std::span<uint8_t> img, const char* text, int32_t x, int32_t y, int32_t scale,
                  uint8_t colour, int32_t frame, int32_t wave) const;

    int32_t m_width;
    int32_t m_height;
    uint32_t m_seed;
    std::vector<Box> m_boxes;
    std::vector<Cloud> m_clouds;
};

// The scene in true colour, as a camera would give it before any palette: drawn at twice the size,
// shown through the daylight palette at 8 bits, averaged down two by two (soft edges) and lit by a
// light that drifts across the picture.
class TrueColourScene {
  public:
    TrueColourScene(int32_t width, int32_t height, uint32_t seed);
    // Draws frame `frame` into `bgr` (width * height pixels of blue, green, red, top row first).
    void Render(int32_t frame, std::span<uint8_t> bgr) const;

  private:
    int32_t m_width;
    int32_t m_height;
    Scene m_scene;
    std::vector<uint8_t> m_palette;
};

// 256 entries of red, green, blue, each 0..63. Variant 0 is daylight, variant 1 dusk.
std::vector<uint8_t> MakePalette(int variant, uint32_t seed);

// A melody over a bass line, continued across calls.
class Tune {
  public:
    Tune(int32_t rate, uint32_t seed);
    std::vector<int16_t> Next(size_t count);

  private:
    void StartNote();

    int32_t m_rate;
    Random m_random;
    int64_t m_noteLength;
    int64_t m_inNote = 0;
    int64_t m_noteNumber = 0;
    double m_melodyFreq = 0, m_bassFreq = 0;
    double m_melodyPhase = 0, m_bassPhase = 0;
};

}  // namespace rw::synth
