#include "run/conversion_worker.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include "avi/avi_header.h"
#include "decode/frame_decoder.h"
#include "decode/frame_stream.h"
#include "decode/hc_frame_stream.h"
#include "decode/open_video.h"
#include "run/avi_format_of.h"
#include "run/output_names.h"

namespace rw {
namespace {

constexpr size_t kWriteBuffer = size_t{1} << 20;

// True when writing `output` would replace `input`: the same name, or another name of the same
// file.
bool SameFile(const std::string& input, const std::string& output) {
    if (input == output) return true;
    std::error_code ec;
    return std::filesystem::equivalent(input, output, ec) && !ec;
}

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

// Progress and pictures for the host, and the cancel flags, between frames.
class ConversionWorker::Observer final : public ConversionObserver {
  public:
    Observer(ConversionWorker& worker, int32_t frames)
        : m_worker(worker),
          m_frames(frames),
          m_progress(*worker.m_clock),
          m_wantsPictures(worker.m_host->WantsPictures()) {}

    void OnFrameStart(int32_t frame) override {
        m_worker.m_host->ProgressChanged(m_progress.UpdateProgress(frame, m_frames));
    }
    bool CancelRequested() override {
        const std::atomic<bool>* outer = m_worker.m_request.cancelWhen;
        return m_worker.m_cancel.load() || (outer != nullptr && outer->load());
    }
    // A few pictures a second: the first frame's, then one whenever a fifth of a second has
    // passed on the run's clock.
    void OnFramePicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) override {
        if (!m_wantsPictures) return;
        const int64_t now = m_worker.m_clock->NowMilliseconds();
        int64_t due = m_nextPicture.load();
        if ((m_shown.load() && now < due) ||
            !m_nextPicture.compare_exchange_strong(due, now + 200)) {
            return;
        }
        m_shown.store(true);
        m_worker.m_host->FramePicture(frame, bgrBottomUp);
    }

  private:
    ConversionWorker& m_worker;
    int32_t m_frames;
    ProgressEstimator m_progress;
    bool m_wantsPictures;
    std::atomic<bool> m_shown{false};
    std::atomic<int64_t> m_nextPicture{0};
};

ConversionWorker::ConversionWorker(ProgressClock* clock) {
    if (clock == nullptr) {
        m_ownClock = std::make_unique<SystemProgressClock>();
        clock = m_ownClock.get();
    }
    m_clock = clock;
}

ConversionWorker::~ConversionWorker() {
    RequestCancel();
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            m_thread.detach();  // released from its own thread: Run is past its last use of us
        } else {
            m_thread.join();
        }
    }
    CloseAndDiscard();
}

void ConversionWorker::Start(ConversionRequest request, ConversionHost& host) {
    if (m_started) return;
    m_started = true;
    m_request = std::move(request);
    m_host = &host;
    // The thread waits until m_thread has been assigned: a host that releases the worker from
    // ConversionFinished reads it on the worker's own thread. After Run returns, the thread
    // touches only what it shares.
    std::unique_lock gate(*m_gate);
    m_thread = std::thread([this, finished = m_finished, g = m_gate] {
        { std::lock_guard wait(*g); }
        Run();
        finished->store(true);
    });
    gate.unlock();
}

void ConversionWorker::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void ConversionWorker::CloseAndDiscard() {
    m_output.Discard();
    m_input.reset();
}

RunPlan ConversionWorker::PlanFor(unsigned processors, int32_t frames) {
    // A long video is converted in two parts side by side when there is a processor for each;
    // each part writes its own frames. Anything else is converted by the run's own thread.
    return RunPlan{.twoParts = processors >= 2 && frames >= kMinFramesForTwoParts};
}

unsigned ConversionWorker::DefaultProcessors() {
    return std::max(1u, std::thread::hardware_concurrency());
}

ConversionOutcome ConversionWorker::Failed(const std::string& message) {
    CloseAndDiscard();
    m_outcome = Fail(message);
    m_host->ConversionFailed(message);
    return m_outcome;
}

