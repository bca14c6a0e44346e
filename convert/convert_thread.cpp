#include "convert/convert_thread.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "avi/avi_header.h"
#include "convert/avi_format_of.h"
#include "convert/output_names.h"
#include "vqa/vqa_header.h"

namespace rw {
namespace {

// True when writing `output` would replace `input`: the same name, or another name of the same
// file.
bool SameFile(const std::string& input, const std::string& output) {
    if (input == output) return true;
    std::error_code ec;
    return std::filesystem::equivalent(input, output, ec) && !ec;
}

}  // namespace

// ---- CExampleThread ----

CExampleThread::~CExampleThread() {
    StopThread();
}

void CExampleThread::ResumeThread() {
    if (m_started) return;
    m_started = true;
    // After Run returns, the thread reports through the shared status only: the object itself
    // may already be gone (a host may release it from ConversionFinished).
    // The thread waits until m_thread has been assigned: a host that releases the worker from
    // ConversionFinished reads it on the worker's own thread.
    std::unique_lock gate(m_status->mutex);
    m_thread = std::thread([this, status = m_status] {
        { std::lock_guard wait(status->mutex); }
        const int code = InitInstance() ? Run() : 0;
        status->exitCode.store(code);
        status->finished.store(true);
    });
    gate.unlock();
}

void CExampleThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CExampleThread::StopThread() {
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();  // released from its own thread: Run is past its last use of us
    } else {
        m_thread.join();
    }
}

// ---- CConvertThread ----

CConvertThread::CConvertThread(ProgressClock* clock) {
    if (clock == nullptr) {
        m_ownClock = std::make_unique<SystemProgressClock>();
        clock = m_ownClock.get();
    }
    m_clock = clock;
}

CConvertThread::~CConvertThread() {
    RequestCancel();
    StopThread();
    CloseAndDiscard();
}

void CConvertThread::CloseAndDiscard() {
    m_fileAvi.Abandon();
    m_fileVqa.Close();
    if (m_ownsTemporary) {
        std::error_code ec;
        std::filesystem::remove(m_temporaryPath, ec);
        m_ownsTemporary = false;
    }
}

int CConvertThread::Fail(const std::string& message) {
    CloseAndDiscard();
    m_outcome.status = ConversionOutcome::Status::Failed;
    m_outcome.message = message;
    m_host->ConversionFailed(message);
    return kFailed;
}

void CConvertThread::OnFrameStart(int32_t frame) {
    m_host->ProgressChanged(m_progress->UpdateProgress(frame, m_frames));
}

// A few pictures a second: the first frame's, then one whenever a fifth of a second has passed.
void CConvertThread::OnFramePicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) {
    if (!m_wantsPictures) return;
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    int64_t due = m_nextPicture.load();
    if (now < due || !m_nextPicture.compare_exchange_strong(due, now + 200)) return;
    m_host->FramePicture(frame, bgrBottomUp);
}

namespace {

constexpr size_t kWriteBuffer = size_t{1} << 20;

// More readers of the input and writers of the temporary output, for a run in two parts. The
// output is the file the run has open, whatever its name is by now.
class SameFiles final : public ConversionFiles {
  public:
    SameFiles(VqaSource input, const DiskOutputFile& output)
        : m_input(std::move(input)), m_output(output) {}

    Expected<std::unique_ptr<InputFile>> OpenInputAgain() override {
        auto file = std::make_unique<DiskInputFile>();
        if (auto r = OpenSource(*file, m_input); !r) return r.error();
        return std::unique_ptr<InputFile>(std::move(file));
    }
    Expected<std::unique_ptr<OutputFile>> OpenOutputAt(int64_t position) override {
        auto file = std::make_unique<DiskOutputFile>();
        if (auto r = file->OpenSameFileAt(m_output, position, kWriteBuffer); !r) {
            return r.error();
        }
        return std::unique_ptr<OutputFile>(std::move(file));
    }

  private:
    VqaSource m_input;
    const DiskOutputFile& m_output;
};

}  // namespace

