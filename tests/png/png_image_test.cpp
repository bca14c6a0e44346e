#include "png/png_image.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"

namespace rw {
namespace {

// A picture of `colours` distinct colours, each pixel a different mix.
RgbImage Picture(int32_t w, int32_t h, int colours) {
    RgbImage image{w, h, std::vector<uint8_t>(3 * size_t(w) * size_t(h))};
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
        const uint32_t c = uint32_t(i % size_t(colours)) * 2654435761u;
        image.pixels[3 * i] = uint8_t(c >> 24);
        image.pixels[3 * i + 1] = uint8_t(c >> 16);
        image.pixels[3 * i + 2] = uint8_t(c >> 8);
    }
    return image;
}

TEST(PngImage, WritesExactPicturesAsPaletteUpTo256ColoursElseRgb) {
    struct Case {
        int32_t w, h;
        int colours;
        uint8_t type;  // 3 palette, 2 RGB
    } cases[] = {{1, 1, 1, 3}, {320, 200, 256, 3}, {17, 31, 257, 2}, {64, 64, 4096, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.colours) + " colours");
        const RgbImage image = Picture(c.w, c.h, c.colours);
        for (PngEffort effort : {PngEffort::Fast, PngEffort::Small}) {
            auto png = EncodePng(image, effort);
            ASSERT_TRUE(png.ok()) << png.error().message;
            EXPECT_EQ(png->at(25), c.type);  // the header's colour type
            auto back = DecodePng(*png);
            ASSERT_TRUE(back.ok()) << back.error().message;
            EXPECT_EQ(back->width, c.w);
            EXPECT_EQ(back->height, c.h);
            EXPECT_EQ(back->pixels, image.pixels);
        }
    }
}

TEST(PngImage, RefusesPicturesItCannotWrite) {
    for (RgbImage bad :
         {RgbImage{0, 5, {}}, RgbImage{2, 2, std::vector<uint8_t>(11)},
          RgbImage{int32_t(kMaxPngSide) + 1, 1, std::vector<uint8_t>(3 * (kMaxPngSide + 1))}}) {
        auto png = EncodePng(bad);
        ASSERT_FALSE(png.ok());
        EXPECT_NE(png.error().message.find("cannot write a PNG picture"), std::string::npos);
    }
}

// The checked-in corpus holds the same 2 x 2 picture in every colour type and depth: red, green
// (lime), blue, white; the grey ones black, white, black, and mid grey (black in the 1-bit one);
// and damaged copies, which are refused (the fuzz target checks that a refusal has a message).
TEST(PngImage, ReadsEveryColourTypeAsRgbAndRefusesDamagedFiles) {
    const std::string corpus = std::string(RW_SOURCE_DIR) + "/fuzz/corpus/fuzz_png/";
    for (const char* file : {"empty.png", "rgb8-cut-at-40.png", "rgb8-header-flipped.png"}) {
        auto bytes = ReadWholeFile(corpus + file);
        ASSERT_TRUE(bytes.ok()) << file;
        EXPECT_FALSE(DecodePng(*bytes).ok()) << file;
    }
    const std::vector<uint8_t> colour = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    const std::vector<uint8_t> grey = {0, 0, 0, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    const std::vector<uint8_t> bilevel = {0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0};
    // The last pixel half-transparent white over red, as stored; its alpha is dropped.
    const std::vector<uint8_t> alpha = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 127, 127};
    struct Case {
        const char* file;
        const std::vector<uint8_t>& pixels;
    } cases[] = {{"rgb8.png", colour},     {"rgb16.png", colour}, {"rgba8.png", alpha},
                 {"palette8.png", colour}, {"grey8.png", grey},   {"grey16.png", grey},
                 {"grey1.png", bilevel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto bytes = ReadWholeFile(corpus + c.file);
        ASSERT_TRUE(bytes.ok());
        auto image = DecodePng(*bytes);
        ASSERT_TRUE(image.ok()) << image.error().message;
        EXPECT_EQ(image->width, 2);
        EXPECT_EQ(image->height, 2);
        EXPECT_EQ(image->pixels, c.pixels);
    }
}

TEST(PngImage, ScalesDownToFitKeepingProportionsAndAveraging) {
    RgbImage image{4, 2, {}};
    for (int i = 0; i < 8; ++i) {
        const uint8_t v = (i % 2) ? 200 : 100;
        image.pixels.insert(image.pixels.end(), {v, v, v});
    }
    const RgbImage half = ScaleToFit(image, 2);
    EXPECT_EQ(half.width, 2);
    EXPECT_EQ(half.height, 1);
    EXPECT_EQ(half.pixels, std::vector<uint8_t>(6, 150));
    EXPECT_EQ(ScaleToFit(image, 256).pixels, image.pixels);  // never enlarged
    const RgbImage tall = ScaleToFit(RgbImage{1, 300, std::vector<uint8_t>(900, 7)}, 100);
    EXPECT_EQ(tall.width, 1);
    EXPECT_EQ(tall.height, 100);
}

}  // namespace
}  // namespace rw
