#include "tools/synth/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace rw::synth {
namespace {

// Palette layout shared by the scene and the palettes.
constexpr uint8_t kSky = 1;        // 1..63, top to horizon
constexpr uint8_t kGround = 64;    // 64..127, horizon to bottom, stripes 16 brighter
constexpr uint8_t kSun = 128;      // 128..143, centre outwards
constexpr uint8_t kBoxes = 144;    // three ramps of 16: 144, 160, 176
constexpr uint8_t kGreys = 192;    // 192..223
constexpr uint8_t kCounter = 254;  // frame counter
constexpr uint8_t kTitle = 255;

struct Glyph {
    char c;
    const char* rows[7];
};

constexpr Glyph kFont[] = {
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& g : kFont) {
        if (g.c == c) return &g;
    }
    return nullptr;
}

uint8_t Clamp63(int32_t v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 63));
}

void SetEntry(std::vector<uint8_t>& pal, int index, int32_t r, int32_t g, int32_t b) {
    pal[static_cast<size_t>(index) * 3] = Clamp63(r);
    pal[static_cast<size_t>(index) * 3 + 1] = Clamp63(g);
    pal[static_cast<size_t>(index) * 3 + 2] = Clamp63(b);
}

int32_t Lerp(int32_t a, int32_t b, int32_t num, int32_t den) {
    return a + (b - a) * num / den;
}

}  // namespace

Scene::Scene(int32_t width, int32_t height, uint32_t seed)
    : m_width(width), m_height(height), m_seed(seed) {
    Random random(seed * 7919ull + 17);
    for (uint8_t k = 0; k < 3; ++k) {
        Box b{};
        b.w = std::max(2, width / 8 + random.Below(std::max(1, width / 8)));
        b.h = std::max(2, height / 6 + random.Below(std::max(1, height / 8)));
        b.x0 = random.Below(std::max(1, width - b.w));
        b.y0 = random.Below(std::max(1, height - b.h));
        b.vx = 1 + random.Below(4);
        b.vy = 1 + random.Below(3);
        b.ramp = static_cast<uint8_t>(kBoxes + 16 * k);
        m_boxes.push_back(b);
    }
    for (int k = 0; k < 3; ++k) {
        Cloud c{};
        c.rx = std::max(2, width / 10 + random.Below(std::max(1, width / 10)));
        c.ry = std::max(1, height / 20 + random.Below(std::max(1, height / 20)));
        c.x0 = random.Below(std::max(1, width));
        c.y = height / 12 + random.Below(std::max(1, height / 4));
        c.speed = 1 + random.Below(2);
        m_clouds.push_back(c);
    }
}

void Scene::FillEllipse(std::span<uint8_t> img, int32_t cx, int32_t cy, int32_t rx, int32_t ry,
                        uint8_t colour) const {
    for (int32_t dy = -ry; dy <= ry; ++dy) {
        const int32_t y = cy + dy;
        if (y < 0 || y >= m_height) continue;
        const double f = 1.0 - static_cast<double>(dy) * dy / (static_cast<double>(ry) * ry + 1);
        const auto half = static_cast<int32_t>(rx * std::sqrt(std::max(0.0, f)));
        const int32_t x0 = std::max(0, cx - half), x1 = std::min(m_width - 1, cx + half);
        if (x0 > x1) continue;
        std::memset(&img[static_cast<size_t>(y) * m_width + x0], colour,
                    static_cast<size_t>(x1 - x0 + 1));
    }
}

void Scene::DrawText(std::span<uint8_t> img, const char* text, int32_t x, int32_t y, int32_t scale,
                     uint8_t colour, int32_t frame, int32_t wave) const {
    for (int32_t i = 0; text[i] != '\0'; ++i) {
        const Glyph* glyph = FindGlyph(text[i]);
        const int32_t gx = x + i * 6 * scale;
        const int32_t gy =
            y + static_cast<int32_t>(std::lround(wave * std::sin(frame * 0.25 + i * 0.7)));
        if (!glyph) continue;
        for (int32_t row = 0; row < 7; ++row) {
            for (int32_t col = 0; col < 5; ++col) {
                if (glyph->rows[row][col] != '#') continue;
                for (int32_t sy = 0; sy < scale; ++sy) {
                    const int32_t py = gy + row * scale + sy;
                    if (py < 0 || py >= m_height) continue;
                    for (int32_t sx = 0; sx < scale; ++sx) {
                        const int32_t px = gx + col * scale + sx;
                        if (px < 0 || px >= m_width) continue;
                        img[static_cast<size_t>(py) * m_width + px] = colour;
                    }
                }
            }
        }
    }
}

