// Hundreds of damaged copies of synthesised videos through reelwright-cli: cut at every structural
// boundary, bytes flipped, chunk identifiers swapped, sizes replaced by extreme values. For each,
// the converter must not crash or make a sanitizer speak, and must either exit with status 0 and
// a complete, consistent AVI file (RIFF size = length - 8, every index entry on its chunk, one
// video chunk per frame), or exit with status 1, one line naming the file, and nothing left behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/support/avi_walk.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/vqa_synth.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

struct Mutant {
    std::string what;  // how it was made, for the failure message
    std::vector<uint8_t> bytes;
};

// Where the structures of a synthesised file lie.
struct Layout {
    std::vector<size_t> boundaries;     // every place where a field or chunk begins or ends
    std::vector<size_t> idPositions;    // identifiers of frame chunks and picture sub-chunks
    std::vector<size_t> sizePositions;  // big-endian sizes of picture chunks and sub-chunks
};

Layout FindLayout(const synth::SynthVideo& v) {
    Layout l;
    for (size_t b : {0, 4, 8, 12, 16, 20, 24, 26, 28, 30, 31, 32, 44, 46, 62, 66, 70}) {
        l.boundaries.push_back(b);
    }
    const size_t frames = v.frameOffsets.size();
    l.boundaries.push_back(70 + 4 * frames);
    const size_t soundBytes = static_cast<size_t>((v.properties.soundRate / 15) / 2);
    for (size_t f = 0; f < frames; ++f) {
        size_t at = static_cast<size_t>(v.frameOffsets[f]);
        l.boundaries.push_back(at);
        l.idPositions.push_back(at);
        if (f == 0) {
            at += 5520;
            l.boundaries.push_back(at);
            l.idPositions.push_back(at);
        }
        l.boundaries.push_back(at + 8);
        at += 8 + soundBytes;
        l.boundaries.push_back(at);
        if (at < v.file.size() && v.file[at] == 0) ++at;
        ByteReader r(v.file);
        if (!r.Seek(at + 4)) break;
        const uint32_t chunkSize = r.U32Be().value_or(0);
        l.boundaries.insert(l.boundaries.end(), {at, at + 4, at + 8});
        l.idPositions.push_back(at);
        l.sizePositions.push_back(at + 4);
        // The sub-chunks.
        size_t p = at + 8;
        const size_t end = std::min(v.file.size(), at + 8 + chunkSize);
        while (p + 8 <= end) {
            if (v.file[p] == 0) ++p;
            if (!r.Seek(p + 4)) break;
            const uint32_t size = r.U32Be().value_or(0);
            l.boundaries.insert(l.boundaries.end(), {p, p + 8, p + 8 + size});
            l.idPositions.push_back(p);
            l.sizePositions.push_back(p + 4);
            p += 8 + size;
        }
    }
    l.boundaries.push_back(v.file.size());
    std::sort(l.boundaries.begin(), l.boundaries.end());
    l.boundaries.erase(std::unique(l.boundaries.begin(), l.boundaries.end()), l.boundaries.end());
    return l;
}

synth::SynthVideo Base(int variant) {
    synth::SynthOptions o;
    o.frames = 10;
    o.width = 24;
    o.height = 16;
    o.keepExpected = false;
    o.seed = static_cast<uint32_t>(3 + variant);
    if (variant == 0) {
        o.blockWidth = 4;
        o.blockHeight = 2;
        o.soundRate = 22050;
        o.parts = synth::CodebookParts::SplitStream;
    } else {
        o.blockWidth = 4;
        o.blockHeight = 4;
        o.soundRate = 8000;
        o.parts = synth::CodebookParts::PerPart;
        o.compressCodebooks = false;
        o.compressPalettes = true;
    }
    return synth::SynthesizeVqa(o);
}

// A small deterministic generator, so every run makes the same mutants.
class Random {
  public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint32_t Next() {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(m_state >> 33);
    }
    size_t Below(size_t n) { return n == 0 ? 0 : Next() % n; }

  private:
    uint64_t m_state;
};

std::vector<Mutant> Truncations(const synth::SynthVideo& v, const Layout& l) {
    std::vector<Mutant> out;
    for (size_t b : l.boundaries) {
        for (size_t cut : {b - 1, b, b + 1}) {
            if (cut >= v.file.size() || cut == static_cast<size_t>(-1)) continue;
            out.push_back({"cut after " + std::to_string(cut) + " bytes",
                           std::vector<uint8_t>(
                               v.file.begin(), v.file.begin() + static_cast<std::ptrdiff_t>(cut))});
        }
    }
    return out;
}

