// The header fields, the high-colour properties made of them, and the decision on a video's kind.
#include "vqa/hc_properties.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

// FORM, size, WVQA, VQHD, size 42, then the 42 bytes of the header.
Bytes Header(const char* fields) {
    Bytes b = test::Concat({Hex("464F524D 00000000 57565141 56514844 0000002A"), Hex(fields)});
    b.resize(20 + 42, 0);
    return b;
}

TEST(HighColourHeader, ReadsEveryFieldUpToTheSampleSize) {
    // version 3, flags 1, 300 frames, 640 x 400, blocks 4 x 4, 0 fps, 0 parts, 0 colours,
    // 8000 entries, 6 bytes, 22050 Hz, 2 channels, 16 bits
    const Bytes file =
        Header("0300 0100 2C01 8002 9001 04 04 00 00 0000 401F 000000000000 2256 02 10");
    MemoryInputFile in(file);
    auto fields = ReadVqaHeaderFields(in);
    ASSERT_TRUE(fields.ok()) << fields.error().message;
    EXPECT_EQ(*fields, (VqaHeaderFields{3, 1, 300, 640, 400, 4, 4, 0, 0, 0, 8000, 22050, 2, 16}));
    // The six values of the 8-bit reading are the same bytes.
    EXPECT_EQ(ReadVqaHeader(file).properties, (VqaProperties{300, 400, 640, 4, 4, 22050}));

    const Bytes short47 = test::Cut(file, 47);
    MemoryInputFile cut(short47);
    EXPECT_FALSE(ReadVqaHeaderFields(cut).ok());
}

TEST(HighColourHeader, HighColourWhenColoursAndPartsAre0OrVersionIs3) {
    struct Case {
        uint16_t version;
        uint8_t parts;
        uint16_t colours;
        bool highColour;
    };
    const Case cases[] = {{2, 8, 256, false}, {3, 8, 256, true},  {2, 0, 0, true},
                          {2, 8, 0, false},   {2, 0, 256, false}, {1, 0, 0, true}};
    for (const Case& c : cases) {
        VqaHeaderFields f;
        f.version = c.version;
        f.codebookParts = c.parts;
        f.colours = c.colours;
        EXPECT_EQ(HeaderSaysHighColour(f), c.highColour)
            << c.version << " " << int{c.parts} << " " << c.colours;
    }
}

TEST(HighColourHeader, PropertiesTakeDefaultsForRatesChannelsAndBits) {
    VqaHeaderFields f{3, 0, 10, 64, 48, 4, 2, 0, 0, 0, 100, 44100, 2, 8};
    EXPECT_EQ(HighColourPropertiesOf(f),
              (HighColourProperties{10, 64, 48, 4, 2, 15, 44100, 2, 8, true}));
    f.framesPerSecond = 12;
    f.channels = 0;
    f.soundBits = 0;
    EXPECT_EQ(HighColourPropertiesOf(f),
              (HighColourProperties{10, 64, 48, 4, 2, 12, 44100, 1, 16, true}));
}

TEST(HighColourHeader, RefusesPicturesNoDecoderShouldTakeOn) {
    const std::pair<HighColourProperties, bool> cases[] = {
        {{1, 640, 400, 4, 4}, true},    {{1, 4096, 4096, 4, 4}, true}, {{1, 0, 400, 4, 4}, false},
        {{1, 4097, 4096, 4, 4}, false}, {{1, 640, 400, 0, 4}, false},  {{1, 640, 400, 4, 0}, false},
    };
    for (const auto& [p, ok] : cases) {
        auto r = CheckHighColourProperties(p, "clip.vqa");
        EXPECT_EQ(r.ok(), ok) << p.width << "x" << p.height << " " << p.blockWidth;
        if (!r.ok()) {
            EXPECT_NE(r.error().message.find("\"clip.vqa\""), std::string::npos);
        }
    }
}

TEST(HighColourHeader, TheFirstPointerTableDecidesTheKind) {
    using P = PictureKind;
    VqaHeaderFields high;
    high.version = 3;
    VqaHeaderFields eight;
    eight.version = 2, eight.codebookParts = 8, eight.colours = 256;
    struct Case {
        const VqaHeaderFields& header;
        std::optional<P> table;
        P kind;
        bool told;
    };
    const Case cases[] = {
        {high, std::nullopt, P::HighColour, false}, {high, P::HighColour, P::HighColour, false},
        {high, P::EightBit, P::EightBit, true},     {eight, std::nullopt, P::EightBit, false},
        {eight, P::EightBit, P::EightBit, false},   {eight, P::HighColour, P::HighColour, true},
    };
    for (const Case& c : cases) {
        const PictureKindDecision d = DecidePictureKind(c.header, c.table);
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.contradictsHeader, c.told);
    }
}

}  // namespace
}  // namespace rw