ConversionOutcome ConversionWorker::Run() {
    const VqaSource& source = m_request.source;
    const std::string cannot = "Cannot convert \"" + source.name + "\": ";
    m_outputPath = m_request.outputPath;
    if (m_outputPath.empty()) {
        m_outputPath = m_request.output
                           ? PathWithLastThree(source.name, m_request.output->Extension())
                           : AviPathFor(source.name);
    }
    m_temporaryPath.clear();
    m_outcome = ConversionOutcome{};

    auto video = OpenVideo(source, CheckConvertible, "convert");
    if (!video) return Failed(video.error().message);
    m_input = std::move(video->file);
    video->file = nullptr;
    if (SameFile(source.file, m_outputPath)) {
        return Failed(cannot + "the output \"" + m_outputPath +
                      "\" is the input file itself and would overwrite it");
    }
    if (std::error_code ec; std::filesystem::is_directory(m_outputPath, ec)) {
        return Failed(cannot + "the output \"" + m_outputPath + "\" is a folder");
    }
    const unsigned processors =
        m_request.processors > 0 ? m_request.processors : DefaultProcessors();
    const RunPlan plan =
        m_request.plan ? *m_request.plan : PlanFor(processors, video->props.frames);
    // A file of this run's own, so nothing else is written through or removed.
    if (auto r = m_output.Create(m_outputPath, kWriteBuffer); !r) {
        return Failed(cannot + r.error().message);
    }
    m_temporaryPath = m_output.TemporaryPath();
    if (m_request.output) return Completed(ConvertToOther(*video, processors));
    return Completed(Convert(*video, plan));
}

ConversionOutcome ConversionWorker::ConvertToOther(OpenedVideo& video, unsigned processors) {
    const StreamFormat format = StreamFormatOf(video);
    Observer observer(*this, format.frames);
    try {
        auto target =
            m_request.output->Open(m_output.File().Descriptor(), m_outputPath, format, processors);
        if (!target) return Fail(target.error().message);
        video.file = std::move(m_input);  // either kind's frames, through the one decoding layer
        ConversionOutcome outcome = RunVideoFrames(video, **target, observer);
        m_input = std::move(video.file);
        if (!outcome.Completed()) return outcome;
        if (auto r = (*target)->Finish(); !r) return Fail(r.error().message);
        if (video.kind == PictureKind::HighColour)
            outcome.notice = HighColourNotice(video.highColour);
        return outcome;
    } catch (const std::bad_alloc&) {
        return OutOfMemory(format.width, format.height);
    }
}

ConversionOutcome ConversionWorker::Convert(OpenedVideo& video, const RunPlan& plan) {
    if (video.kind == PictureKind::HighColour) {
        Observer observer(*this, video.highColour.props.frames);
        SameFiles files(video.source, m_output.File());
        return ConvertHighColour(*m_input, m_output.File(), video.highColour, observer, files);
    }
    // The AVI's length is known before the first byte: the file system can set it aside at once.
    m_output.File().Preallocate(ComputeAviLayout(AviFormatOf(video.props)).fileLength);
    Observer observer(*this, video.props.frames);
    if (plan.twoParts) {
        SameFiles files(video.source, m_output.File());
        return ConvertFramesInTwoParts(*m_input, m_output.File(), video.props, video.frameIndex,
                                       observer, files);
    }
    return ConvertFrames(*m_input, m_output.File(), video.props, video.frameIndex, observer);
}

ConversionOutcome ConversionWorker::Completed(ConversionOutcome outcome) {
    const std::string& name = m_request.source.name;
    const std::string cannot = "Cannot convert \"" + name + "\": ";
    m_outcome = std::move(outcome);
    switch (m_outcome.status) {
        case ConversionOutcome::Status::Completed:
            break;
        case ConversionOutcome::Status::SeekFailed:
            // The output stays open without an index until the caller discards it.
            m_input.reset();
            m_host->SeekFailed(m_outcome.failedFrame, m_outcome.failedPosition);
            return m_outcome;
        case ConversionOutcome::Status::Cancelled:
            return m_outcome;
        case ConversionOutcome::Status::Failed:
            return Failed(cannot + m_outcome.message);
    }
    if (auto r = m_output.Commit(); !r) return Failed(cannot + r.error().message);
    m_input.reset();
    std::string told = m_outcome.message;
    if (!m_outcome.notice.empty()) told += (told.empty() ? "" : "; ") + m_outcome.notice;
    if (m_outcome.damagedFrames > 0 || m_outcome.leadingSoundMissing || !m_outcome.notice.empty()) {
        m_host->ConcealedDamage(m_outcome.damagedFrames, "\"" + name + "\": " + told);
    }
    const ConversionOutcome result = m_outcome;
    m_host->ConversionFinished();  // the last use of this object
    return result;
}

}  // namespace rw
