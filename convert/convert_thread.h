// The conversion worker: a thread object that converts the dialog's loaded file into the AVI file
// beside it. It starts only when told to, after m_pDlg has been set.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "convert/conversion_host.h"
#include "convert/convert_frames.h"
#include "convert/progress.h"
#include "platform/file.h"

namespace rw {

class CExampleThread {
public:
    CExampleThread() = default;
    virtual ~CExampleThread();
    CExampleThread(const CExampleThread&) = delete;
    CExampleThread& operator=(const CExampleThread&) = delete;

    // Starts the thread, which runs InitInstance and, when that returns true, Run. The object is
    // created "suspended": nothing runs before this call, and m_pDlg must be set by then.
    void ResumeThread();
    // Waits for the thread to end (no effect when it never started or was joined already).
    void Join();
    bool Started() const { return m_started; }
    bool Finished() const { return m_finished.load(); }
    int ExitCode() const { return m_exitCode.load(); }

    ConversionHost* m_pDlg = nullptr;  // the dialog that started the worker; not owned

protected:
    virtual bool InitInstance() = 0;
    virtual int Run() = 0;

private:
    std::thread m_thread;
    bool m_started = false;
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_exitCode{0};
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
    // Closes both files and removes the unfinished output (never an existing, complete AVI file).
    // Only after the thread has ended.
    void CloseAndDiscard();

    // The output being written until it is complete, and its final name.
    const std::string& TemporaryPath() const { return m_temporaryPath; }
    const std::string& AviPath() const { return m_aviPath; }

    DiskInputFile m_fileVqa;
    DiskOutputFile m_fileAvi;

protected:
    bool InitInstance() override { return true; }
    int Run() override;

private:
    void OnFrameStart(int32_t frame) override;
    bool CancelRequested() override { return m_cancel.load(); }

    std::unique_ptr<ProgressClock> m_ownClock;
    ProgressClock* m_clock;
    std::unique_ptr<ProgressEstimator> m_progress;
    std::atomic<bool> m_cancel{false};
    std::string m_aviPath;
    std::string m_temporaryPath;
    int32_t m_frames = 0;
};

}  // namespace rw
