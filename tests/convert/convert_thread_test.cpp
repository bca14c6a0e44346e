#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/conversion_worker.h"
#include "tests/support/avi_walk.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tiny_vqa.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

namespace fs = std::filesystem;
using Status = ConversionOutcome::Status;

using test::BuildTinyVqa;
using test::TinyFrame;
using test::TinyVqa;

// Records every call the worker makes, in order, as one line each.
class RecordingHost final : public ConversionHost {
  public:
    void ProgressChanged(const ProgressTexts& p) override {
        if (onProgress) onProgress();
        Add("frame " + p.frame + " " + p.percent +
            (p.hasTimes ? " " + p.timeRemaining + " " + p.elapsedTime + " " + p.finishTime : ""));
    }
    void SeekFailed(uint32_t frame, uint32_t position) override {
        Add("seek " + std::to_string(frame) + " " + std::to_string(position));
    }
    void ConcealedDamage(int32_t frames, const std::string& message) override {
        Add("damage " + std::to_string(frames) + " " + message);
    }
    void ConversionFinished() override {
        Add("finished");
        if (onFinished) onFinished();
    }
    void ConversionFailed(const std::string& message) override { Add("failed " + message); }

    std::vector<std::string> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::function<void()> onFinished;
    std::function<void()> onProgress;

  private:
    void Add(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

class FixedClock final : public ProgressClock {
  public:
    explicit FixedClock(int64_t start) : now(start) {}
    int64_t now = 0;
    int64_t NowMilliseconds() override { return now += 500; }
    TimeOfDay LocalTimeOfDay() override { return {23, 59, 50}; }
};

class ConvertThreadTest : public testing::Test {
  public:
    // Writes the file in the scratch folder; returns its path.
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        return (m_dir / m_dir.Put(name, bytes)).string();
    }
    static std::vector<uint8_t> Read(const std::string& path) {
        auto r = ReadWholeFile(path);
        return r ? *r : std::vector<uint8_t>{};
    }
    // Runs a worker on the video to its end and returns how it ended.
    static Status RunToEnd(ConversionWorker& worker, RecordingHost& host, const std::string& vqa,
                           unsigned processors = 1) {
        ConversionRequest request;
        request.source = LooseSource(vqa);
        request.processors = processors;
        worker.Start(std::move(request), host);
        worker.Join();
        return worker.Outcome().status;
    }
    static void Start(ConversionWorker& worker, RecordingHost& host, const std::string& vqa) {
        ConversionRequest request;
        request.source = LooseSource(vqa);
        worker.Start(std::move(request), host);
    }

    test::ScratchFolder m_dir;
};

// A frame past the end of the file is concealed, and reported before the run finishes.
TEST_F(ConvertThreadTest, CompletesWithItsReportsInOrderAndTheFileInPlace) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "the last frame missing" : "intact");
        TinyVqa v = test::TinyThreeFrames();
        v.frames[2].omit = damaged;
        const std::string vqa = Write("clip.vqa", BuildTinyVqa(v));
        Write("clip.avi", {'o', 'l', 'd'});  // replaced by the complete file
        RecordingHost host;
        FixedClock clock(1234567);  // counts from boot: the first report starts the run's clock
        ConversionWorker worker(&clock);
        ASSERT_EQ(RunToEnd(worker, host, vqa), Status::Completed);
        EXPECT_TRUE(worker.Finished());
        // 500 ms per frame; R = (3 - 1) * 500 / 2000 = 0, then (3 - 2) * 1000 / 3000 = 0.
        std::vector<std::string> expected = {"frame 1  33.33%",
                                             "frame 2  66.67% 00:00 00:00 23:59:50",
                                             "frame 3 100.00% 00:00 00:01 23:59:50", "finished"};
        if (damaged) {
            expected.insert(expected.end() - 1,
                            "damage 1 \"" + vqa +
                                "\": 1 frame was damaged or missing (the first is frame 3); they "
                                "repeat the previous picture");
        }
        EXPECT_EQ(host.Calls(), expected);
        EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
        EXPECT_EQ(test::WalkAvi(Read((m_dir / "clip.avi").string())).problem, "");
    }
}