void Scene::Render(int32_t frame, std::span<uint8_t> img) const {
    const int32_t w = m_width, h = m_height;
    const int32_t horizon = std::max(1, h * 5 / 8);

    // Sky: a fixed gradient, one index per row.
    for (int32_t y = 0; y < std::min(horizon, h); ++y) {
        const auto shade = static_cast<uint8_t>(kSky + y * 62 / horizon);
        std::memset(&img[static_cast<size_t>(y) * w], shade, static_cast<size_t>(w));
    }
    // Ground: darker to lighter towards the viewer, with diagonal stripes scrolling past.
    for (int32_t y = horizon; y < h; ++y) {
        const int32_t d = y - horizon;
        const int32_t base = d * 47 / std::max(1, h - horizon);
        uint8_t* row = &img[static_cast<size_t>(y) * w];
        const int32_t period = 8 + d / 2;
        for (int32_t x = 0; x < w; ++x) {
            const bool stripe = ((x + frame * 3 + d * 2) / period) % 2 == 0;
            row[x] = static_cast<uint8_t>(kGround + base + (stripe ? 16 : 0));
        }
    }
    // Sun: rises along an arc, shaded from the centre outwards.
    {
        const int32_t r = std::max(3, h / 7);
        const double a =
            std::numbers::pi * (0.15 + 0.7 * ((frame * 2 + m_seed % 50) % 240) / 240.0);
        const auto cx = static_cast<int32_t>(w / 2 - std::cos(a) * (w / 2 - r));
        const auto cy = static_cast<int32_t>(horizon - std::sin(a) * (horizon - r));
        for (int32_t k = 15; k >= 0; --k) {
            const int32_t rk = r * (k + 1) / 16;
            FillEllipse(img, cx, cy, rk, rk, static_cast<uint8_t>(kSun + k));
        }
    }
    // Clouds drift to the left and wrap around.
    for (const Cloud& c : m_clouds) {
        const int32_t span = w + 2 * c.rx;
        const int32_t cx = ((c.x0 - frame * c.speed) % span + span) % span - c.rx;
        FillEllipse(img, cx, c.y, c.rx, c.ry, kGreys + 28);
        FillEllipse(img, cx + c.rx / 2, c.y - c.ry / 2, c.rx / 2, c.ry, kGreys + 31);
    }
    // Boxes bounce off the edges; each is a vertical colour ramp with a dark border.
    for (const Box& b : m_boxes) {
        auto bounce = [](int32_t p0, int32_t v, int32_t t, int32_t range) {
            if (range <= 0) return 0;
            const int32_t p = (p0 + v * t) % (2 * range);
            return p < range ? p : 2 * range - p;
        };
        const int32_t bx = bounce(b.x0, b.vx, frame, w - b.w);
        const int32_t by = bounce(b.y0, b.vy, frame, h - b.h);
        for (int32_t yy = 0; yy < b.h && by + yy < h; ++yy) {
            uint8_t* row = &img[static_cast<size_t>(by + yy) * w];
            for (int32_t xx = 0; xx < b.w && bx + xx < w; ++xx) {
                const bool border = xx == 0 || yy == 0 || xx == b.w - 1 || yy == b.h - 1;
                row[bx + xx] = border ? static_cast<uint8_t>(b.ramp + 15)
                                      : static_cast<uint8_t>(b.ramp + yy * 14 / b.h);
            }
        }
    }
    // Title with a shadow, waving letter by letter.
    {
        static const char kTitleText[] = "REELWRIGHT";
        const int32_t scale = std::max(1, w / 110);
        const int32_t textWidth = 10 * 6 * scale;
        const int32_t x = (w - textWidth) / 2;
        const int32_t y = h / 8;
        DrawText(img, kTitleText, x + scale, y + scale, scale, kGreys + 2, frame, 2 * scale);
        DrawText(img, kTitleText, x, y, scale, kTitle, frame, 2 * scale);
    }
    // Frame counter, bottom left.
    {
        char digits[8];
        int32_t n = frame;
        for (int i = 4; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + n % 10);
            n /= 10;
        }
        digits[5] = '\0';
        DrawText(img, digits, 2, h - 9, 1, kCounter, 0, 0);
    }
    // Sparkles.
    Random random((uint64_t{m_seed} << 32) ^ static_cast<uint32_t>(frame));
    for (int k = 0; k < 12; ++k) {
        const int32_t x = random.Below(w), y = random.Below(std::max(1, horizon));
        img[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(random.Below(256));
    }
}

