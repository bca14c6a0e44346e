// The compressed writer's figures: the synthesiser's palette scene (320 x 200, 15 frames a second,
// 22050 Hz mono) written in each format, with encoding time, file size and picture PSNR (mean and
// worst frame, decoded by ffmpeg against the enlarged input).
//
//   rw_compressed_bench [--frames N] [--format mp4|webm|mkv|mpg] [--scale S] [--threads T]
//                       [--quality Q]... [--sweep]
//
// --sweep measures each format at several values of its quality knob instead of its default.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/compressed/clip.h"
#include "tests/support/shell.h"

namespace {

using namespace rw;

struct Options {
    int frames = 150, scale = 0, threads = 1;
    std::vector<CompressedFormat> formats{CompressedFormat::Mp4, CompressedFormat::WebM,
                                          CompressedFormat::Mkv, CompressedFormat::Mpg};
    std::vector<int> qualities;
    bool sweep = false;
};

std::vector<int> SweepOf(CompressedFormat format) {
    switch (format) {
        case CompressedFormat::Mp4:
            return {12, 15, 18, 21, 24, 28};
        case CompressedFormat::WebM:
            return {20, 25, 30, 35, 40};
        case CompressedFormat::Mkv:
            return {-1};
        case CompressedFormat::Mpg:
            return {2, 3, 4, 6, 8};
    }
    return {-1};
}

void Measure(const test::Clip& clip, const CompressedSettings& settings) {
    char path[] = "/tmp/rw-compressed-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return;
    const auto start = std::chrono::steady_clock::now();
    const auto written = test::WriteClip(fd, "bench", clip, settings);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const off_t size = lseek(fd, 0, SEEK_END);
    close(fd);
    const CompressedFormatInfo& info = FormatInfo(settings.format);
    if (!written) {
        std::printf("%-5s %s\n", info.name, written.error().message.c_str());
        unlink(path);
        return;
    }
    const auto decoded =
        test::RunShell(std::string("ffmpeg -v error -i ") + path +
                       " -map 0:v -vsync passthrough -f rawvideo -pix_fmt bgr24 -");
    unlink(path);
    const int scale = settings.scale != 0 ? settings.scale : info.defaultScale;
    const bool even = settings.format != CompressedFormat::Mkv;
    const size_t frameBytes =
        test::Enlarged(clip.pictures[0], clip.shape.width, clip.shape.height, scale, even).size();
    const size_t frames = decoded.out.size() / frameBytes;
    double sum = 0, worst = 99;
    for (size_t f = 0; f < frames; ++f) {
        const auto& picture = clip.pictures[f * clip.pictures.size() / frames];
        const auto expected =
            test::Enlarged(picture, clip.shape.width, clip.shape.height, scale, even);
        const auto* at = reinterpret_cast<const uint8_t*>(decoded.out.data()) + f * frameBytes;
        const double psnr = test::Psnr(expected, {at, frameBytes});
        sum += psnr;
        worst = std::min(worst, psnr);
    }
    std::printf(
        "%-5s q %3d  scale %d  %6.2f s  %7.1f frames/s  %9lld bytes  %6.0f bytes/frame  "
        "PSNR %5.2f dB (worst %5.2f)\n",
        info.name, settings.quality != -1 ? settings.quality : info.defaultQuality, scale, seconds,
        double(clip.pictures.size()) / seconds, static_cast<long long>(size),
        double(size) / double(clip.pictures.size()), frames ? sum / double(frames) : 0, worst);
    std::fflush(stdout);
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--sweep") {
            o.sweep = true;
        } else if (next != nullptr && a == "--frames") {
            o.frames = std::atoi(argv[++i]);
        } else if (next != nullptr && a == "--scale") {
            o.scale = std::atoi(argv[++i]);
        } else if (next != nullptr && a == "--threads") {
            o.threads = std::atoi(argv[++i]);
        } else if (next != nullptr && a == "--quality") {
            o.qualities.push_back(std::atoi(argv[++i]));
        } else if (next != nullptr && a == "--format") {
            const auto format = FormatNamed(argv[++i]);
            if (!format) return false;
            o.formats = {*format};
        } else {
            return false;
        }
    }
    return o.frames > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: rw_compressed_bench [--frames N] [--format mp4|webm|mkv|mpg] "
                     "[--scale S] [--threads T] [--quality Q]... [--sweep]\n");
        return 2;
    }
    const test::Clip clip = test::MakeClip(o.frames, 320, 200, 22050, 1);
    std::printf("%d frames of 320 x 200 at 15 frames/s, 22050 Hz mono, %d thread(s)\n", o.frames,
                o.threads);
    for (CompressedFormat format : o.formats) {
        std::vector<int> qualities = o.sweep ? SweepOf(format) : o.qualities;
        if (qualities.empty() || format == CompressedFormat::Mkv) qualities = {-1};
        for (int q : qualities) Measure(clip, {format, o.scale, false, q, o.threads});
    }
    return 0;
}