// Fatal problems: the run ends with one ConversionFailed naming the file and the problem, and
// leaves nothing behind; an existing AVI file of that name stays as it was.
TEST_F(ConvertThreadTest, AFatalProblemEndsWithAMessageAndLeavesNothingBehind) {
    // The AVI file's name fits, a longer one beside it does not.
    const std::string tooLong =
        Write(std::string(247, 'a') + ".vqa", BuildTinyVqa(test::TinyThreeFrames()));
    for (const auto& [vqa, says] :
         {std::pair{(m_dir / "gone.vqa").string(), "No such file or directory"},
          std::pair{tooLong, "Cannot create a temporary file beside"}}) {
        SCOPED_TRACE(says);
        const std::string avi = vqa.substr(0, vqa.size() - 3) + "avi";
        Write(fs::path(avi).filename(), {'o', 'l', 'd'});
        const auto before = m_dir.Listing();
        const auto inputBytes = Read(vqa);
        RecordingHost host;
        ConversionWorker worker;
        EXPECT_EQ(RunToEnd(worker, host, vqa), Status::Failed);
        const auto calls = host.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().rfind("failed ", 0), 0u) << calls.back();
        EXPECT_NE(calls.back().find(vqa), std::string::npos) << calls.back();
        EXPECT_NE(calls.back().find(says), std::string::npos) << calls.back();
        for (const auto& c : calls) EXPECT_NE(c, "finished");
        worker.CloseAndDiscard();
        EXPECT_EQ(m_dir.Listing(), before);
        EXPECT_EQ(Read(avi), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(Read(vqa), inputBytes);
    }
}

TEST_F(ConvertThreadTest, SeekFailureShowsTwoMessagesAndKeepsTheOutputOpenUntilDiscarded) {
    TinyVqa v = test::TinyThreeFrames();
    v.rawIndexEntries = {{1, 0x3FFFFFFC}};
    const std::string vqa = Write("clip.vqa", BuildTinyVqa(v));
    Write("clip.avi", {'o', 'l', 'd'});
    RecordingHost host;
    ConversionWorker worker;
    EXPECT_EQ(RunToEnd(worker, host, vqa), Status::SeekFailed);
    EXPECT_EQ(host.Calls().back(), "seek 1 2147483648");
    EXPECT_TRUE(fs::exists(worker.TemporaryPath()));  // until discarded
    worker.CloseAndDiscard();
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    EXPECT_EQ(Read((m_dir / "clip.avi").string()), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// (A cancelled run discards its temporary file and keeps the earlier AVI file: the command line's
// interrupt test runs this worker.)
TEST_F(ConvertThreadTest, AHostMayReleaseTheWorkerFromConversionFinished) {
    const std::string vqa = Write("clip.vqa", BuildTinyVqa(test::TinyThreeFrames()));
    RecordingHost host;
    auto worker = std::make_unique<ConversionWorker>();
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    host.onFinished = [&] {
        worker.reset();  // on the worker's own thread
        std::lock_guard lock(m);
        released = true;
        cv.notify_all();
    };
    Start(*worker, host, vqa);
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return released; }));
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
}

