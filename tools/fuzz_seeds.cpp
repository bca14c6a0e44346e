// fuzz-seeds DIR: writes the seed corpora of the fuzz targets into DIR/<target>/, made by the
// synthesiser: small whole videos (fuzz_convert, fuzz_vqa_header), their picture chunks in frame
// order behind a geometry prefix (fuzz_picture_chunk), LCW streams (fuzz_lcw), small high-colour
// videos (fuzz_hc_frames) and their pointer tables behind the codebook and grid sizes
// (fuzz_hc_pointer_table).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/hc_chunks.h"
#include "vqa/lcw.h"

namespace {
namespace fs = std::filesystem;

bool Put(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void AppendLe(std::vector<uint8_t>& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The picture chunks of a synthesised video, found the way a run finds them: frame offset plus 8,
// past the sound bytes and an optional pad byte, then identifier, big-endian size and data.
std::vector<uint8_t> PictureChunks(const rw::synth::SynthVideo& v, size_t maxFrames) {
    const rw::VqaProperties& p = v.properties;
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(p.blockWidth));
    out.push_back(static_cast<uint8_t>(p.blockHeight));
    AppendLe(out, static_cast<uint32_t>(p.width), 2);
    AppendLe(out, static_cast<uint32_t>(p.height), 2);
    for (size_t f = 0; f < v.frameOffsets.size() && f < maxFrames; ++f) {
        size_t at = static_cast<size_t>(v.frameOffsets[f]) + 8 + (f == 0 ? 5520 : 0) +
                    static_cast<size_t>((p.soundRate / 15) / 2);
        if (at < v.file.size() && v.file[at] == 0) ++at;
        rw::ByteReader r(v.file);
        if (!r.Seek(at + 4)) break;
        auto size = r.U32Be();
        if (!size) break;
        auto data = r.Bytes(*size);
        if (!data) break;
        AppendLe(out, *size, 4);
        out.insert(out.end(), data->begin(), data->end());
    }
    return out;
}

// The unpacked pointer tables of a high-colour video's first frames, each behind the codebook's
// entry count (taken as the largest) and the number of blocks.
std::vector<std::vector<uint8_t>> PointerTables(const rw::synth::HighColourSynthVideo& v,
                                                const rw::synth::HighColourSynthOptions& o) {
    std::vector<std::vector<uint8_t>> tables;
    const auto blocks =
        static_cast<uint32_t>((o.width / o.blockWidth) * (o.height / o.blockHeight));
    for (int64_t at : v.frameOffsets) {
        rw::ByteReader r(v.file);
        while (r.Seek(static_cast<size_t>(at)) && r.Remaining() >= 8) {
            const uint32_t id = *r.U32Be();
            const uint32_t size = *r.U32Be();
            auto data = r.Bytes(size);
            if (!data) break;
            at = static_cast<int64_t>(r.Position() + size % 2);
            if (id != rw::ChunkId("VQFR")) continue;
            for (const rw::SubChunk& sub : rw::ReadSubChunks(*data).chunks) {
                std::vector<uint8_t> table(sub.data.begin(), sub.data.end());
                if (sub.id == rw::ChunkId("VPRZ")) table = *rw::DecompressLcw(sub.data);
                if (sub.id != rw::ChunkId("VPRZ") && sub.id != rw::ChunkId("VPTR")) continue;
                std::vector<uint8_t> seed;
                AppendLe(seed, 8192, 2);
                AppendLe(seed, blocks, 2);
                seed.insert(seed.end(), table.begin(), table.end());
                tables.push_back(std::move(seed));
            }
            break;
        }
        if (tables.size() >= 4) break;
    }
    return tables;
}

// Small high-colour videos of every sound kind and both codebook forms, and their tables.
bool HighColourSeeds(const fs::path& dir) {
    using K = rw::synth::HighColourSoundKind;
    using L = rw::synth::CodebookLcw;
    const std::pair<K, L> kinds[] = {{K::Snd2Mono, L::Alternate}, {K::Snd2Stereo, L::BackCounted},
                                     {K::Snd0Bits8, L::Ordinary}, {K::Snd0Bits16, L::Alternate},
                                     {K::Snd1, L::BackCounted},   {K::None, L::Ordinary}};
    bool ok = true;
    int n = 0;
    for (const auto& [sound, lcw] : kinds) {
        rw::synth::HighColourSynthOptions o;
        o.frames = 5;
        o.width = 32 + 8 * n;
        o.height = 24;
        o.blockWidth = n % 2 ? 4 : 2;
        o.blockHeight = 2;
        o.soundRate = 2000 + 1000 * n;
        o.sound = sound;
        o.codebookLcw = lcw;
        o.codebookEvery = 2;
        o.seed = static_cast<uint32_t>(31 + n);
        o.keepExpected = false;
        const auto v = rw::synth::SynthesizeHighColourVqa(o);
        const std::string name = "synth-" + std::to_string(n++);
        ok &= Put(dir / "fuzz_hc_frames" / name, v.file);
        int t = 0;
        for (const auto& table : PointerTables(v, o)) {
            ok &= Put(dir / "fuzz_hc_pointer_table" / (name + "-" + std::to_string(t++)), table);
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    for (const char* sub : {"fuzz_convert", "fuzz_vqa_header", "fuzz_picture_chunk", "fuzz_lcw",
                            "fuzz_hc_frames", "fuzz_hc_pointer_table"}) {
        fs::create_directories(dir / sub);
    }
    using rw::synth::CodebookParts;
    struct Shape {
        int32_t frames, width, height, blockWidth, blockHeight, rate;
        CodebookParts parts;
        bool compress;
    };
    const Shape shapes[] = {
        {10, 32, 16, 4, 2, 22050, CodebookParts::SplitStream, true},
        {12, 48, 32, 4, 4, 11025, CodebookParts::PerPart, true},
        {9, 40, 20, 2, 2, 8000, CodebookParts::None, false},
        {17, 33, 17, 4, 2, 3000, CodebookParts::SplitStream, false},
        {6, 64, 48, 8, 8, 0, CodebookParts::PerPart, true},
        {3, 8, 8, 4, 2, 22050, CodebookParts::None, true},
    };
    bool ok = true;
    int n = 0;
    for (const Shape& s : shapes) {
        rw::synth::SynthOptions o;
        o.frames = s.frames;
        o.width = s.width;
        o.height = s.height;
        o.blockWidth = s.blockWidth;
        o.blockHeight = s.blockHeight;
        o.soundRate = s.rate;
        o.parts = s.parts;
        o.compressCodebooks = s.compress;
        o.compressPointerTables = s.compress;
        o.compressPalettes = !s.compress;
        o.seed = static_cast<uint32_t>(7 + n);
        o.keepExpected = false;
        const rw::synth::SynthVideo v = rw::synth::SynthesizeVqa(o);
        const std::string name = "synth-" + std::to_string(n++);
        ok &= Put(dir / "fuzz_convert" / name, v.file);
        const size_t front =
            std::min<size_t>(v.file.size(), 70 + 4 * static_cast<size_t>(s.frames) + 16);
        ok &= Put(dir / "fuzz_vqa_header" / name,
                  std::vector<uint8_t>(v.file.begin(),
                                       v.file.begin() + static_cast<std::ptrdiff_t>(front)));
        ok &= Put(dir / "fuzz_picture_chunk" / name, PictureChunks(v, 12));
    }

    // LCW: ramps, patterns, runs and noise, one stream passing 64 KiB of output.
    std::vector<std::vector<uint8_t>> plain;
    std::vector<uint8_t> ramp(600), pattern(2000), runs, noise(900), large(70000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>("ABCAB"[i % 5]);
    for (int k = 0; k < 40; ++k)
        runs.insert(runs.end(), static_cast<size_t>(k * 7 + 1), static_cast<uint8_t>(k));
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>((i / 300) ^ (i % 7));
    plain = {ramp, pattern, runs, noise, large, {}};
    for (size_t i = 0; i < plain.size(); ++i) {
        ok &= Put(dir / "fuzz_lcw" / ("lcw-" + std::to_string(i)), rw::CompressLcw(plain[i]));
    }
    ok &= HighColourSeeds(dir);
    if (!ok) {
        std::fprintf(stderr, "fuzz-seeds: cannot write the seeds into \"%s\"\n", argv[1]);
        return 1;
    }
    return 0;
}
