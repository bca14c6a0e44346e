// The byte layout of synthesised files, read here by hand: header fields at their offsets, the
// frame index, the leading sound, and every frame record down to its sub-chunks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/support/bytes.h"
#include "tests/synth/lcw_reference.h"
#include "tools/synth/vqa_synth.h"

namespace rw::synth {
namespace {

using test::UnpackLcwReference;

uint32_t Be32(const std::vector<uint8_t>& f, size_t at) {
    return (uint32_t{f[at]} << 24) | (uint32_t{f[at + 1]} << 16) | (uint32_t{f[at + 2]} << 8) |
           f[at + 3];
}
using rw::test::Id;
using rw::test::Le16;
using rw::test::Le32;

struct SubChunk {
    std::string id;
    std::vector<uint8_t> data;
};

// One frame record as written: sound, pad, picture sub-chunks.
struct Record {
    size_t soundAt = 0;  // first sound byte
    uint32_t soundSize = 0;
    bool padAfterSound = false;
    std::vector<SubChunk> subChunks;
};

// Walks a record strictly: every size must land exactly, pad bytes only after odd data.
Record ParseRecord(const std::vector<uint8_t>& f, size_t at) {
    Record r;
    EXPECT_EQ(Id(f, at), "SND2");
    r.soundSize = Be32(f, at + 4);
    r.soundAt = at + 8;
    size_t p = r.soundAt + r.soundSize;
    if (r.soundSize % 2 == 1 && f[p] == 0) {
        r.padAfterSound = true;
        ++p;
    }
    EXPECT_EQ(Id(f, p), "VQFR") << "at " << p;
    const uint32_t size = Be32(f, p + 4);
    const size_t begin = p + 8, end = begin + size;
    EXPECT_LE(end, f.size());
    size_t q = begin;
    while (q < end) {
        SubChunk s;
        s.id = Id(f, q);
        const uint32_t n = Be32(f, q + 4);
        s.data.assign(f.begin() + static_cast<ptrdiff_t>(q + 8),
                      f.begin() + static_cast<ptrdiff_t>(q + 8 + n));
        q += 8 + n;
        if (n % 2) {
            EXPECT_EQ(f[q], 0) << "pad byte after " << s.id;
            ++q;
        }
        r.subChunks.push_back(std::move(s));
    }
    EXPECT_EQ(q, end) << "sub-chunks overrun the picture chunk";
    return r;
}

std::vector<uint8_t> Unpacked(const SubChunk& s) {
    if (s.id[3] != 'Z') return s.data;
    auto r = UnpackLcwReference(s.data);
    EXPECT_TRUE(r.has_value()) << s.id;
    return r ? r->data : std::vector<uint8_t>{};
}

struct Shape {
    const char* name;
    SynthOptions options;
};

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    auto add = [&](const char* name, auto change) {
        SynthOptions o;
        o.frames = 20;
        change(o);
        shapes.push_back({name, o});
    };
    add("default", [](SynthOptions&) {});
    add("320x200 per-part 11025 Hz", [](SynthOptions& o) {
        o.height = 200;
        o.parts = CodebookParts::PerPart;
        o.soundRate = 11025;
    });
    add("full codebooks, nothing compressed, no pad", [](SynthOptions& o) {
        o.parts = CodebookParts::None;
        o.compressCodebooks = o.compressPointerTables = false;
        o.padAfterSound = false;
        o.indexTopBits = false;
        o.unknownSubChunks = false;
    });
    add("odd size 4x4 blocks compressed palettes", [](SynthOptions& o) {
        o.width = 203;
        o.height = 97;
        o.blockHeight = 4;
        o.compressPalettes = true;
        o.soundRate = 8000;
    });
    add("silent", [](SynthOptions& o) { o.soundRate = 0; });
    return shapes;
}

TEST(SynthLayout, HeaderAndIndexWhereReadersLook) {
    for (const Shape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        const SynthOptions& o = s.options;
        const SynthVideo v = SynthesizeVqa(o);
        const auto& f = v.file;
        ASSERT_GT(f.size(), 70u + 4u * o.frames);
        EXPECT_EQ(Id(f, 0), "FORM");
        EXPECT_EQ(Be32(f, 4), f.size() - 8);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[8]), 8), "WVQAVQHD");
        EXPECT_EQ(Be32(f, 16), 42u) << "header chunk runs from 20 to 62";
        EXPECT_EQ(Le16(f, 24), static_cast<uint32_t>(o.frames));
        EXPECT_EQ(Le16(f, 26), static_cast<uint32_t>(o.width));
        EXPECT_EQ(Le16(f, 28), static_cast<uint32_t>(o.height));
        EXPECT_EQ(f[30], o.blockWidth);
        EXPECT_EQ(f[31], o.blockHeight);
        EXPECT_EQ(f[32], 15) << "frame rate";
        EXPECT_EQ(f[33], 8) << "codebook parts";
        EXPECT_LE(Le16(f, 36), static_cast<uint32_t>(kMaxCodebookEntries));
        EXPECT_EQ(Le16(f, 44), static_cast<uint32_t>(o.soundRate));
        EXPECT_EQ(Id(f, 62), "FINF");
        EXPECT_EQ(Be32(f, 66), 4u * o.frames);

        const VqaProperties expected{o.frames,     o.height,      o.width,
                                     o.blockWidth, o.blockHeight, o.soundRate};
        EXPECT_EQ(v.properties, expected);

        ASSERT_EQ(v.frameOffsets.size(), static_cast<size_t>(o.frames));
        bool anyTopBits = false;
        int64_t previous = 70 + 4 * o.frames - 1;
        for (int32_t i = 0; i < o.frames; ++i) {
            const uint32_t e = Le32(f, 70 + 4 * static_cast<size_t>(i));
            anyTopBits = anyTopBits || (e & 0xC0000000u) != 0;
            const int64_t offset = int64_t{e & 0x3FFFFFFF} * 2;
            EXPECT_EQ(offset, v.frameOffsets[static_cast<size_t>(i)]) << "frame " << i;
            EXPECT_GT(offset, previous);
            previous = offset;
        }
        EXPECT_EQ(anyTopBits, o.indexTopBits);
        EXPECT_EQ(v.frameOffsets[0], 70 + 4 * o.frames) << "records follow the index";
    }
}