RunPlan CConvertThread::PlanFor(unsigned processors, int32_t frames) {
    // A long video is converted in two parts side by side when there is a processor for each;
    // each part writes its own frames. Anything else is converted by the run's own thread.
    return RunPlan{.twoParts = processors >= 2 && frames >= kMinFramesForTwoParts};
}

unsigned CConvertThread::DefaultProcessors() {
    return std::max(1u, std::thread::hardware_concurrency());
}

int CConvertThread::Run() {
    m_host = m_pDlg;
    if (m_host == nullptr) return kFailed;  // started without a dialog: nobody to report to
    const std::string path = m_host->Path();
    const VqaProperties props = m_host->Properties();
    const std::string cannot = "Cannot convert \"" + path + "\": ";
    m_frames = props.frames;
    m_progress = std::make_unique<ProgressEstimator>(*m_clock);  // timing starts at zero
    const VqaSource source = m_source ? *m_source : LooseSource(path);
    m_aviPath = m_chosenAviPath.empty() ? AviPathFor(path) : m_chosenAviPath;
    m_temporaryPath.clear();
    m_outcome = ConversionOutcome{};
    m_wantsPictures = m_host->WantsPictures();
    m_nextPicture.store(0);

    if (auto r = OpenSource(m_fileVqa, source); !r) return Fail(r.error().message);
    auto index = ReadFrameIndex(m_fileVqa, props.frames);
    if (!index) return Fail(cannot + index.error().message);
    if (std::string why = CheckConvertible(props); !why.empty()) return Fail(cannot + why);
    if (SameFile(source.file, m_aviPath)) {
        return Fail(cannot + "the output \"" + m_aviPath +
                    "\" is the input file itself and would overwrite it");
    }
    if (std::error_code ec; std::filesystem::is_directory(m_aviPath, ec)) {
        return Fail(cannot + "the output \"" + m_aviPath + "\" is a folder");
    }
    const RunPlan plan = m_plan ? *m_plan : PlanFor(m_processors, props.frames);
    // A file of this run's own, so nothing else is written through or removed.
    if (auto r = m_fileAvi.CreateUniqueBeside(m_aviPath, kWriteBuffer); !r) {
        return Fail(cannot + r.error().message);
    }
    m_temporaryPath = m_fileAvi.Name();
    m_ownsTemporary = true;
    // The AVI's length is known before the first byte: the file system can set it aside at once.
    m_fileAvi.Preallocate(ComputeAviLayout(AviFormatOf(props)).fileLength);

    if (plan.twoParts) {
        SameFiles files(source, m_fileAvi);
        m_outcome = ConvertFramesInTwoParts(m_fileVqa, m_fileAvi, props, *index, *this, files);
    } else {
        m_outcome = ConvertFrames(m_fileVqa, m_fileAvi, props, *index, *this);
    }
    switch (m_outcome.status) {
        case ConversionOutcome::Status::Completed:
            break;
        case ConversionOutcome::Status::SeekFailed:
            // The output stays open without an index until the caller discards it.
            m_fileVqa.Close();
            m_host->SeekFailed(m_outcome.failedFrame, m_outcome.failedPosition);
            return kSeekFailed;
        case ConversionOutcome::Status::Cancelled:
            return kCancelled;
        case ConversionOutcome::Status::Failed:
            return Fail(cannot + m_outcome.message);
    }

    if (auto r = m_fileAvi.Close(); !r) return Fail(cannot + r.error().message);
    std::error_code ec;
    std::filesystem::rename(m_temporaryPath, m_aviPath, ec);
    if (ec) {
        return Fail(cannot + "cannot rename \"" + m_temporaryPath + "\" to \"" + m_aviPath +
                    "\": " + ec.message());
    }
    m_ownsTemporary = false;
    m_fileVqa.Close();
    if (m_outcome.damagedFrames > 0 || m_outcome.leadingSoundMissing) {
        m_host->ConcealedDamage(m_outcome.damagedFrames, "\"" + path + "\": " + m_outcome.message);
    }
    m_host->ConversionFinished();  // the last use of this object
    return kCompleted;
}

}  // namespace rw
