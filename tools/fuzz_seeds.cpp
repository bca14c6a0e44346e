// fuzz-seeds DIR: writes the seed corpora of the fuzz targets into DIR/<target>/, made by the
// synthesiser: small whole videos (fuzz_convert, fuzz_vqa_header), their picture chunks in frame
// order behind a geometry prefix (fuzz_picture_chunk) and LCW streams (fuzz_lcw).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tools/synth/vqa_synth.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    for (const char* sub : {"fuzz_convert", "fuzz_vqa_header", "fuzz_picture_chunk", "fuzz_lcw"}) {
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
    if (!ok) {
        std::fprintf(stderr, "fuzz-seeds: cannot write the seeds into \"%s\"\n", argv[1]);
        return 1;
    }
    return 0;
}
