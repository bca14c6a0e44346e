// Micro-benchmarks of the conversion's parts on synthesised material: LCW unpacking (bytes of
// output per second), rendering (pixels per second), sound decoding (samples per second), the AVI
// chunk writers, high-colour frame decoding (frames per second at 640x400), and a whole conversion
// in memory (frames per second, no disk) and from disk, loose
// or inside an archive.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <tuple>

#include "avi/avi_chunks.h"
#include "bench/bench_data.h"
#include "run/avi_format_of.h"
#include "run/convert_frames.h"
#include "platform/file.h"
#include "tests/support/memory_file.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/mix_pack.h"
#include "vqa/hc_chunks.h"
#include "vqa/hc_decoder.h"
#include "vqa/ima_adpcm.h"
#include "vqa/lcw.h"
#include "vqa/render.h"
#include "vqa/vqa_header.h"

namespace rw::bench {
namespace {

// The material of one picture shape, made on first use and kept for the whole run.
const BenchVideo& Video(int32_t width, int32_t height, int32_t blockWidth, int32_t blockHeight) {
    static std::map<std::tuple<int32_t, int32_t, int32_t, int32_t>, BenchVideo> videos;
    auto key = std::make_tuple(width, height, blockWidth, blockHeight);
    auto it = videos.find(key);
    if (it == videos.end()) {
        it = videos.emplace(key, MakeBenchVideo(64, width, height, blockWidth, blockHeight)).first;
    }
    return it->second;
}

const BenchVideo& Small() {
    return Video(320, 200, 4, 2);
}

// Runs `measure` on each stream in turn; it gives the bytes of output (or an error).
template <typename Measure>
void RunOnStreams(benchmark::State& st, const std::vector<std::vector<uint8_t>>& packed,
                  Measure measure) {
    size_t i = 0;
    int64_t bytes = 0;
    for (auto _ : st) {
        Expected<size_t> out = measure(packed[i]);
        if (!out) {
            st.SkipWithError(out.error().message.c_str());
            return;
        }
        bytes += static_cast<int64_t>(*out);
        i = (i + 1) % packed.size();
    }
    st.SetBytesProcessed(bytes);
}

Expected<size_t> Unpack(std::span<const uint8_t> stream) {
    auto out = DecompressLcw(stream);
    if (!out) return out.error();
    benchmark::DoNotOptimize(out->data());
    return out->size();
}

void BM_DecompressLcw_PointerTables(benchmark::State& st) {
    RunOnStreams(st, Small().packedPointerTables, Unpack);
}
BENCHMARK(BM_DecompressLcw_PointerTables);

void BM_DecompressLcw_Codebooks(benchmark::State& st) {
    RunOnStreams(st, Small().packedCodebooks, Unpack);
}
BENCHMARK(BM_DecompressLcw_Codebooks);

// Checking a pointer table without unpacking it, as the second part of a conversion does for the
// frames before its own; bytes are those the table would unpack to.
void BM_CheckLcw_PointerTables(benchmark::State& st) {
    RunOnStreams(st, Small().packedPointerTables, [](std::span<const uint8_t> stream) {
        auto length = CheckLcw(stream);
        if (length) benchmark::DoNotOptimize(*length);
        return length;
    });
}
BENCHMARK(BM_CheckLcw_PointerTables);

VqaProperties PropsOf(const BenchVideo& b) {
    return b.video.properties;
}

void SetPixels(benchmark::State& st, const VqaProperties& p) {
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * p.width * p.height);
    st.counters["pixels/frame"] = static_cast<double>(p.width) * p.height;
}

// RenderFrame as specified: a new top-down image per call.
void BM_RenderFrame(benchmark::State& st, int32_t w, int32_t h, int32_t bw, int32_t bh) {
    const BenchVideo& b = Video(w, h, bw, bh);
    const VqaProperties props = PropsOf(b);
    size_t i = 0;
    for (auto _ : st) {
        const DrawableFrame& f = b.frames[i];
        auto image = RenderFrame(f.pointerTable, f.codebook, f.palette, props);
        benchmark::DoNotOptimize(image.data());
        i = (i + 1) % b.frames.size();
    }
    SetPixels(st, props);
}
BENCHMARK_CAPTURE(BM_RenderFrame, 320x200_4x2, 320, 200, 4, 2);
BENCHMARK_CAPTURE(BM_RenderFrame, 640x400_4x4, 640, 400, 4, 4);

// The first frame's codebook and palette, and an image to draw into.
struct RenderSetup {
    explicit RenderSetup(const BenchVideo& b)
        : props(PropsOf(b)), image(3 * static_cast<size_t>(props.width) * props.height) {
        state.codebook = b.frames[0].codebook;
        state.palette = b.frames[0].palette;
    }
    VqaProperties props;
    VqaDecodeState state;
    std::vector<uint8_t> image;
};

// The converter's renderer: the codebook expanded once into colours, frames drawn bottom up into
// one buffer. The codebook stays the same across the iterations, as it does for eight frames.
void BM_FrameRenderer(benchmark::State& st, int32_t w, int32_t h, int32_t bw, int32_t bh) {
    const BenchVideo& b = Video(w, h, bw, bh);
    RenderSetup r(b);
    FrameRenderer renderer;
    const size_t sameCodebook = std::min<size_t>(b.frames.size(), kCodebookPartsPerSwitch);
    size_t i = 0;
    for (auto _ : st) {
        renderer.RenderBottomUp(b.frames[i].pointerTable, r.state, r.props, r.image);
        benchmark::DoNotOptimize(r.image.data());
        i = (i + 1) % sameCodebook;
    }
    SetPixels(st, r.props);
}
BENCHMARK_CAPTURE(BM_FrameRenderer, 320x200_4x2, 320, 200, 4, 2);
BENCHMARK_CAPTURE(BM_FrameRenderer, 640x400_4x4, 640, 400, 4, 4);

// The cost of expanding a codebook into colours, which the converter pays once per codebook
// (every eight frames) or palette change: every iteration here pays it.
void BM_FrameRendererNewCodebook(benchmark::State& st) {
    const BenchVideo& b = Small();
    RenderSetup r(b);
    FrameRenderer renderer;
    for (auto _ : st) {
        ++r.state.codebookGeneration;
        renderer.RenderBottomUp(b.frames[0].pointerTable, r.state, r.props, r.image);
        benchmark::DoNotOptimize(r.image.data());
    }
    SetPixels(st, r.props);
    st.counters["codebook entries"] =
        static_cast<double>(r.state.codebook.size()) / (r.props.blockWidth * r.props.blockHeight);
}
BENCHMARK(BM_FrameRendererNewCodebook);

// A high-colour video of 640x400 pixels in 4x4 blocks with IMA ADPCM sound, a new codebook every
// eight frames (in either LCW form, in turn), decoded frame after frame from memory: picture
// (chunk walk, codebooks, pointer tables, drawing) and sound, as a conversion reads them.
void BM_HighColourDecodeFrame(benchmark::State& st, synth::CodebookLcw lcw) {
    static std::map<synth::CodebookLcw, synth::HighColourSynthVideo> videos;
    auto it = videos.find(lcw);
    if (it == videos.end()) {
        synth::HighColourSynthOptions o;
        o.frames = 32;
        o.width = 640;
        o.height = 400;
        o.codebookEvery = 8;
        o.codebookLcw = lcw;
        o.keepExpected = false;
        it = videos.emplace(lcw, synth::SynthesizeHighColourVqa(o)).first;
    }
    const synth::HighColourSynthVideo& video = it->second;
    MemoryInputFile file(video.file);
    auto fields = ReadVqaHeaderFields(file);
    const HighColourProperties props = HighColourPropertiesOf(*fields);
    HighColourDecoder decoder(props);
    HighColourFrame frame;
    size_t i = 0;
    for (auto _ : st) {
        frame.sound.clear();
        decoder.DecodeFrame(file, video.frameOffsets[i], frame);
        if (frame.damaged) {
            st.SkipWithError(frame.damage.c_str());
            return;
        }
        benchmark::DoNotOptimize(frame.picture.data());
        i = (i + 1) % video.frameOffsets.size();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * props.width * props.height);
    st.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.counters["codebook entries"] = decoder.Codebook().entries;
}
BENCHMARK_CAPTURE(BM_HighColourDecodeFrame, 640x400_4x4_ordinary, synth::CodebookLcw::Ordinary);
BENCHMARK_CAPTURE(BM_HighColourDecodeFrame, 640x400_4x4_back_counted,
                  synth::CodebookLcw::BackCounted);

void BM_DecodeImaAdpcm(benchmark::State& st) {
    const BenchVideo& b = Small();
    ImaAdpcmState adpcm;
    std::vector<uint8_t> out(4 * b.frameSound[0].size());
    size_t i = 0;
    int64_t samples = 0;
    for (auto _ : st) {
        const auto& in = b.frameSound[i];
        out.resize(4 * in.size());
        DecodeImaAdpcmInto(in, adpcm, out);
        benchmark::DoNotOptimize(out.data());
        samples += 2 * static_cast<int64_t>(in.size());
        i = (i + 1) % b.frameSound.size();
    }
    st.SetItemsProcessed(samples);
}
BENCHMARK(BM_DecodeImaAdpcm);

// The chunk writers through the buffered disk file into /dev/null: their own work, the copies and
// the system calls of writing, without a disk. The file starts afresh before its position nears the
// 2 GB that chunk positions can describe.
class DevNull {
  public:
    DevNull() { Renew(); }
    bool ok() const { return m_ok; }
    OutputFile& Get() {
        if (m_file.Position() > (int64_t{1} << 30)) Renew();
        return m_file;
    }

