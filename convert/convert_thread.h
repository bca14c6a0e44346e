// The conversion worker: a thread object that converts the dialog's loaded file into the AVI file
// beside it. It starts only when told to, after m_pDlg has been set.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "convert/conversion_host.h"
#include "convert/convert_frames.h"
#include "convert/progress.h"
#include "convert/vqa_source.h"
#include "platform/file.h"

namespace rw {

// How a run uses the processors it may keep busy: one plan, made from the budget and the video.
struct RunPlan {
    bool twoParts = false;  // a long video in two parts at once, each writing its own frames
};

class CExampleThread {
  public:
    CExampleThread() = default;
    virtual ~CExampleThread();
    CExampleThread(const CExampleThread&) = delete;
    CExampleThread& operator=(const CExampleThread&) = delete;

    // Starts the thread, which runs InitInstance and, when that returns true, Run. The object is
    // created "suspended": nothing runs before this call, and m_pDlg must be set by then.
    void ResumeThread();
    // Waits for the thread to end (no effect when it never started, was joined already, or is
    // called from the thread itself).
    void Join();
    bool Started() const { return m_started; }
    bool Finished() const { return m_status->finished.load(); }
    int ExitCode() const { return m_status->exitCode.load(); }

    ConversionHost* m_pDlg = nullptr;  // the dialog that started the worker; not owned

  protected:
    virtual bool InitInstance() = 0;
    virtual int Run() = 0;

    // Derived destructors call this first, so Run never outlives the object it runs on.
    void StopThread();

  private:
    // What the thread reports after Run has returned. It is shared with the thread, so the
    // thread never touches the object once Run is over (the host may let it go then).
    struct ThreadStatus {
        std::atomic<bool> finished{false};
        std::atomic<int> exitCode{0};
        std::mutex mutex;  // holds the thread back until m_thread is assigned
    };
    std::shared_ptr<ThreadStatus> m_status = std::make_shared<ThreadStatus>();
    std::thread m_thread;
    bool m_started = false;
};

class CConvertThread final : public CExampleThread, private ConversionObserver {
  public:
    // Exit codes of Run.
    static constexpr int kCompleted = 0;
    static constexpr int kSeekFailed = -1;
    static constexpr int kCancelled = 1;
    static constexpr int kFailed = -2;

    // The clock defaults to the system clock; tests pass their own.
    explicit CConvertThread(ProgressClock* clock = nullptr);
    ~CConvertThread() override;

    // Asks the run to stop before its next frame (Exit). The caller then joins the thread and
    // calls CloseAndDiscard.
    void RequestCancel() { m_cancel.store(true); }
    // Also stops the run before its next frame once `flag` is set (before ResumeThread; the flag
    // outlives the run). The command line passes its interrupt flag, which a signal handler sets.
    void CancelWhen(const std::atomic<bool>& flag) { m_outerCancel = &flag; }
    // Closes both files and removes the unfinished output (never an existing, complete AVI file).
    // Only after the thread has ended.
    void CloseAndDiscard();

    // How many processors the run may keep busy (before ResumeThread): all of the machine's,
    // unless set lower (the command line does when it runs several conversions side by side).
    // With two or more, a long video is converted in two parts at once; otherwise the run's own
    // thread does everything.
    void SetProcessors(unsigned processors) { m_processors = processors; }
    static unsigned DefaultProcessors();
    // Runs with this plan instead of the one made from the processors (the benchmark of the
    // plans compares them; the tests force each path).
    void SetPlan(RunPlan plan) { m_plan = plan; }
    // Reads the video from `source` (a file, or an archive's entry in place) and writes `aviPath`
    // instead of the host's file and the AVI beside it (before ResumeThread). The host's Path()
    // then only names the video in messages.
    void SetSource(VqaSource source, std::string aviPath) {
        m_source = std::move(source);
        m_chosenAviPath = std::move(aviPath);
    }
    // Videos shorter than this are converted in one part.
    static constexpr int32_t kMinFramesForTwoParts = 64;
    // Two processors or more: a long video in two parts; otherwise one part.
    static RunPlan PlanFor(unsigned processors, int32_t frames);

    // How the last run ended (valid once the thread has finished).
    const ConversionOutcome& Outcome() const { return m_outcome; }

    // The output being written until it is complete (a new file of a name of its own beside the
    // AVI file, "name.avi.XXXXXX.part"), and its final name.
    const std::string& TemporaryPath() const { return m_temporaryPath; }
    const std::string& AviPath() const { return m_aviPath; }

    DiskInputFile m_fileVqa;
    DiskOutputFile m_fileAvi;

  protected:
    bool InitInstance() override { return true; }
    int Run() override;

  private:
    int Fail(const std::string& message);
    void OnFrameStart(int32_t frame) override;
    bool CancelRequested() override {
        return m_cancel.load() || (m_outerCancel != nullptr && m_outerCancel->load());
    }
    void OnFramePicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) override;

    std::unique_ptr<ProgressClock> m_ownClock;
    ProgressClock* m_clock;
    std::unique_ptr<ProgressEstimator> m_progress;
    std::atomic<bool> m_cancel{false};
    const std::atomic<bool>* m_outerCancel = nullptr;
    std::optional<VqaSource> m_source;
    std::string m_chosenAviPath;
    std::string m_aviPath;
    std::string m_temporaryPath;
    bool m_ownsTemporary = false;  // the temporary file exists and is this run's
    int32_t m_frames = 0;
    unsigned m_processors = DefaultProcessors();
    std::optional<RunPlan> m_plan;
    ConversionHost* m_host = nullptr;  // m_pDlg as read at the start of Run
    ConversionOutcome m_outcome;
    bool m_wantsPictures = false;
    std::atomic<int64_t> m_nextPicture{0};  // steady-clock milliseconds of the next picture
};

}  // namespace rw
