// Synthesised videos read back by the project's own readers, the way a conversion reads them: every
// image and every sound block must come out as the synthesiser says a reader must draw and play it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tools/synth/scene.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/ima_adpcm.h"
#include "vqa/lcw.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"
#include "vqa/vqa_header.h"

namespace rw::synth {
namespace {

class RenderingSink final : public FrameImageSink {
  public:
    explicit RenderingSink(const VqaProperties& props) : m_props(props) {}
    void OnPointerTable(std::span<const uint8_t> table, const VqaDecodeState& state) override {
        images.push_back(RenderFrame(table, state.codebook, state.palette, m_props));
    }
    std::vector<std::vector<uint8_t>> images;

  private:
    VqaProperties m_props;
};

// Where two images first differ, as text; empty when they are equal.
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                            int32_t width) {
    if (got.size() != want.size()) {
        return "size " + std::to_string(got.size()) + ", expected " + std::to_string(want.size());
    }
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            const size_t pixel = i / 3;
            return "pixel (" + std::to_string(pixel % static_cast<size_t>(width)) + ", " +
                   std::to_string(pixel / static_cast<size_t>(width)) + ") byte " +
                   std::to_string(i % 3) + " is " + std::to_string(got[i]) + ", expected " +
                   std::to_string(want[i]);
        }
    }
    return {};
}

// Reads the file as a conversion does and compares everything it yields with the expectations.
void ReadBackAndCompare(const SynthVideo& v) {
    const VqaHeaderResult header = ReadVqaHeader(std::span<const uint8_t>(v.file));
    ASSERT_EQ(header.status, VqaHeaderResult::Status::Ok) << header.message;
    ASSERT_EQ(header.properties, v.properties);
    const VqaProperties& p = header.properties;

    MemoryInputFile file(v.file, "synth.vqa");
    auto index = ReadFrameIndex(file, p.frames);
    ASSERT_TRUE(index.ok()) << index.error().message;
    ASSERT_EQ(index->size(), static_cast<size_t>(p.frames));

    ImaAdpcmState sound;
    auto readSound = [&](int64_t at, size_t bytes) {
        std::vector<uint8_t> codes(bytes);
        EXPECT_TRUE(file.Seek(at).ok());
        EXPECT_TRUE(file.ReadExact(codes).ok()) << "sound at " << at;
        return DecodeImaAdpcm(codes, sound);
    };

    EXPECT_TRUE(readSound((*index)[0] + 8, static_cast<size_t>(p.soundRate / 4)) == v.leadingSound)
        << "leading sound";
    (*index)[0] += kLeadingSoundSkip;

    VqaDecodeState state;
    RenderingSink sink(p);
    int badImages = 0;
    for (int32_t f = 0; f < p.frames; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const auto frame = static_cast<size_t>(f);
        const std::vector<uint8_t> pcm =
            readSound((*index)[frame] + 8, static_cast<size_t>((p.soundRate / 15) / 2));
        EXPECT_TRUE(pcm == v.frameSound[frame]) << "sound block";

        sink.images.clear();
        const PictureChunkResult result = ReadPictureChunk(file, state, sink);
        ASSERT_EQ(result.status, PictureChunkResult::Status::Ok) << result.message;
        ASSERT_EQ(sink.images.size(), 1u);
        const std::string diff = FirstDifference(sink.images[0], v.images[frame], p.width);
        EXPECT_EQ(diff, "");
        if (!diff.empty() && ++badImages >= 3) FAIL() << "giving up after three bad images";
    }
}

