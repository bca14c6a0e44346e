// The encoder's figures: a film encoded to VQA, converted back by the project's converter, and held
// against its source. Prints encoding time, picture PSNR (mean and worst frame), sound SNR and the
// VQA's size against the AVI's, and checks them against the targets given.
//
//   rw_encode_bench --avi FILE.avi | --scene  [--frames N] [--quality fast|normal|best]
//                   [--block 4x2|4x4] [--min-psnr DB] [--max-seconds S] [--max-ratio R]
//                   [--ceiling] [--max-gap DB] [--max-bytes N]
//
// --ceiling also prints the PSNR of each frame drawn in a 256-colour palette of its own with no
// blocks (what no VQA of the film can beat); --max-gap sets how far below it the mean may be.
// A frame counts as identical when the converter's picture equals the source to the byte.
//
// --scene encodes a true-colour moving scene of 320x200 rendered by the synthesiser's scene code
// (before any palette), with its tune as sound. Exit status 1 when a target is missed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "avi/avi_header.h"
#include "run/avi_format_of.h"
#include "encode_job/encode_job.h"
#include "encode/palette.h"
#include "encode/vqa_encoder.h"
#include "tests/support/round_trip.h"
#include "tools/synth/scene.h"

namespace {

using namespace rw;

class SceneFrames final : public EncodeFrames {
  public:
    SceneFrames(int32_t frames, int32_t width, int32_t height)
        : m_frames(frames), m_width(width), m_height(height), m_scene(width, height, 1) {}
    int32_t Frames() const override { return m_frames; }
    int32_t Width() const override { return m_width; }
    int32_t Height() const override { return m_height; }
    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        m_scene.Render(frame, bgr);
        return {};
    }

  private:
    int32_t m_frames, m_width, m_height;
    synth::TrueColourScene m_scene;
};

class VectorSound final : public EncodeSound {
  public:
    explicit VectorSound(std::vector<int16_t> samples) : m_samples(std::move(samples)) {}
    Expected<size_t> Read(std::span<int16_t> out) override {
        const size_t n = std::min(out.size(), m_samples.size() - m_at);
        std::copy_n(m_samples.begin() + static_cast<ptrdiff_t>(m_at), n, out.begin());
        m_at += n;
        return n;
    }

  private:
    std::vector<int16_t> m_samples;
    size_t m_at = 0;
};

// Reads every frame and sample of a source so that the same can be handed to the encoder and
// held against what comes back.
struct Film {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int16_t> sound;
    int32_t width = 0, height = 0;
};

class FilmFrames final : public EncodeFrames {
  public:
    explicit FilmFrames(const Film& film) : m_film(film) {}
    int32_t Frames() const override { return static_cast<int32_t>(m_film.frames.size()); }
    int32_t Width() const override { return m_film.width; }
    int32_t Height() const override { return m_film.height; }
    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        std::copy(m_film.frames[size_t(frame)].begin(), m_film.frames[size_t(frame)].end(),
                  bgr.begin());
        return {};
    }

  private:
    const Film& m_film;
};

Film LoadAvi(const std::string& path) {
    auto source = OpenAviSource(path);
    if (!source) {
        std::fprintf(stderr, "rw_encode_bench: %s\n", source.error().message.c_str());
        std::exit(2);
    }
    Film film;
    film.width = source->frames->Width();
    film.height = source->frames->Height();
    for (int32_t f = 0; f < source->frames->Frames(); ++f) {
        film.frames.emplace_back(size_t(film.width) * size_t(film.height) * 3);
        if (!source->frames->Read(f, film.frames.back())) std::exit(2);
    }
    film.sound.resize(size_t(kEncodeLeadingSamples) +
                      size_t(kEncodeFrameSamples) * film.frames.size());
    if (source->sound) {
        auto got = source->sound->Read(film.sound);
        if (!got) std::exit(2);
    }
    return film;
}

Film MakeScene(int32_t frames) {
    Film film;
    film.width = 320;
    film.height = 200;
    SceneFrames scene(frames, 320, 200);
    for (int32_t f = 0; f < frames; ++f) {
        film.frames.emplace_back(320 * 200 * 3);
        (void)scene.Read(f, film.frames.back());
    }
    synth::Tune tune(kEncodeSoundRate, 1);
    film.sound = tune.Next(size_t(kEncodeLeadingSamples) + size_t(kEncodeFrameSamples) * frames);
    return film;
}

// The source picture's pixels within the decoded (possibly padded) picture.
double FramePsnr(const Film& film, size_t f, const std::vector<uint8_t>& decoded, int32_t width) {
    std::vector<uint8_t> crop;
    for (int32_t y = 0; y < film.height; ++y) {
        const auto row = decoded.begin() + 3 * ptrdiff_t(y) * width;
        crop.insert(crop.end(), row, row + 3 * film.width);
    }
    return test::Psnr(film.frames[f], crop);
}