std::vector<Mutant> Flips(const synth::SynthVideo& v, const Layout& l, uint64_t seed) {
    std::vector<Mutant> out;
    Random random(seed);
    for (int i = 0; i < 90; ++i) {
        Mutant m{"flips:", v.file};
        const size_t flips = 1 + random.Below(6);
        for (size_t k = 0; k < flips; ++k) {
            // Half near structure, half anywhere.
            size_t at = (k % 2 == 0)
                            ? l.boundaries[random.Below(l.boundaries.size())] + random.Below(8)
                            : random.Below(m.bytes.size());
            if (at >= m.bytes.size()) at = random.Below(m.bytes.size());
            const uint8_t mask = static_cast<uint8_t>(1 + random.Below(255));
            m.bytes[at] ^= mask;
            m.what += " " + std::to_string(at) + "^" + std::to_string(mask);
        }
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<Mutant> SwappedIds(const synth::SynthVideo& v, const Layout& l) {
    static const char* const kIds[] = {"CBF0", "CBFZ", "CBP0", "CBPZ", "CPL0", "CPLZ",    "VPT0",
                                       "VPTZ", "VPTR", "SND2", "VQFR", "ZZZZ", "\0\0\0\0"};
    std::vector<Mutant> out;
    size_t n = 0;
    for (size_t at : l.idPositions) {
        const char* id = kIds[n++ % std::size(kIds)];
        if (at + 4 > v.file.size()) continue;
        Mutant m{"id at " + std::to_string(at) + " set to " + std::string(id, 4), v.file};
        std::memcpy(m.bytes.data() + at, id, 4);
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<Mutant> ExtremeSizes(const synth::SynthVideo& v, const Layout& l) {
    std::vector<Mutant> out;
    const uint32_t kValues[] = {0, 1, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x0FFFFFFF};
    size_t n = 0;
    for (size_t at : l.sizePositions) {
        if (at + 4 > v.file.size()) continue;
        const uint32_t value = kValues[n++ % std::size(kValues)];
        Mutant m{"size at " + std::to_string(at) + " set to " + std::to_string(value), v.file};
        for (int i = 0; i < 4; ++i) m.bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        out.push_back(std::move(m));
    }
    // Header fields and index entries.
    for (size_t at : {24, 26, 28, 30, 31, 44, 70, 74, 78}) {
        for (uint8_t value : {0x00, 0xFF}) {
            Mutant m{"bytes at " + std::to_string(at) + " set to " + std::to_string(value), v.file};
            m.bytes[at] = value;
            if (at != 30 && at != 31) m.bytes[at + 1] = value;
            out.push_back(std::move(m));
        }
    }
    return out;
}

// Runs one mutant and checks the outcome. Returns a description of what went wrong, or "".
std::string Check(const test::ScratchFolder& dir, const Mutant& m) {
    dir.KeepOnly({});
    dir.Put("clip.vqa", m.bytes);
    const test::CliRun r = dir.Run({"clip.vqa"});
    auto fail = [&](const std::string& why) {
        // Kept for reproduction.
        const std::filesystem::path keep =
            std::filesystem::path(RW_BINARY_DIR) / "robustness-failures";
        std::filesystem::create_directories(keep);
        const std::string name =
            "mutant-" + std::to_string(std::hash<std::string>{}(m.what)) + ".vqa";
        std::filesystem::copy_file(dir / "clip.vqa", keep / name,
                                   std::filesystem::copy_options::overwrite_existing);
        return m.what + ": " + why + " (kept as " + (keep / name).string() + ")\n" + r.err;
    };
    if (!r.exited) return fail("killed by signal " + std::to_string(r.status));
    if (r.SanitizerSpoke()) return fail("sanitizer report");
    if (dir.Get("clip.vqa") != m.bytes) return fail("the input was changed");
    if (r.status == 1) {
        if (r.ErrLines() != 1) return fail("not one line on stderr");
        if (r.err.find("clip.vqa") == std::string::npos) return fail("the file is not named");
        if (dir.Listing() != std::vector<std::string>{"clip.vqa"}) return fail("left files behind");
        return "";
    }
    if (r.status != 0) return fail("exit status " + std::to_string(r.status));
    if (r.ErrLines() > 1) return fail("more than one warning line");
    if (dir.Listing() != std::vector<std::string>{"clip.avi", "clip.vqa"}) {
        return fail("not exactly the AVI file beside the input");
    }
    const auto avi = dir.Get("clip.avi");
    if (!avi) return fail("the AVI file cannot be read");
    const test::AviWalk walk = test::WalkAvi(*avi);
    if (!walk.problem.empty()) return fail("inconsistent AVI: " + walk.problem);
    const uint32_t frames = test::Le16(m.bytes, 24);
    if (walk.frames != frames || walk.videoFrames.size() != frames ||
        walk.index.size() != 2 * size_t{frames} + 1) {
        return fail("the AVI file does not hold one picture per frame");
    }
    return "";
}

struct MutationKind {
    const char* name;
    std::function<std::vector<Mutant>(const synth::SynthVideo&, const Layout&, int)> make;
};

const MutationKind kKinds[] = {
    {"Truncations", [](const auto& v, const auto& l, int) { return Truncations(v, l); }},
    {"ByteFlips",
     [](const auto& v, const auto& l, int variant) { return Flips(v, l, 77 + variant); }},
    {"SwappedChunkIds", [](const auto& v, const auto& l, int) { return SwappedIds(v, l); }},
    {"ExtremeSizes", [](const auto& v, const auto& l, int) { return ExtremeSizes(v, l); }},
};

class Mutations : public testing::TestWithParam<std::tuple<MutationKind, int>> {};

TEST_P(Mutations, ConvertCompletelyOrFailCleanly) {
    const auto& [kind, variant] = GetParam();
    const synth::SynthVideo v = Base(variant);
    const Layout layout = FindLayout(v);
    const std::vector<Mutant> mutants = kind.make(v, layout, variant);
    ASSERT_GE(mutants.size(), 40u) << "too few mutants to mean anything";
    test::ScratchFolder dir;
    size_t converted = 0, refused = 0;
    for (const Mutant& m : mutants) {
        const std::string problem = Check(dir, m);
        EXPECT_EQ(problem, "");
        (dir.Listing().size() == 2 ? converted : refused) += 1;
    }
    // Both ends must be reached, or the mutations miss the interesting places.
    RecordProperty("converted", static_cast<int>(converted));
    RecordProperty("refused", static_cast<int>(refused));
    EXPECT_GT(converted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Synthesised, Mutations,
                         testing::Combine(testing::ValuesIn(kKinds), testing::Values(0, 1)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_Video" +
                                    std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace rw