  private:
    void Renew() {
        (void)m_file.Close();
        m_ok = m_file.Create("/dev/null").ok();
    }
    DiskOutputFile m_file;
    bool m_ok = false;
};

void BM_WriteSoundChunk(benchmark::State& st) {
    std::vector<uint8_t> sound(2940, 0x33);
    DevNull out;
    for (auto _ : st) {
        if (!WriteSoundChunk(out.Get(), 2940, sound, 2940)) st.SkipWithError("write failed");
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * (8 + 2940));
}
BENCHMARK(BM_WriteSoundChunk);

void BM_WriteIndexChunk(benchmark::State& st) {
    AviFormat format = AviFormatOf(PropsOf(Small()));
    format.frames = 1000;
    std::vector<uint32_t> sound(1000), video(1000);
    for (uint32_t f = 0; f < 1000; ++f) {
        sound[f] = 22582 + f * 195008;
        video[f] = sound[f] + 2948;
    }
    DevNull out;
    for (auto _ : st) {
        if (!WriteIndexChunk(out.Get(), 524, sound, video, format))
            st.SkipWithError("write failed");
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * (8 + 32 * 1000 + 16));
}
BENCHMARK(BM_WriteIndexChunk);

// A video chunk of an image already drawn, through the room the conversion draws into.
bool WriteImageChunk(OutputFile& file, std::span<const uint8_t> image) {
    auto room = BeginVideoChunk(file, image.size());
    if (!room) return false;
    std::memcpy(room->image.data(), image.data(), image.size());
    return EndVideoChunk(file, *room).ok();
}

// A frame's worth of chunks (sound, then video) through the buffered disk file into /dev/null:
// the copies and system calls of writing, without a disk.
void BM_DiskOutputFileFrames(benchmark::State& st) {
    const VqaProperties props = PropsOf(Small());
    std::vector<uint8_t> image(3 * static_cast<size_t>(props.width) * props.height, 0x5A);
    std::vector<uint8_t> sound(2940, 0x33);
    DevNull out;
    for (auto _ : st) {
        if (!WriteSoundChunk(out.Get(), 2940, sound, 2940) || !WriteImageChunk(out.Get(), image)) {
            st.SkipWithError("write failed");
            break;
        }
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * (16 + 2940 + image.size()));
}
BENCHMARK(BM_DiskOutputFileFrames);

// A whole conversion of a 120-frame 320x200 video, input and output in memory (the output only
// counted): everything but the disk.
class NoObserver final : public ConversionObserver {
  public:
    void OnFrameStart(int32_t) override {}
    bool CancelRequested() override { return false; }
};

void BM_ConvertFramesInMemory(benchmark::State& st) {
    static const synth::SynthVideo video = [] {
        synth::SynthOptions o;
        o.frames = 120;
        o.width = 320;
        o.height = 200;
        o.keepExpected = false;
        return synth::SynthesizeVqa(o);
    }();
    const VqaProperties props = video.properties;
    std::vector<int32_t> index(static_cast<size_t>(props.frames));
    int64_t bytes = 0;
    for (auto _ : st) {
        for (size_t f = 0; f < index.size(); ++f) {
            index[f] = static_cast<int32_t>(video.frameOffsets[f]);
        }
        MemoryInputFile in(video.file, "bench.vqa");
        MemoryOutputFile out("bench.avi");
        out.DiscardData(true);
        NoObserver observer;
        ConversionOutcome o = ConvertFrames(in, out, props, index, observer);
        if (o.status != ConversionOutcome::Status::Completed || o.damagedFrames != 0) {
            st.SkipWithError(("conversion failed: " + o.message).c_str());
            break;
        }
        bytes += out.Position();
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * props.frames);
    st.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ConvertFramesInMemory)->Unit(benchmark::kMillisecond);

// The same conversion reading its input from disk: the video as a file of its own (argument 0),
// or inside a MIX archive, read in place through a byte range (argument 1). The two differ only
// in how the input is opened, so their times should match.
void BM_ConvertFromDisk(benchmark::State& st) {
    // Written once, removed when the program ends.
    struct Files {
        Files() {
            synth::SynthOptions o;
            o.frames = 120;
            o.width = 320;
            o.height = 200;
            o.keepExpected = false;
            video = synth::SynthesizeVqa(o);
            const auto dir = std::filesystem::temp_directory_path();
            const std::string stem = "rw-bench-" + std::to_string(::getpid());
            loose = dir / (stem + ".vqa");
            archive = dir / (stem + ".mix");
            const std::vector<uint8_t> packed =
                synth::PackMix({{1, std::vector<uint8_t>(13, 'x')}, {2, video.file}});
            offset = static_cast<int64_t>(packed.size() - video.file.size());
            Write(loose, video.file);
            Write(archive, packed);
        }
        ~Files() {
            std::error_code ec;
            std::filesystem::remove(loose, ec);
            std::filesystem::remove(archive, ec);
        }
        static void Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
            DiskOutputFile out;
            if (!out.Create(path).ok() || !out.Write(bytes).ok() || !out.Close().ok()) {
                throw std::runtime_error("cannot write " + path.string());
            }
        }
        synth::SynthVideo video;
        std::filesystem::path loose, archive;
        int64_t offset = 0;
    };
    static const Files files;
    const VqaProperties props = files.video.properties;
    const int64_t length = static_cast<int64_t>(files.video.file.size());
    for (auto _ : st) {
        DiskInputFile in;
        const auto opened = st.range(0) == 0
                                ? in.Open(files.loose)
                                : in.OpenRange(files.archive, files.offset, length, "bench entry");
        auto index = opened ? ReadFrameIndex(in, props.frames)
                            : Expected<std::vector<int32_t>>(opened.error());
        if (!index) {
            st.SkipWithError(index.error().message.c_str());
            break;
        }
        MemoryOutputFile out("bench.avi");
        out.DiscardData(true);
        NoObserver observer;
        ConversionOutcome o = ConvertFrames(in, out, props, *index, observer);
        if (o.status != ConversionOutcome::Status::Completed || o.damagedFrames != 0) {
            st.SkipWithError(("conversion failed: " + o.message).c_str());
            break;
        }
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * props.frames);
}
// The fastest of the repetitions is compared: on a busy machine it is the least disturbed.
BENCHMARK(BM_ConvertFromDisk)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });

}  // namespace
}  // namespace rw::bench

BENCHMARK_MAIN();