TEST(SynthLayout, SoundWhereTheConversionReadsIt) {
    for (const Shape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        const SynthOptions& o = s.options;
        const SynthVideo v = SynthesizeVqa(o);
        const auto& f = v.file;
        const auto first = static_cast<size_t>(v.frameOffsets[0]);
        EXPECT_EQ(Id(f, first), "SND2") << "leading sound";
        EXPECT_EQ(Id(f, first + 5520), "SND2") << "frame 0's own sound, 5520 bytes on";
        EXPECT_EQ(v.leadingSound.size(), 4u * static_cast<size_t>(o.soundRate / 4));
        ASSERT_EQ(v.frameSound.size(), static_cast<size_t>(o.frames));
        const auto perFrame = static_cast<uint32_t>((o.soundRate / 15) / 2);
        for (int32_t i = 0; i < o.frames; ++i) {
            const size_t at =
                static_cast<size_t>(v.frameOffsets[static_cast<size_t>(i)]) + (i == 0 ? 5520 : 0);
            const Record r = ParseRecord(f, at);
            EXPECT_EQ(r.soundSize, perFrame) << "frame " << i;
            EXPECT_EQ(r.padAfterSound, o.padAfterSound && perFrame % 2 == 1) << "frame " << i;
            EXPECT_EQ(v.frameSound[static_cast<size_t>(i)].size(), 4u * perFrame);
        }
    }
}