// The best a per-frame palette can do with no blocks at all: each frame drawn in its own 256
// colours of 6-bit components, every pixel in its nearest colour.
double PrintCeiling(const Film& film) {
    double sum = 0, worst = 99;
    for (const std::vector<uint8_t>& frame : film.frames) {
        ColourHistogram histogram;
        histogram.AddPixels(frame);
        PaletteMap map(ChoosePalette(histogram, 6).palette);
        const Palette& pal = map.Colours();
        std::vector<uint8_t> drawn(frame.size());
        for (size_t i = 0; i + 2 < frame.size(); i += 3) {
            const size_t n =
                3 * size_t{map.Nearest(
                        PackColour(To6Bit(frame[i + 2]), To6Bit(frame[i + 1]), To6Bit(frame[i])))};
            for (size_t k = 0; k < 3; ++k) drawn[i + k] = static_cast<uint8_t>(4 * pal[n + 2 - k]);
        }
        const double p = test::Psnr(frame, drawn);
        sum += p;
        worst = std::min(worst, p);
    }
    const double mean = sum / double(film.frames.size());
    std::printf(
        "ceiling PSNR     mean %.2f dB, worst frame %.2f dB (a palette per frame, no blocks)\n",
        mean, worst);
    return mean;
}

struct Targets {
    double minPsnr = 0, maxSeconds = 1e9, maxRatio = 1;
    double ceiling = 0, maxGap = 1e9;  // mean PSNR at most maxGap below the ceiling
    double maxBytes = 1e18;
};

int Report(const Film& film, const EncodedVqa& vqa, double seconds, double cpu,
           const Targets& targets) {
    const test::RoundTrip back = test::ConvertBack(vqa.file);
    if (!back.problem.empty() || back.frames.size() != film.frames.size()) {
        std::fprintf(stderr, "rw_encode_bench: the converter did not read the file back: %s\n",
                     back.problem.c_str());
        return 2;
    }
    double sum = 0, worst = 99;
    size_t identical = 0;
    for (size_t f = 0; f < film.frames.size(); ++f) {
        const double p = FramePsnr(film, f, back.frames[f], back.properties.width);
        sum += p;
        worst = std::min(worst, p);
        identical += p >= 99;
    }
    const double mean = sum / double(film.frames.size());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(film.sound.size(), back.sound.size()); ++i) {
        signal += double(film.sound[i]) * film.sound[i];
        noise += (film.sound[i] - back.sound[i]) * (film.sound[i] - back.sound[i]);
    }
    VqaProperties source = back.properties;
    source.width = film.width;
    source.height = film.height;
    const int64_t aviBytes = ComputeAviLayout(AviFormatOf(source)).fileLength;
    const double ratio = double(vqa.file.size()) / double(aviBytes);
    std::printf("frames %zu of %dx%d, %d palette(s)\n", film.frames.size(), film.width, film.height,
                vqa.palettes);
    std::printf("encoding time    %.2f s (%.1f frames per second), %.2f s of processor time\n",
                seconds, double(film.frames.size()) / seconds, cpu);
    std::printf("picture PSNR     mean %.2f dB, worst frame %.2f dB, %zu of %zu frames identical\n",
                mean, worst, identical, film.frames.size());
    std::printf("sound SNR        %.2f dB\n", noise > 0 ? 10 * std::log10(signal / noise) : 99.0);
    std::printf("size             %zu bytes, AVI %lld bytes, ratio 1/%.1f\n", vqa.file.size(),
                static_cast<long long>(aviBytes), 1 / ratio);
    bool ok = true;
    auto check = [&](bool pass, const char* what) {
        if (!pass) std::printf("TARGET MISSED: %s\n", what);
        ok = ok && pass;
    };
    check(mean >= targets.minPsnr, "mean PSNR");
    check(seconds <= targets.maxSeconds, "encoding time");
    check(ratio <= targets.maxRatio, "size ratio");
    check(mean >= targets.ceiling - targets.maxGap, "distance to the ceiling");
    check(double(vqa.file.size()) <= targets.maxBytes, "size");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string avi;
    bool scene = false, ceiling = false;
    int32_t frames = 150;
    EncodeSettings settings;
    Targets targets;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--avi")
            avi = argv[++i];
        else if (a == "--scene")
            scene = true;
        else if (a == "--ceiling")
            ceiling = true;
        else if (a == "--frames")
            frames = std::atoi(argv[++i]);
        else if (a == "--quality")
            settings.effort = std::strcmp(next, "fast") == 0   ? 1
                              : std::strcmp(next, "best") == 0 ? 3
                                                               : 2,
            ++i;
        else if (a == "--block")
            settings.blockHeight = std::strcmp(next, "4x4") == 0 ? 4 : 2, ++i;
        else if (a == "--min-psnr")
            targets.minPsnr = std::atof(argv[++i]);
        else if (a == "--max-seconds")
            targets.maxSeconds = std::atof(argv[++i]);
        else if (a == "--max-gap")
            targets.maxGap = std::atof(argv[++i]), ceiling = true;
        else if (a == "--max-bytes")
            targets.maxBytes = std::atof(argv[++i]);
        else if (a == "--max-ratio")
            targets.maxRatio = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "rw_encode_bench: unknown argument \"%s\"\n", a.c_str());
            return 2;
        }
    }
    if (avi.empty() == !scene) {
        std::fprintf(stderr, "rw_encode_bench: give --avi FILE or --scene\n");
        return 2;
    }
    const Film film = scene ? MakeScene(frames) : LoadAvi(avi);
    if (ceiling) targets.ceiling = PrintCeiling(film);
    FilmFrames source(film);
    VectorSound sound(film.sound);
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    auto vqa = EncodeVqa(source, &sound, settings, nullptr);
    const double cpu = double(std::clock() - startCpu) / CLOCKS_PER_SEC;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!vqa) {
        std::fprintf(stderr, "rw_encode_bench: %s\n", vqa.error().message.c_str());
        return 2;
    }
    return Report(film, *vqa, seconds, cpu, targets);
}