struct Shape {
    const char* name;
    SynthOptions options;
};

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    auto add = [&](const char* name, auto change) {
        SynthOptions o;
        o.frames = 26;  // three codebook switches and a partial last group
        change(o);
        shapes.push_back({name, o});
    };
    add("320x156 4x2 22050 Hz split stream", [](SynthOptions&) {});
    add("320x200 4x2 22050 Hz per-part", [](SynthOptions& o) {
        o.height = 200;
        o.parts = CodebookParts::PerPart;
    });
    add("320x200 4x2 11025 Hz full codebooks only", [](SynthOptions& o) {
        o.height = 200;
        o.soundRate = 11025;
        o.parts = CodebookParts::None;
    });
    add("320x156 4x4 blocks", [](SynthOptions& o) { o.blockHeight = 4; });
    add("sizes not multiples of the block", [](SynthOptions& o) {
        o.width = 203;
        o.height = 97;
        o.blockHeight = 4;
        o.seed = 7;
    });
    add("nothing compressed, raw parts", [](SynthOptions& o) {
        o.parts = CodebookParts::PerPart;
        o.compressCodebooks = false;
        o.compressPointerTables = false;
    });
    add("compressed palettes, no pad after sound, 11025 Hz", [](SynthOptions& o) {
        o.compressPalettes = true;
        o.padAfterSound = false;
        o.soundRate = 11025;
    });
    add("no palette change, no unknown sub-chunks, no flag bits", [](SynthOptions& o) {
        o.paletteChanges = false;
        o.unknownSubChunks = false;
        o.indexTopBits = false;
    });
    add("rate 8000, 2x2 blocks", [](SynthOptions& o) {
        o.soundRate = 8000;
        o.blockWidth = 2;
        o.blockHeight = 2;
        o.width = 160;
        o.height = 100;
    });
    add("silent", [](SynthOptions& o) { o.soundRate = 0; });
    add("one frame", [](SynthOptions& o) { o.frames = 1; });
    add("large: 800x600, pointer tables past 64 KiB", [](SynthOptions& o) {
        o.width = 800;
        o.height = 600;
        o.frames = 10;
    });
    return shapes;
}

TEST(SynthRoundTrip, ReadersDecodeWhatTheSynthesiserMeant) {
    for (const Shape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        ReadBackAndCompare(SynthesizeVqa(s.options));
    }
}

TEST(SynthRoundTrip, CompressedLcwUnpacksToItsInput) {
    Random random(11);
    std::vector<std::vector<uint8_t>> inputs;
    inputs.push_back({});
    inputs.push_back(std::vector<uint8_t>(70000, 0x0F));
    inputs.push_back(std::vector<uint8_t>(65535, 0x41));
    inputs.push_back(std::vector<uint8_t>(65536, 0x41));
    std::vector<uint8_t> noise(3000);
    for (auto& b : noise) b = static_cast<uint8_t>(random.Below(256));
    inputs.push_back(noise);
    std::vector<uint8_t> farRepeats(65600);  // noise past 64 KiB, then copies from near and far
    for (auto& b : farRepeats) b = static_cast<uint8_t>(random.Below(256));
    const std::vector<uint8_t> early(farRepeats.begin() + 100, farRepeats.begin() + 5000),
        late(farRepeats.end() - 3000, farRepeats.end());
    farRepeats.insert(farRepeats.end(), early.begin(), early.end());
    farRepeats.insert(farRepeats.end(), late.begin(), late.end());
    inputs.push_back(farRepeats);
    std::vector<uint8_t> mixed;
    while (mixed.size() < 140000) {
        mixed.insert(mixed.end(), static_cast<size_t>(random.Below(80)),
                     static_cast<uint8_t>(random.Below(4)));
        const size_t from =
            static_cast<size_t>(random.Below(static_cast<int32_t>(mixed.size() + 1)));
        const size_t len =
            std::min<size_t>(static_cast<size_t>(random.Below(300)), mixed.size() - from);
        std::vector<uint8_t> copy(mixed.begin() + static_cast<ptrdiff_t>(from),
                                  mixed.begin() + static_cast<ptrdiff_t>(from + len));
        mixed.insert(mixed.end(), copy.begin(), copy.end());
        mixed.push_back(static_cast<uint8_t>(random.Below(256)));
    }
    inputs.push_back(mixed);
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("input " + std::to_string(i));
        auto unpacked = DecompressLcw(CompressLcw(inputs[i]));
        ASSERT_TRUE(unpacked.ok()) << unpacked.error().message;
        EXPECT_TRUE(*unpacked == inputs[i]);
    }
}

}  // namespace
}  // namespace rw::synth
