// Layout properties of synthesised files that reading them back cannot show: the leading sound's
// spacing, the index flag bits, every feature a reader must cope with actually present, and the
// two ways of splitting a codebook into parts.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/lcw.h"

namespace rw::synth {
namespace {

using rw::test::Id;
using rw::test::Le32;

uint32_t Be32(const std::vector<uint8_t>& f, size_t at) {
    return (uint32_t{f[at]} << 24) | (uint32_t{f[at + 1]} << 16) | (uint32_t{f[at + 2]} << 8) |
           f[at + 3];
}

struct SubChunk {
    std::string id;
    std::vector<uint8_t> data;
};

// The picture sub-chunks of frame `i`, walked strictly past its sound block (and pad byte).
std::vector<SubChunk> FrameSubChunks(const SynthVideo& v, size_t i) {
    const auto& f = v.file;
    size_t p = static_cast<size_t>(v.frameOffsets[i]) + (i == 0 ? 5520 : 0);
    EXPECT_EQ(Id(f, p), "SND2");
    const uint32_t sound = Be32(f, p + 4);
    p += 8 + sound + (sound % 2 == 1 && f[p + 8 + sound] == 0 ? 1 : 0);
    EXPECT_EQ(Id(f, p), "VQFR") << "at " << p;
    const size_t end = p + 8 + Be32(f, p + 4);
    std::vector<SubChunk> chunks;
    for (size_t q = p + 8; q < end;) {
        const uint32_t n = Be32(f, q + 4);
        chunks.push_back({Id(f, q), {f.begin() + static_cast<ptrdiff_t>(q + 8),
                                     f.begin() + static_cast<ptrdiff_t>(q + 8 + n)}});
        q += 8 + n + n % 2;
        EXPECT_LE(q, end) << "sub-chunks overrun the picture chunk";
    }
    return chunks;
}

TEST(SynthLayout, LeadingSoundIndexBitsAndFeaturesPresent) {
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "default");
        SynthOptions o;
        o.frames = 20;
        if (plain) o.indexTopBits = o.unknownSubChunks = o.paletteChanges = false;
        const SynthVideo v = SynthesizeVqa(o);
        const auto first = static_cast<size_t>(v.frameOffsets[0]);
        EXPECT_EQ(first, 70u + 4u * static_cast<size_t>(o.frames)) << "records follow the index";
        EXPECT_EQ(Id(v.file, first), "SND2") << "leading sound";
        EXPECT_EQ(Id(v.file, first + 5520), "SND2") << "frame 0's own sound, 5520 bytes on";

        bool anyTopBits = false;
        for (size_t i = 0; i < v.frameOffsets.size(); ++i) {
            anyTopBits = anyTopBits || (Le32(v.file, first - 4 * (v.frameOffsets.size() - i)) &
                                        0xC0000000u) != 0;
        }
        EXPECT_EQ(anyTopBits, o.indexTopBits);

        std::set<uint8_t> highBytes;
        int palettes = 0, unknown = 0;
        for (size_t i = 0; i < v.frameOffsets.size(); ++i) {
            for (const SubChunk& c : FrameSubChunks(v, i)) {
                palettes += c.id[2] == 'L';
                unknown += c.id.starts_with("MRK");
                if (c.id[2] != 'T') continue;
                auto table = c.id[3] == 'Z' ? DecompressLcw(c.data) : Expected<std::vector<uint8_t>>(c.data);
                ASSERT_TRUE(table.ok());
                highBytes.insert(table->begin() + static_cast<ptrdiff_t>(table->size() / 2),
                                 table->end());
            }
        }
        EXPECT_TRUE(highBytes.count(0x0F) && highBytes.count(0xFF)) << "both solid markers";
        EXPECT_TRUE(highBytes.count(0)) << "codebook blocks";
        EXPECT_EQ(palettes, o.paletteChanges ? 2 : 1);
        EXPECT_EQ(unknown > 0, o.unknownSubChunks);
    }
}

// The eight parts sent during frames 0..7.
std::vector<SubChunk> FirstParts(CodebookParts mode) {
    SynthOptions o;
    o.frames = 16;
    o.parts = mode;
    const SynthVideo v = SynthesizeVqa(o);
    std::vector<SubChunk> parts;
    for (size_t i = 0; i < 8; ++i) {
        for (const SubChunk& c : FrameSubChunks(v, i)) {
            if (c.id[2] == 'P') parts.push_back(c);
        }
    }
    EXPECT_EQ(parts.size(), 8u);
    return parts;
}

TEST(SynthLayout, SplitStreamPartsUnpackOnlyTogether) {
    const std::vector<SubChunk> parts = FirstParts(CodebookParts::SplitStream);
    ASSERT_FALSE(parts.empty());
    std::vector<uint8_t> joined;
    for (const SubChunk& p : parts) joined.insert(joined.end(), p.data.begin(), p.data.end());
    EXPECT_FALSE(DecompressLcw(parts[0].data).ok()) << "the first part alone";
    auto whole = DecompressLcw(joined);
    ASSERT_TRUE(whole.ok());
    EXPECT_GT(whole->size(), 8u * 100) << "a real codebook, not a token one";
}

TEST(SynthLayout, PerPartPartsUnpackAlone) {
    for (const SubChunk& p : FirstParts(CodebookParts::PerPart)) {
        EXPECT_TRUE(DecompressLcw(p.data).ok());
    }
}

TEST(SynthLayout, ExpectedImagesMoveAndLeaveTheEdgesBlack) {
    SynthOptions o;
    o.frames = 12;
    o.width = 203;  // grid of 50 x 48 blocks leaves 3 columns and 1 row undrawn
    o.height = 97;
    const SynthVideo v = SynthesizeVqa(o);
    ASSERT_EQ(v.images.size(), 12u);
    for (size_t i = 0; i < v.images.size(); ++i) {
        const auto& img = v.images[i];
        std::set<uint32_t> colours;
        for (size_t p = 0; p < img.size(); p += 3) {
            colours.insert(img[p] | (uint32_t{img[p + 1]} << 8) | (uint32_t{img[p + 2]} << 16));
            const size_t x = (p / 3) % 203, y = (p / 3) / 203;
            if (x >= 200 || y == 96) {
                ASSERT_EQ(img[p] | img[p + 1] | img[p + 2], 0) << x << "," << y;
            }
        }
        EXPECT_GT(colours.size(), 40u) << "frame " << i;
        if (i > 0) {
            EXPECT_FALSE(img == v.images[i - 1]) << "frame " << i << " does not move";
        }
    }
}

TEST(SynthLayout, RefusesImpossibleOptions) {
    void (*changes[])(SynthOptions&) = {
        [](SynthOptions& o) { o.frames = 0; },        [](SynthOptions& o) { o.frames = 65536; },
        [](SynthOptions& o) { o.width = 0; },         [](SynthOptions& o) { o.blockHeight = 0; },
        [](SynthOptions& o) { o.blockWidth = 321; },  [](SynthOptions& o) { o.blockHeight = 256; },
        [](SynthOptions& o) { o.soundRate = 22051; }, [](SynthOptions& o) { o.soundRate = -1; },
    };
    for (auto change : changes) {
        SynthOptions o;
        o.frames = 2;
        change(o);
        EXPECT_THROW((void)SynthesizeVqa(o), std::invalid_argument);
    }
}

}  // namespace
}  // namespace rw::synth