std::vector<uint8_t> MakePalette(int variant, uint32_t seed) {
    std::vector<uint8_t> pal(768, 0);
    for (int i = 0; i < 63; ++i) {  // sky: deep blue to warm horizon
        SetEntry(pal, kSky + i, Lerp(6, 58, i, 62), Lerp(14, 42, i, 62), Lerp(44, 30, i, 62));
    }
    for (int i = 0; i < 64; ++i) {  // ground
        const int shade = i % 48 + (i >= 48 ? 8 : 0);
        SetEntry(pal, kGround + i, Lerp(10, 36, shade, 56), Lerp(22, 52, shade, 56),
                 Lerp(6, 18, shade, 56));
    }
    for (int i = 0; i < 16; ++i)
        SetEntry(pal, kSun + i, 63, Lerp(60, 36, i, 15), Lerp(44, 0, i, 15));
    static const int32_t kRamps[3][3] = {{63, 12, 8}, {10, 56, 60}, {44, 16, 58}};
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 16; ++i) {
            const int32_t f = 16 - i;
            SetEntry(pal, kBoxes + 16 * k + i, kRamps[k][0] * f / 16, kRamps[k][1] * f / 16,
                     kRamps[k][2] * f / 16);
        }
    }
    for (int i = 0; i < 32; ++i) SetEntry(pal, kGreys + i, i * 2 + 1, i * 2 + 1, i * 2 + 1);
    Random random(seed * 31ull + 5);
    for (int i = 224; i < 254; ++i) {
        SetEntry(pal, i, random.Below(64), random.Below(64), random.Below(64));
    }
    SetEntry(pal, kCounter, 63, 56, 0);
    SetEntry(pal, kTitle, 63, 63, 63);

    if (variant == 1) {  // dusk: warmer and darker, the title stays white
        for (int i = 1; i < 254; ++i) {
            uint8_t* e = &pal[static_cast<size_t>(i) * 3];
            SetEntry(pal, i, e[0] * 5 / 4 + 2, e[1] * 2 / 3, e[2] / 2 + 6);
        }
    }
    return pal;
}

Tune::Tune(int32_t rate, uint32_t seed)
    : m_rate(rate), m_random(seed * 104729ull + 3), m_noteLength(std::max(1, rate / 5)) {}

void Tune::StartNote() {
    static const int kScale[] = {0, 2, 4, 7, 9, 12, 14, 16, 19, 21};
    static const int kBass[] = {0, -5, -3, -7};
    const int step = kScale[m_random.Below(10)];
    m_melodyFreq = 261.63 * std::pow(2.0, step / 12.0);
    m_bassFreq = 65.41 * std::pow(2.0, kBass[(m_noteNumber / 8) % 4] / 12.0);
    m_inNote = 0;
    ++m_noteNumber;
}

std::vector<int16_t> Tune::Next(size_t count) {
    std::vector<int16_t> out(count);
    if (m_rate <= 0) return out;
    const double dt = 1.0 / m_rate;
    for (size_t i = 0; i < count; ++i) {
        if (m_inNote == 0 || m_inNote >= m_noteLength) StartNote();
        const double pos = static_cast<double>(m_inNote) / static_cast<double>(m_noteLength);
        const double attack = std::min(1.0, m_inNote * dt / 0.008);
        const double envelope = attack * (1.0 - pos) * (1.0 - pos);
        m_melodyPhase += m_melodyFreq * dt;
        m_bassPhase += m_bassFreq * dt;
        m_melodyPhase -= std::floor(m_melodyPhase);
        m_bassPhase -= std::floor(m_bassPhase);
        const double melody = std::sin(2 * std::numbers::pi * m_melodyPhase) +
                              0.3 * std::sin(4 * std::numbers::pi * m_melodyPhase);
        const double bass = 4.0 * std::abs(m_bassPhase - 0.5) - 1.0;  // triangle
        const double v = 9000.0 * envelope * melody + 3500.0 * bass;
        out[i] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        ++m_inNote;
    }
    return out;
}

}  // namespace rw::synth

namespace rw::synth {

TrueColourScene::TrueColourScene(int32_t width, int32_t height, uint32_t seed)
    : m_width(width),
      m_height(height),
      m_scene(2 * width, 2 * height, seed),
      m_palette(MakePalette(0, seed)) {}

void TrueColourScene::Render(int32_t frame, std::span<uint8_t> bgr) const {
    const auto w2 = static_cast<size_t>(2 * m_width);
    std::vector<uint8_t> indices(w2 * static_cast<size_t>(2 * m_height));
    m_scene.Render(frame, indices);
    const double lightX = m_width * (0.5 + 0.4 * std::sin(frame * 0.05));
    for (int32_t y = 0; y < m_height; ++y) {
        for (int32_t x = 0; x < m_width; ++x) {
            const double dx = (x - lightX) / m_width, dy = (y - m_height * 0.3) / m_height;
            const double light = 0.75 + 0.35 * std::exp(-3.0 * (dx * dx + dy * dy));
            for (int c = 0; c < 3; ++c) {
                int32_t sum = 0;
                for (size_t sy = 0; sy < 2; ++sy) {
                    for (size_t sx = 0; sx < 2; ++sx) {
                        const uint8_t i = indices[(2 * size_t(y) + sy) * w2 + 2 * size_t(x) + sx];
                        sum += m_palette[3 * size_t{i} + size_t(c)];
                    }
                }
                const double v = sum * 255.0 / (4 * 63) * light;
                bgr[3 * (size_t(y) * size_t(m_width) + size_t(x)) + size_t(2 - c)] =
                    static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            }
        }
    }
}

}  // namespace rw::synth
