// The conversion worker: a thread that converts one video into its AVI file. A request goes in as
// one value (the video, the output, how many processors, what cancels it); the worker reports
// progress and the end of the run to its host, and one outcome comes out.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "decode/video_source.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "run/conversion_host.h"
#include "run/convert_frames.h"
#include "run/output_maker.h"
#include "run/progress.h"

namespace rw {

// How a run uses the processors it may keep busy: one plan, made from the budget and the video.
struct RunPlan {
    bool twoParts = false;  // a long video in two parts at once, each writing its own frames
};

struct ConversionRequest {
    VqaSource source;        // the video; its name names it in messages
    std::string outputPath;  // the output file; empty: beside the video (AviPathFor, or
                             // PathWithLastThree with the maker's extension)
    // Another kind of output than the AVI file (converted in one part); null: the AVI file. It
    // must outlive the run.
    const OutputMaker* output = nullptr;
    // How many processors the run may keep busy: with two or more, a long video is converted in
    // two parts at once. The command line gives less when it runs several conversions side by
    // side.
    unsigned processors = 0;      // 0: all of the machine's
    std::optional<RunPlan> plan;  // instead of the one made from the processors (tests, bench)
    const std::atomic<bool>* cancelWhen = nullptr;  // also stops the run once set (Ctrl-C)
};

struct OpenedVideo;

class ConversionWorker {
  public:
    // The clock defaults to the system clock; tests pass their own.
    explicit ConversionWorker(ProgressClock* clock = nullptr);
    ~ConversionWorker();
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;

    // Starts the run on a thread of its own; the host gets its reports until the run ends. The
    // host may let the worker go from ConversionFinished.
    void Start(ConversionRequest request, ConversionHost& host);
    // Waits for the thread to end (no effect when it never started, was joined already, or is
    // called from the thread itself).
    void Join();
    bool Started() const { return m_started; }
    bool Finished() const { return m_finished->load(); }

    // Asks the run to stop before its next frame (Exit). The caller then joins the thread and
    // calls CloseAndDiscard.
    void RequestCancel() { m_cancel.store(true); }
    // Closes both files and removes the unfinished output (never an existing, complete AVI file).
    // Only after the thread has ended.
    void CloseAndDiscard();

    static unsigned DefaultProcessors();
    // Videos shorter than this are converted in one part.
    static constexpr int32_t kMinFramesForTwoParts = 64;
    // Two processors or more: a long video in two parts; otherwise one part.
    static RunPlan PlanFor(unsigned processors, int32_t frames);

    // How the run ended (valid once the thread has finished).
    const ConversionOutcome& Outcome() const { return m_outcome; }
    // The output being written until it is complete (a new file of a name of its own beside the
    // AVI file, "name.avi.XXXXXX.part"), and its final name.
    const std::string& TemporaryPath() const { return m_temporaryPath; }
    const std::string& OutputPath() const { return m_outputPath; }

  private:
    ConversionOutcome Run();
    ConversionOutcome Failed(const std::string& message);
    ConversionOutcome Convert(OpenedVideo& video, const RunPlan& plan);
    ConversionOutcome ConvertToOther(OpenedVideo& video, unsigned processors);
    ConversionOutcome Completed(ConversionOutcome outcome);

    class Observer;
    ConversionRequest m_request;
    ConversionHost* m_host = nullptr;
    std::unique_ptr<ProgressClock> m_ownClock;
    ProgressClock* m_clock;
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<DiskInputFile> m_input;
    AtomicOutput m_output;
    std::string m_outputPath;
    std::string m_temporaryPath;
    ConversionOutcome m_outcome;

    // Whether Run has returned. It is shared with the thread, so the thread never touches the
    // object once Run is over (the host may let it go then).
    std::shared_ptr<std::atomic<bool>> m_finished = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::mutex> m_gate = std::make_shared<std::mutex>();
    std::thread m_thread;
    bool m_started = false;
};

}  // namespace rw