TEST(SynthLayout, SubChunksOfEveryFrame) {
    for (const Shape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        const SynthOptions& o = s.options;
        const SynthVideo v = SynthesizeVqa(o);
        const size_t cols = static_cast<size_t>(o.width / o.blockWidth);
        const size_t rows = static_cast<size_t>(o.height / o.blockHeight);
        std::map<std::string, int> seen;
        std::set<uint8_t> highBytes;
        int paletteFrames = 0;
        for (int32_t i = 0; i < o.frames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const size_t at =
                static_cast<size_t>(v.frameOffsets[static_cast<size_t>(i)]) + (i == 0 ? 5520 : 0);
            const Record r = ParseRecord(v.file, at);
            int tables = 0, parts = 0, palettes = 0;
            for (const SubChunk& c : r.subChunks) {
                ++seen[c.id];
                ASSERT_NE(c.id[0], 0) << "an identifier must not look like a pad byte";
                if (c.id[2] == 'P') {  // parts may be pieces of one stream: checked below
                    ++parts;
                    continue;
                }
                const std::vector<uint8_t> data = Unpacked(c);
                if (c.id[2] == 'T') {
                    ++tables;
                    ASSERT_EQ(data.size(), 2 * rows * cols);
                    for (size_t k = rows * cols; k < data.size(); ++k) {
                        highBytes.insert(data[k]);
                        EXPECT_TRUE(data[k] < 15 || data[k] == 0x0F || data[k] == 0xFF);
                    }
                } else if (c.id[2] == 'L') {
                    ++palettes;
                    ASSERT_EQ(data.size(), 768u);
                    for (uint8_t b : data) EXPECT_LT(b, 64);
                } else if (c.id[2] == 'F') {
                    EXPECT_EQ(data.size() % static_cast<size_t>(o.blockWidth * o.blockHeight), 0u);
                    EXPECT_LE(data.size(), static_cast<size_t>(kMaxCodebookEntries) *
                                               static_cast<size_t>(o.blockWidth * o.blockHeight));
                }
            }
            EXPECT_EQ(tables, 1);
            EXPECT_LE(parts, 1);
            paletteFrames += palettes;
        }
        EXPECT_EQ(paletteFrames, o.paletteChanges ? 2 : 1);
        EXPECT_TRUE(highBytes.count(0x0F) && highBytes.count(0xFF)) << "both solid markers";
        EXPECT_TRUE(highBytes.count(0)) << "codebook blocks";
        if (o.unknownSubChunks) {
            EXPECT_GT(seen["MRK0"] + seen["MRKZ"], 0);
        } else {
            EXPECT_EQ(seen.count("MRK0") + seen.count("MRKZ"), 0u);
        }
        const bool packed = o.compressCodebooks;
        if (o.parts == CodebookParts::None) {
            EXPECT_EQ(seen[packed ? "CBFZ" : "CBF0"], (o.frames + 7) / 8);
            EXPECT_EQ(seen["CBPZ"] + seen["CBP0"], 0);
        } else {
            EXPECT_EQ(seen[packed ? "CBFZ" : "CBF0"], 1);
            EXPECT_EQ(seen[packed ? "CBPZ" : "CBP0"], 8 * ((o.frames - 1) / 8));
        }
        EXPECT_EQ(seen[o.compressPointerTables ? "VPTZ" : "VPT0"], o.frames);
    }
}

// Collects the eight parts sent during frames 0..7.
std::vector<SubChunk> FirstParts(const SynthVideo& v) {
    std::vector<SubChunk> parts;
    for (size_t i = 0; i < 8; ++i) {
        const Record r =
            ParseRecord(v.file, static_cast<size_t>(v.frameOffsets[i]) + (i == 0 ? 5520 : 0));
        for (const SubChunk& c : r.subChunks) {
            if (c.id[2] == 'P') parts.push_back(c);
        }
    }
    return parts;
}

TEST(SynthLayout, SplitStreamPartsUnpackOnlyTogether) {
    SynthOptions o;
    o.frames = 16;
    o.parts = CodebookParts::SplitStream;
    const std::vector<SubChunk> parts = FirstParts(SynthesizeVqa(o));
    ASSERT_EQ(parts.size(), 8u);
    std::vector<uint8_t> joined;
    for (const SubChunk& p : parts) {
        EXPECT_EQ(p.id, "CBPZ");
        joined.insert(joined.end(), p.data.begin(), p.data.end());
    }
    EXPECT_FALSE(UnpackLcwReference(parts[0].data).has_value()) << "the first part alone";
    auto whole = UnpackLcwReference(joined);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->consumed, joined.size());
    EXPECT_EQ(whole->data.size() % 8, 0u);
    EXPECT_GT(whole->data.size(), 8u * 100) << "a real codebook, not a token one";
}

