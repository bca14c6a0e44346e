// Faults around the files of a conversion: a disk that fills up, a writer that fails at every chunk
// boundary, and an interrupt. Nothing may be lost: no partial file under the final name, no earlier
// AVI file destroyed, the input untouched, and the user told which file failed and why.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "avi/avi_header.h"
#include "run/avi_format_of.h"
#include "run/convert_frames.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/memory_file.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

using test::SmallVideo;

// ---- A full disk, through the command line ----

// The output may not grow past `limit` bytes. The AVI file of the video is a little over 1.4 MB,
// more than one write buffer, so the failure comes both from writes during the run and from the
// last write when the file is closed.
class FullDisk : public testing::TestWithParam<int64_t> {};

TEST_P(FullDisk, FailsInOneLineAndKeepsTheEarlierAvi) {
    const synth::SynthVideo& v = SmallVideo(100, 64, 48);
    const int64_t length = ComputeAviLayout(AviFormatOf(v.properties)).fileLength;
    const int64_t limit = GetParam() >= 0 ? GetParam() : length + GetParam();
    ASSERT_GT(length, int64_t{1} << 20);
    test::ScratchFolder dir;
    dir.Put("clip.vqa", v.file);
    const std::vector<uint8_t> earlier = {'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    dir.Put("clip.avi", earlier);

    const test::CliRun r = dir.Run({"--force", "clip.vqa"}, static_cast<rlim_t>(limit));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.ErrLines(), 1u) << r.err;
    EXPECT_NE(r.err.find("Cannot convert \"clip.vqa\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    EXPECT_EQ(dir.Get("clip.avi"), earlier);
    EXPECT_EQ(dir.Get("clip.vqa"), v.file);
}

// Limits in bytes; negative ones count back from the complete file's length. The failure comes on
// the first write, inside the header block's last byte, past the first full write buffer, in the
// second part of the run (one file alone is converted in two parts), and on the last write.
INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, testing::Values(0, 523, (1 << 20) + 1, -100000, -1),
                         [](const auto& info) {
                             return info.param < 0 ? "LengthMinus" + std::to_string(-info.param)
                                                   : "Bytes" + std::to_string(info.param);
                         });

TEST(FullDisk, ExactlyEnoughRoomIsEnough) {
    const synth::SynthVideo& v = SmallVideo(100, 64, 48);
    const int64_t length = ComputeAviLayout(AviFormatOf(v.properties)).fileLength;
    test::ScratchFolder dir;
    dir.Put("clip.vqa", v.file);
    const test::CliRun r = dir.Run({"clip.vqa"}, static_cast<rlim_t>(length));
    EXPECT_EQ(r.status, 0) << r.err;
    const auto avi = dir.Get("clip.avi");
    ASSERT_TRUE(avi.has_value());
    EXPECT_EQ(static_cast<int64_t>(avi->size()), length);
    EXPECT_EQ(test::WalkAvi(*avi).problem, "");
}

// ---- A writer that fails at every boundary of the output ----

TEST(FailingWriter, EveryChunkBoundaryFailsTheRunWithAMessage) {
    const synth::SynthVideo& v = SmallVideo(4, 16, 8);
    const AviLayout layout = ComputeAviLayout(AviFormatOf(v.properties));
    // Chunk boundaries of the output: the header block, the leading sound, each frame's sound
    // and video chunk, the index; each with the bytes around it.
    std::vector<int64_t> ends = {0, 168, 524, 524 + 8 + layout.leadingSoundBytes};
    for (int32_t f = 0; f < v.properties.frames; ++f) {
        ends.push_back(ends.back() + 8 + layout.frameSoundDeclared);
        ends.push_back(ends.back() + 8 + layout.videoFrameBytes);
    }
    ends.push_back(layout.fileLength);
    size_t checked = 0;
    for (int64_t end : ends) {
        for (int64_t failAfter : {end - 1, end, end + 4, end + 9}) {
            if (failAfter < 0 || failAfter >= layout.fileLength) continue;
            SCOPED_TRACE("writes fail past byte " + std::to_string(failAfter));
            MemoryInputFile in(v.file, "clip.vqa");
            auto index = ReadFrameIndex(in, v.properties.frames);
            ASSERT_TRUE(index.ok());
            MemoryOutputFile out("clip.avi", failAfter);
            test::NullObserver observer;
            const ConversionOutcome o = ConvertFrames(in, out, v.properties, *index, observer);
            EXPECT_EQ(o.status, ConversionOutcome::Status::Failed);
            EXPECT_NE(o.message.find("Cannot write \"clip.avi\""), std::string::npos) << o.message;
            EXPECT_LE(out.Position(), failAfter);
            ++checked;
        }
    }
    EXPECT_GT(checked, 30u);
}

// ---- An interrupt ----

// The run (told to replace the earlier AVI file) is long enough for the interrupt, sent once its
// output exists, to land inside it; the run then stops before its next frame, and exits with 128
// plus the signal's number.
TEST(Interrupt, StopsTheConversionAndKeepsTheEarlierAvi) {
    const synth::SynthVideo& v = SmallVideo(1000, 320, 200);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        test::ScratchFolder dir;
        dir.Put("clip.vqa", v.file);
        const std::vector<uint8_t> earlier = {'k', 'e', 'e', 'p'};
        dir.Put("clip.avi", earlier);

        test::Child cli(test::kCliProgram, {"--force", "clip.vqa"}, dir.Path());
        // The unfinished output is the one name beside the two files.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (dir.Listing().size() < 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const bool started = dir.Listing().size() >= 3;
        cli.Signal(signal);
        const test::CliRun r = cli.Finish();
        ASSERT_TRUE(started) << "the conversion never started";
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
        EXPECT_EQ(dir.Get("clip.vqa"), v.file);
        EXPECT_EQ(r.out, "") << "the run finished in spite of the interrupt";
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(dir.Get("clip.avi"), earlier);
    }
}

}  // namespace
}  // namespace rw
