// The compressed writer's files as an outside reader (ffprobe, ffmpeg) sees them: container,
// codecs, pixels, aspect, frame count, duration and sound as promised; lossless files equal to
// their input bit for bit, lossy ones close to it; settings it cannot use refused with a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <sstream>

#include "tests/compressed/clip.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/shell.h"

namespace rw {
namespace {

using Fields = std::map<std::string, std::string>;

// The streams ("stream:0", "stream:1") and the container ("format") of a file as ffprobe gives
// them.
std::map<std::string, Fields> Probe(const std::string& path) {
    const std::string entries =
        "stream=codec_name,pix_fmt,width,height,sample_aspect_ratio,sample_rate,channels,"
        "color_space,color_range,start_time:format=format_name,duration";
    const auto run =
        test::RunShell("ffprobe -v error -show_entries " + entries + " -of compact '" + path + "'");
    std::map<std::string, Fields> sections;
    std::istringstream lines(run.out);
    int streams = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream items(line);
        std::string section, item;
        std::getline(items, section, '|');
        if (section == "stream") section += ":" + std::to_string(streams++);
        while (std::getline(items, item, '|')) {
            const size_t eq = item.find('=');
            if (eq != std::string::npos)
                sections[section][item.substr(0, eq)] = item.substr(eq + 1);
        }
    }
    return sections;
}

std::vector<uint8_t> Decoded(const std::string& path, const std::string& what) {
    const std::string out = what == "v" ? "-vsync passthrough -f rawvideo -pix_fmt bgr24"
                                        : "-ar 22050 -f s16le -acodec pcm_s16le";
    const auto run =
        test::RunShell("ffmpeg -v error -i '" + path + "' -map 0:" + what + " " + out + " -");
    return {run.out.begin(), run.out.end()};
}

// The decoded sound's signal-to-noise ratio against the input, in dB, sample for sample.
double SoundSnr(const std::vector<int16_t>& input, const std::vector<int16_t>& decoded) {
    double signal = 0, noise = 1;
    for (size_t i = 0; i < std::min(input.size(), decoded.size()); ++i) {
        signal += double(input[i]) * input[i];
        noise += (double(decoded[i]) - input[i]) * (double(decoded[i]) - input[i]);
    }
    return 10 * std::log10(signal / noise);
}

double Ratio(const std::string& text) {  // "5:6" → 0.833
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return 0;
    return std::stod(text.substr(0, colon)) / std::max(1.0, std::stod(text.substr(colon + 1)));
}

struct Row {
    const char* label;
    CompressedSettings settings;
    int channels;
    const char *container, *video, *pixels, *colours, *audio;
    int scale, framesPerPicture, soundRate;
    double minPsnr;  // 99: bit for bit, sound too
    int width = 320, height = 200;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.label;
}

constexpr int kFrames = 16;

class CompressedFiles : public testing::TestWithParam<Row> {};

TEST_P(CompressedFiles, HoldWhatTheFormatPromises) {
    const Row& row = GetParam();
    if (test::RunShell("ffprobe -version >/dev/null 2>&1").status != 0) GTEST_SKIP();
    const test::Clip clip = test::MakeClip(kFrames, row.width, row.height, 22050, row.channels);
    test::ScratchFolder folder;
    const std::string path = (folder / "clip.out").string();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    const auto written = test::WriteClip(fd, "clip.out", clip, row.settings);
    close(fd);
    ASSERT_TRUE(written) << written.error().message;

    auto probe = Probe(path);
    Fields& v = probe["stream:0"];
    Fields& a = probe["stream:1"];
    EXPECT_NE(probe["format"]["format_name"].find(row.container), std::string::npos);
    EXPECT_EQ(v["codec_name"], row.video);
    EXPECT_EQ(v["pix_fmt"], row.pixels);
    const bool even = std::string(row.pixels) == "yuv420p";
    // 4:2:0 pictures have even sides: an odd last row or column is repeated.
    const int width = (row.width * row.scale + even) & ~int(even);
    const int height = (row.height * row.scale + even) & ~int(even);
    EXPECT_EQ(v["width"], std::to_string(width));
    EXPECT_EQ(v["height"], std::to_string(height));
    EXPECT_NEAR(Ratio(v["sample_aspect_ratio"]), row.settings.squarePixels ? 1.0 : 5.0 / 6, 0.01);
    EXPECT_EQ(v["color_space"], row.colours);
    EXPECT_NEAR(std::stod(probe["format"]["duration"]), kFrames / 15.0, 0.1);
    EXPECT_EQ(a["codec_name"], row.audio);
    EXPECT_EQ(a["sample_rate"], std::to_string(row.soundRate));
    EXPECT_EQ(a["channels"], std::to_string(row.channels));
    EXPECT_NEAR(std::stod(v["start_time"]), std::stod(a["start_time"]), 0.05);

    const std::vector<uint8_t> pictures = Decoded(path, "v");
    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    ASSERT_EQ(pictures.size(), frameBytes * kFrames * size_t(row.framesPerPicture));
    double worst = 99;
    for (size_t f = 0; f < kFrames * size_t(row.framesPerPicture); ++f) {
        const auto expected = test::Enlarged(clip.pictures[f / size_t(row.framesPerPicture)],
                                             row.width, row.height, row.scale, even);
        worst = std::min(worst, test::Psnr(expected, {&pictures[f * frameBytes], frameBytes}));
    }
    EXPECT_GE(worst, row.minPsnr);
    // The sound back at 22050 Hz: bit for bit, or close to the input from the first sample on.
    const std::vector<uint8_t> bytes = Decoded(path, "a");
    const std::vector<int16_t> sound(
        reinterpret_cast<const int16_t*>(bytes.data()),
        reinterpret_cast<const int16_t*>(bytes.data()) + bytes.size() / 2);
    if (row.minPsnr == 99) {
        EXPECT_EQ(sound, clip.sound);
        return;
    }
    EXPECT_NEAR(double(sound.size()), double(clip.sound.size()), 2048.0 * row.channels);
    // An MPEG-1 system stream keeps no record of the MP2 encoder's delay for a raw decode.
    if (row.settings.format != CompressedFormat::Mpg) {
        EXPECT_GE(SoundSnr(clip.sound, sound), 18);
    }
}

constexpr auto kMp4 = CompressedFormat::Mp4;
constexpr auto kWebM = CompressedFormat::WebM;
constexpr auto kMkv = CompressedFormat::Mkv;
constexpr auto kMpg = CompressedFormat::Mpg;

// Generous floors: the defaults give about 42 dB at scale 2 and 30 dB at scale 1 (where 4:2:0
// colour halves the palette's sharp colour edges).
INSTANTIATE_TEST_SUITE_P(
    Formats, CompressedFiles,
    testing::Values(
        Row{"mp4", {kMp4}, 1, "mp4", "h264", "yuv420p", "smpte170m", "aac", 2, 1, 22050, 36},
        Row{"webm", {kWebM}, 1, "webm", "vp9", "yuv420p", "smpte170m", "opus", 2, 1, 48000, 36},
        Row{"mkv", {kMkv}, 1, "matroska", "ffv1", "bgr0", "gbr", "flac", 1, 1, 22050, 99},
        // MPEG-1 shows 15 pictures a second as 30 frames; it has no colour description.
        Row{"mpg", {kMpg}, 1, "mpeg", "mpeg1video", "yuv420p", "unknown", "mp2", 2, 2, 22050, 33},
        Row{"mkv_stereo_square_scale_2",
            {kMkv, 2, true},
            2,
            "matroska",
            "ffv1",
            "bgr0",
            "gbr",
            "flac",
            2,
            1,
            22050,
            99},
        Row{"webm_stereo_square_scale_1",
            {kWebM, 1, true},
            2,
            "webm",
            "vp9",
            "yuv420p",
            "smpte170m",
            "opus",
            1,
            1,
            48000,
            26},
        Row{"mpg_odd_sides_scale_1",
            {kMpg, 1},
            1,
            "mpeg",
            "mpeg1video",
            "yuv420p",
            "unknown",
            "mp2",
            1,
            2,
            22050,
            24,
            161,
            101}),
    [](const auto& info) { return std::string(info.param.label); });

struct RefusalRow {
    const char* label;
    StreamShape shape;
    CompressedSettings settings;
    const char* message;  // after "cannot write "clip.out": "; the file is not empty when null
};

void PrintTo(const RefusalRow& row, std::ostream* os) {
    *os << row.label;
}

class Refusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(Refusals, NameTheFileAndTheProblem) {
    const RefusalRow& row = GetParam();
    test::ScratchFolder folder;
    const std::string path = (folder / "clip.out").string();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    if (row.message == nullptr) {
        ASSERT_EQ(write(fd, "x", 1), 1);
    }
    const auto writer = CompressedWriter::Open(fd, "clip.out", row.shape, row.settings);
    close(fd);
    ASSERT_FALSE(writer);
    EXPECT_EQ(writer.error().message,
              std::string("cannot write \"clip.out\": ") +
                  (row.message ? row.message : "it is not a new, empty file"));
}

constexpr StreamShape kShape{320, 200, 15, 1, 22050, 1};

INSTANTIATE_TEST_SUITE_P(
    Settings, Refusals,
    testing::Values(
        RefusalRow{"scale_9", kShape, {kMp4, 9}, "the scale must be 1 to 8, not 9"},
        RefusalRow{
            "crf_52", kShape, {kMp4, 0, false, 52}, "the mp4 quality must be 0 to 51, not 52"},
        RefusalRow{"lossless_quality",
                   kShape,
                   {kMkv, 0, false, 10},
                   "mkv is lossless and takes no quality"},
        RefusalRow{"no_threads",
                   kShape,
                   {kWebM, 0, false, -1, 0},
                   "the number of threads must be at least 1, not 0"},
        RefusalRow{"three_channels",
                   {320, 200, 15, 1, 22050, 3},
                   {kMp4},
                   "sound of 3 channels cannot be written (only mono or stereo)"},
        RefusalRow{
            "no_rate", {320, 200, 0, 1, 0, 1}, {kMp4}, "a picture rate of 0/1 cannot be written"},
        RefusalRow{"mpeg1_too_large",
                   {640, 400, 15, 1, 0, 1},
                   {kMpg, 8},
                   "MPEG-1 video pictures cannot be larger than 4094 pixels a side (these would be "
                   "5120 x 3200)"},
        RefusalRow{"file_not_empty", kShape, {kMkv}, nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

// A picture of the wrong size is refused, and the writer keeps that failure.
TEST(CompressedWriter, KeepsItsFirstFailure) {
    test::ScratchFolder folder;
    const std::string path = (folder / "clip.out").string();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    auto writer = CompressedWriter::Open(fd, "clip.out", {8, 6, 15, 1, 0, 1}, {kMkv});
    ASSERT_TRUE(writer) << writer.error().message;
    const std::vector<uint8_t> picture(8 * 6 * 3 - 1);
    const std::string message =
        "cannot write \"clip.out\": a picture of 143 bytes is not 8 x 6 x 3";
    const auto refused = (*writer)->Picture(picture);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, message);
    const auto finished = (*writer)->Finish();
    ASSERT_FALSE(finished);
    EXPECT_EQ(finished.error().message, message);
    close(fd);
}

// A file that cannot grow: the system's own error, naming the file.
TEST(CompressedWriter, ReportsAFailedWrite) {
    test::ScratchFolder folder;
    const std::string path = (folder / "clip.out").string();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 4096;
    const auto handler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto written = test::WriteClip(fd, "clip.out", test::MakeClip(8, 64, 40, 0, 1), {kMkv});
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, handler);
    close(fd);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().message, "cannot write \"clip.out\": File too large");
}

}  // namespace
}  // namespace rw