TEST(SynthLayout, PerPartPartsUnpackAlone) {
    SynthOptions o;
    o.frames = 16;
    o.parts = CodebookParts::PerPart;
    const std::vector<SubChunk> parts = FirstParts(SynthesizeVqa(o));
    ASSERT_EQ(parts.size(), 8u);
    size_t total = 0;
    for (const SubChunk& p : parts) {
        auto r = UnpackLcwReference(p.data);
        ASSERT_TRUE(r.has_value());
        total += r->data.size();
    }
    EXPECT_EQ(total % 8, 0u);
}

TEST(SynthLayout, DeterministicBySeed) {
    SynthOptions o;
    o.frames = 10;
    const SynthVideo a = SynthesizeVqa(o), b = SynthesizeVqa(o);
    EXPECT_TRUE(a.file == b.file);
    o.seed = 2;
    EXPECT_FALSE(a.file == SynthesizeVqa(o).file);
}

TEST(SynthLayout, ExpectedImagesLookLikeAMovie) {
    SynthOptions o;
    o.frames = 12;
    o.width = 203;  // grid of 50 x 48 blocks leaves 3 columns and 1 row undrawn
    o.height = 97;
    const SynthVideo v = SynthesizeVqa(o);
    ASSERT_EQ(v.images.size(), 12u);
    for (size_t i = 0; i < v.images.size(); ++i) {
        const auto& img = v.images[i];
        ASSERT_EQ(img.size(), 203u * 97u * 3u);
        std::set<uint32_t> colours;
        for (size_t p = 0; p < img.size(); p += 3) {
            colours.insert(img[p] | (uint32_t{img[p + 1]} << 8) | (uint32_t{img[p + 2]} << 16));
            EXPECT_EQ(img[p] % 4, 0) << "6-bit palette values times 4";
        }
        EXPECT_GT(colours.size(), 40u) << "frame " << i;
        for (size_t y = 0; y < 97; ++y) {
            for (size_t x = 200; x < 203; ++x) {
                ASSERT_EQ(img[3 * (y * 203 + x)] | img[3 * (y * 203 + x) + 1], 0)
                    << "outside the grid";
            }
        }
        for (size_t x = 0; x < 203 * 3; ++x) ASSERT_EQ(img[3 * 96 * 203 + x], 0) << "bottom strip";
        if (i > 0) {
            EXPECT_FALSE(img == v.images[i - 1]) << "frame " << i << " does not move";
        }
    }
}

TEST(SynthLayout, RefusesImpossibleOptions) {
    struct Case {
        const char* name;
        void (*change)(SynthOptions&);
    };
    const Case cases[] = {
        {"no frames", [](SynthOptions& o) { o.frames = 0; }},
        {"too many frames", [](SynthOptions& o) { o.frames = 65536; }},
        {"zero width", [](SynthOptions& o) { o.width = 0; }},
        {"zero block height", [](SynthOptions& o) { o.blockHeight = 0; }},
        {"block wider than the picture", [](SynthOptions& o) { o.blockWidth = 321; }},
        {"block of 256", [](SynthOptions& o) { o.blockHeight = 256; }},
        {"rate above 22050", [](SynthOptions& o) { o.soundRate = 22051; }},
        {"negative rate", [](SynthOptions& o) { o.soundRate = -1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SynthOptions o;
        o.frames = 2;
        c.change(o);
        EXPECT_THROW((void)SynthesizeVqa(o), std::invalid_argument);
    }
}

TEST(SynthLayout, ParsesPartsModes) {
    struct Case {
        const char* text;
        bool ok;
        CodebookParts parts;
    };
    const Case cases[] = {{"none", true, CodebookParts::None},
                          {"per-part", true, CodebookParts::PerPart},
                          {"split", true, CodebookParts::SplitStream},
                          {"Split", false, CodebookParts::SplitStream},
                          {"", false, CodebookParts::SplitStream}};
    for (const Case& c : cases) {
        CodebookParts parts = CodebookParts::SplitStream;
        EXPECT_EQ(ParseCodebookParts(c.text, parts), c.ok) << c.text;
        EXPECT_EQ(parts, c.parts) << c.text;
    }
}

}  // namespace
}  // namespace rw::synth