// A cancel stops the run before its next frame: the temporary file goes, the earlier AVI stays.
TEST_F(ConvertThreadTest, ACancelStopsTheRunBeforeItsNextFrameAndLeavesNothingBehind) {
    TinyVqa v = test::TinyThreeFrames();
    for (int i = 0; i < 200; ++i) v.frames.push_back(TinyFrame{std::vector<uint8_t>(10, 5), {}});
    const std::string vqa = Write("clip.vqa", BuildTinyVqa(v));
    Write("clip.avi", {'o', 'l', 'd'});
    RecordingHost host;
    ConversionWorker worker;
    // The run waits in its first frame's report until the cancel has been asked for.
    std::mutex m;
    std::condition_variable cv;
    bool reported = false;
    bool cancelled = false;
    host.onProgress = [&] {
        std::unique_lock lock(m);
        if (reported) return;
        reported = true;
        cv.notify_all();
        cv.wait(lock, [&] { return cancelled; });
    };
    Start(worker, host, vqa);
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return reported; });
        worker.RequestCancel();
        cancelled = true;
    }
    cv.notify_all();
    worker.Join();
    EXPECT_EQ(worker.Outcome().status, Status::Cancelled);
    EXPECT_EQ(host.Calls().size(), 1u);  // the first frame's report, and no other
    worker.CloseAndDiscard();
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    EXPECT_EQ(Read((m_dir / "clip.avi").string()), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// The temporary output is a new file of the run's own: a link or a file already there under the
// old fixed name is neither written through nor removed. (An AVI path that is a folder, or that is
// the input itself, is refused through the command line, which runs this worker.)
TEST_F(ConvertThreadTest, LeavesEverythingButItsOwnFilesAlone) {
    Write("victim", {'m', 'i', 'n', 'e'});
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link planted at clip.avi.part" : "a file of that name");
        const std::string sub = link ? "link" : "file";
        const std::string vqa = Write(sub + "/clip.vqa", BuildTinyVqa(test::TinyThreeFrames()));
        if (link) {
            fs::create_symlink(m_dir / "victim", m_dir / sub / "clip.avi.part");
        } else {
            Write(sub + "/clip.avi.part", {'o', 'w', 'n'});
        }
        RecordingHost host;
        ConversionWorker worker;
        ASSERT_EQ(RunToEnd(worker, host, vqa), Status::Completed);
        EXPECT_EQ(m_dir.Listing(sub),
                  (std::vector<std::string>{"clip.avi", "clip.avi.part", "clip.vqa"}));
        EXPECT_EQ(fs::is_symlink(m_dir / sub / "clip.avi.part"), link);
        EXPECT_EQ(test::WalkAvi(Read((m_dir / sub / "clip.avi").string())).problem, "");
        if (!link) {
            EXPECT_EQ(Read((m_dir / sub / "clip.avi.part").string()),
                      (std::vector<uint8_t>{'o', 'w', 'n'}));
        }
    }
    EXPECT_EQ(Read((m_dir / "victim").string()), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
}

// Two runs of the same video at once each write a file of their own and end with a complete AVI.
TEST_F(ConvertThreadTest, TwoRunsAtOnceEachEndWithACompleteFile) {
    TinyVqa v = test::TinyThreeFrames();
    for (int i = 0; i < 300; ++i) v.frames.push_back(TinyFrame{std::vector<uint8_t>(10, 5), {}});
    const std::string vqa = Write("clip.vqa", BuildTinyVqa(v));
    RecordingHost host1;
    RecordingHost host2;
    ConversionWorker worker1;
    ConversionWorker worker2;
    Start(worker1, host1, vqa);
    Start(worker2, host2, vqa);
    worker1.Join();
    worker2.Join();
    EXPECT_EQ(worker1.Outcome().status, Status::Completed);
    EXPECT_EQ(worker2.Outcome().status, Status::Completed);
    EXPECT_NE(worker1.TemporaryPath(), worker2.TemporaryPath());
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"clip.avi", "clip.vqa"}));
    EXPECT_EQ(test::WalkAvi(Read((m_dir / "clip.avi").string())).problem, "");
}

// In two parts too (one part: the first test), the first report starts the clock (which counts
// from boot) and the last one of a complete run is its last frame.
TEST_F(ConvertThreadTest, ProgressStartsAtTheFirstReportAndEndsWithTheLastFrameInTwoParts) {
    TinyVqa v = test::TinyThreeFrames();
    for (int i = 0; i < 97; ++i) v.frames.push_back(TinyFrame{std::vector<uint8_t>(10, 5), {}});
    const std::string vqa = Write("long.vqa", BuildTinyVqa(v));
    RecordingHost host;
    FixedClock clock(1234567);
    ConversionWorker worker(&clock);
    ASSERT_EQ(RunToEnd(worker, host, vqa, 2), Status::Completed);
    auto calls = host.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.back(), "finished");
    EXPECT_EQ(calls[calls.size() - 2].rfind("frame 100 100.00% ", 0), 0u)
        << calls[calls.size() - 2];
    EXPECT_EQ(calls.front().find(':'), std::string::npos) << calls.front();
    // 500 ms a report, at most 100 reports.
    for (const auto& c : calls) EXPECT_EQ(c.find(" 20:"), std::string::npos) << c;
}

}  // namespace
}  // namespace rw
