// The renderer's rules at their edges: the 6-bit palette, missing data drawn black, and the three
// ways of drawing agreeing. (The block grid, solid blocks of either marker, codebook entries past
// 255, and the black margin of pictures the grid does not cover, are held against the
// synthesiser's own account of every picture in the end-to-end conversions.)
#include "vqa/render.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/bytes.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

VqaProperties Props(int32_t width, int32_t height, int32_t bw, int32_t bh) {
    return {1, height, width, bw, bh, 22050};
}

// Palette where entry k is (k mod 64, (k + 1) mod 64, (k + 2) mod 64).
Bytes RampPalette() {
    Bytes p(768);
    for (size_t k = 0; k < 256; ++k) {
        p[3 * k] = static_cast<uint8_t>(k % 64);
        p[3 * k + 1] = static_cast<uint8_t>((k + 1) % 64);
        p[3 * k + 2] = static_cast<uint8_t>((k + 2) % 64);
    }
    return p;
}

Bytes Bgr(size_t k) {  // the ramp palette's entry k as output bytes
    return {static_cast<uint8_t>((k + 2) % 64 * 4), static_cast<uint8_t>((k + 1) % 64 * 4),
            static_cast<uint8_t>(k % 64 * 4)};
}

// Palette bytes become output bytes: the low 6 bits times 4, blue first.
TEST(RenderFrame, PaletteBytesBecomeOutputBytes) {
    const auto props = Props(1, 1, 1, 1);
    EXPECT_EQ(RenderFrame(Hex("00 0F"), {}, Hex("FF FF FF"), props), Hex("FC FC FC"));
    EXPECT_EQ(RenderFrame(Hex("00 0F"), {}, Hex("01 82 C3"), props), Hex("0C 08 04"));
}

struct MissingCase {
    const char* name;
    Bytes table;
    Bytes codebook;
    Bytes palette;
    // Per pixel of a 4 x 1 image with 2 x 1 blocks: its colour in the ramp palette, "-" black.
    const char* pixels;
};

const Bytes kNone;

TEST(RenderFrame, MissingDataIsDrawnBlack) {
    const MissingCase cases[] = {
        {"NoCodebook", Hex("00 05 00 0F"), kNone, RampPalette(), "--55"},
        {"NoPalette", Hex("00 05 00 0F"), Hex("01 02"), kNone, "----"},
        {"TableHalfMissing", Hex("00 05 00"), Hex("01 02"), RampPalette(), "12--"},
        {"EmptyTable", kNone, Hex("01 02"), RampPalette(), "----"},
        {"EntryPastCodebook", Hex("00 01 00 00"), Hex("01 02"), RampPalette(), "12--"},
        {"EntryCutShort", Hex("00 01 00 00"), Hex("01 02 03"), RampPalette(), "123-"},
        {"ColourPastPalette", Hex("00 09 00 0F"), Hex("01 02"), Hex("00 01 02 01 02 03"), "1---"},
        {"PaletteEntryCutShort", Hex("00 01 0F 0F"), kNone, Hex("00 01 02 01 02"), "00--"},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto props = Props(4, 1, 2, 1);
        auto image = RenderFrame(c.table, c.codebook, c.palette, props);
        ASSERT_EQ(image.size(), 12u);
        for (int32_t x = 0; x < 4; ++x) {
            const char k = c.pixels[x];
            Bytes expected = k == '-' ? Bytes(3, 0) : Bgr(static_cast<size_t>(k - '0'));
            EXPECT_EQ(Bytes(image.begin() + 3 * x, image.begin() + 3 * x + 3), expected)
                << "pixel " << x;
        }
    }
}

// A block size of 0, or an empty pointer table (which may have no storage at all), gives a
// black image. (The other ways of drawing agree with this one; see below.)
TEST(RenderFrame, BlockSizeZeroOrNoTableGivesABlackImage) {
    const std::pair<VqaProperties, Bytes> cases[] = {{Props(8, 4, 0, 2), Bytes(64, 0x0F)},
                                                     {Props(8, 4, 4, 0), Bytes(64, 0x0F)},
                                                     {Props(8, 4, 4, 2), Bytes{}}};
    for (const auto& [props, table] : cases) {
        EXPECT_EQ(RenderFrame(table, {}, RampPalette(), props), Bytes(8 * 4 * 3, 0));
    }
}

// ---- The three ways of drawing agree, the cached one across codebook and palette changes ----

struct RandomFrame {
    VqaProperties props;
    Bytes table, codebook, palette;
};

RandomFrame MakeRandomFrame(std::mt19937& rng) {
    auto pick = [&](uint32_t n) { return static_cast<int32_t>(rng() % n); };
    RandomFrame f;
    f.props = Props(pick(40), pick(30), pick(7), pick(5));
    size_t bw = static_cast<size_t>(std::max(f.props.blockWidth, 1));
    size_t bh = static_cast<size_t>(std::max(f.props.blockHeight, 1));
    size_t blocks =
        (static_cast<size_t>(f.props.width) / bw) * (static_cast<size_t>(f.props.height) / bh);
    // Tables of about the right length, sometimes short; high bytes mostly small or solid.
    const int64_t length = static_cast<int64_t>(2 * blocks) + pick(9) - 6;
    f.table.resize(static_cast<size_t>(std::max<int64_t>(length, 0)));
    for (size_t i = 0; i < f.table.size(); ++i) {
        bool high = i >= blocks;
        uint32_t r = rng() % 10;
        f.table[i] = static_cast<uint8_t>(!high ? rng() : r < 3 ? 0x0F : r < 5 ? 0xFF : r % 3);
    }
    f.codebook.resize(static_cast<size_t>(pick(700 * 12)));
    for (auto& b : f.codebook) b = static_cast<uint8_t>(rng());
    f.palette.resize(static_cast<size_t>(pick(800)));
    for (auto& b : f.palette) b = static_cast<uint8_t>(rng());
    return f;
}

TEST(RenderFrame, AllDrawingPathsGiveTheSamePixels) {
    std::mt19937 rng(2024);
    FrameRenderer renderer;  // one renderer across frames, as in a run
    VqaDecodeState state;
    for (int round = 0; round < 400; ++round) {
        RandomFrame f = MakeRandomFrame(rng);
        // Now the codebook alone changes, now the palette alone, now both.
        if (round % 3 != 1) {
            state.codebook = f.codebook;
            ++state.codebookGeneration;
        }
        if (round % 3 != 2) {
            state.palette = f.palette;
            ++state.paletteGeneration;
        }
        const int32_t w = f.props.width, h = f.props.height;

        Bytes top = RenderFrame(f.table, state.codebook, state.palette, f.props);
        ASSERT_EQ(top.size(), static_cast<size_t>(w * h * 3));
        Bytes bottomUp(top.size(), 0xAB);
        RenderFrameBottomUp(f.table, state.codebook, state.palette, f.props, bottomUp);
        EXPECT_EQ(test::FlipRows(bottomUp, w, h), top) << "round " << round;
        Bytes cached(top.size(), 0xCD);
        renderer.RenderBottomUp(f.table, state, f.props, cached);
        EXPECT_EQ(test::FlipRows(cached, w, h), top) << "round " << round;
    }
}

}  // namespace
}  // namespace rw
