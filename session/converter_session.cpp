#include "session/converter_session.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "decode/archive_videos.h"
#include "mix/mix_archive.h"
#include "run/conversion_worker.h"
#include "run/convert_frames.h"
#include "run/inspect.h"
#include "run/output_names.h"

namespace rw {

std::string NotVqaMessage(const std::string& path) {
    return "The file \"" + path + "\" is no VQA-Videofile!\nTerminating Program!.";
}

std::string FramesBeyondEndNote(int32_t framesBeyondEnd, int32_t frames) {
    if (framesBeyondEnd <= 0) return {};
    if (framesBeyondEnd >= frames) return "No frame lies inside the file: it is cut short.";
    return std::to_string(framesBeyondEnd) + " of the " + std::to_string(frames) + " frames " +
           (framesBeyondEnd == 1 ? "lies" : "lie") + " beyond the end of the file.";
}

std::string VideoNote(const VqaInspection& inspection) {
    // The warning first: the note's room is small.
    std::string note =
        FramesBeyondEndNote(inspection.framesBeyondEnd, inspection.properties.frames);
    if (inspection.kind == PictureKind::HighColour) {
        const PropertyTexts t = FormatProperties(inspection);
        if (!note.empty()) note += "\n";
        note += t.colourDepth + "\n" + t.frameRate + "\nSound: " + t.sound;
    }
    return note;
}

namespace {

std::string NotConvertibleMessage(const std::string& name, const std::string& reason) {
    return "The file \"" + name + "\" cannot be converted:\n" + reason;
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

ConverterSession::ConverterSession(SessionView& view, PostCall post, ProgressClock* clock,
                                   std::string companion)
    : m_view(view),
      m_host(*this, view, std::move(post)),
      m_clock(clock),
      m_companion(std::move(companion)) {}

ConverterSession::~ConverterSession() {
    Abandon();
}

std::string ConverterSession::Path() const {
    std::lock_guard lock(m_stateMutex);
    return m_path;
}

VqaProperties ConverterSession::Properties() const {
    std::lock_guard lock(m_stateMutex);
    return m_properties;
}

std::string ConverterSession::AviPath() const {
    return m_archiveVideo ? m_archiveAviPath : AviPathFor(Path());
}

std::string ConverterSession::OutputPath() const {
    return m_output ? PathWithLastThree(AviPath(), m_output->Extension()) : AviPath();
}

void ConverterSession::Keep(const std::string& path, const VqaProperties& properties) {
    std::lock_guard lock(m_stateMutex);
    m_path = path;
    m_properties = properties;
}

void ConverterSession::End(bool accepted) {
    m_closed = true;
    m_view.EndDialog(accepted);
}

// ---- Loading ----------------------------------------------------------------------------------

// Each action of the window holds the worker's boxes and the run's end until it is over, so that
// they never open on top of its own boxes and dialogs.
void ConverterSession::LoadFile() {
    const SessionHost::Hold hold(m_host);
    // The completion step runs its own load; the button is refused until it is over.
    if (Busy()) {
        m_view.ShowMessage(kRefuseLoad, false);
        return;
    }
    LoadChosen(m_view.ChooseFile());
}

void ConverterSession::OpenFile(const std::string& path) {
    const SessionHost::Hold hold(m_host);
    if (Busy()) {
        m_view.ShowMessage(kRefuseLoad, false);
        return;
    }
    LoadChosen(path);
}

void ConverterSession::LoadChosen(const std::string& chosen) {
    if (!chosen.empty() && HasMixExtension(chosen)) {
        LoadArchiveVideo(chosen);
    } else if (!chosen.empty()) {
        LoadLooseFile(chosen);
        if (m_closed) return;
    }
    m_view.FocusConvert();
}

void ConverterSession::LoadLooseFile(const std::string& path) {
    // Everything is read before anything is shown, so that a file that cannot be used leaves the
    // loaded file and its fields as they were.
    const VqaInspection file = InspectVqaFile(std::filesystem::path(path));
    switch (file.status) {
        case VqaInspection::Status::NotVqa:
            // The name stands in its field while the stop box is open; then the program ends.
            m_view.ShowFileName(path);
            m_view.ShowMessage(NotVqaMessage(path), true);
            End(false);
            return;
        case VqaInspection::Status::CannotRead:
            m_view.ShowMessage(
                file.reason.empty() ? "The file \"" + path + "\" cannot be read." : file.reason,
                true);
            return;
        case VqaInspection::Status::NotConvertible:
            m_view.ShowMessage(NotConvertibleMessage(path, file.reason), true);
            return;
        case VqaInspection::Status::Ok:
            break;
    }
    Keep(path, file.properties);
    m_archiveVideo.reset();
    Show(path, file, file.fileSize);
    m_view.ShowVideo(LooseSource(path));
}

void ConverterSession::LoadArchiveVideo(const std::string& archive) {
    auto contents = ListArchiveVideos(archive);
    if (!contents) {
        m_view.ShowMessage(contents.error().message, true);
        return;
    }
    if (contents->videos.empty()) {
        m_view.ShowMessage("The archive \"" + archive + "\" holds no VQA videos.", true);
        return;
    }
    const std::optional<size_t> picked = m_view.ChooseArchiveVideo(*contents);
    if (!picked || *picked >= contents->videos.size()) return;
    const ArchiveVideo& video = contents->videos[*picked];
    // Judged by the limits of its kind, as a loose file is.
    const VqaInspection inspection = InspectVqaFile(video.source);
    if (inspection.status == VqaInspection::Status::NotConvertible) {
        m_view.ShowMessage(NotConvertibleMessage(video.source.name, inspection.reason), true);
        return;
    }
    Keep(video.source.name, video.properties);
    m_archiveVideo = video.source;
    m_archiveAviPath = ArchiveOutputFileName(video);  // its file name
    Show(video.source.name, inspection, video.entry.length);
    m_view.ShowVideo(video.source);
}

void ConverterSession::Show(const std::string& name, const VqaInspection& inspection,
                            int64_t size) {
    m_view.ShowFileName(name);
    m_view.ShowProperties(FormatProperties(inspection), FormatFileSize(size));
    m_view.ShowNote(VideoNote(inspection), inspection.framesBeyondEnd > 0);
}

// Where the loaded archive video's AVI file goes: beside the archive, or in a folder the user
// chooses once per session when the archive's folder cannot be written. False when the user
// cancelled.
bool ConverterSession::ChooseArchiveOutput() {
    const std::filesystem::path archive(m_archiveVideo->file);
    const std::string name = std::filesystem::path(m_archiveAviPath).filename().string();
    std::string folder = archive.parent_path().string();
    if (folder.empty()) folder = ".";
    if (!m_view.CanWriteIn(folder)) {
        if (m_sessionOutputFolder.empty()) {
            m_sessionOutputFolder =
                m_view.ChooseFolder("The folder of \"" + archive.filename().string() +
                                    "\" cannot be written: choose a folder for the AVI files");
        }
        if (m_sessionOutputFolder.empty()) return false;
        folder = m_sessionOutputFolder;
    }
    m_archiveAviPath = (std::filesystem::path(folder) / name).string();
    return true;
}

// ---- Converting -------------------------------------------------------------------------------

void ConverterSession::Convert() {
    const SessionHost::Hold hold(m_host);
    if (Path().empty()) {
        m_view.ShowMessage(kRefuseConvertNoFile, false);
        return;
    }
    if (Busy()) {
        m_view.ShowMessage(kRefuseConvertRunning, false);
        return;
    }
    if (m_archiveVideo && !ChooseArchiveOutput()) return;
    StartWorker();
}

void ConverterSession::StartWorker() {
    m_view.SetConverting(true);
    m_worker = std::make_unique<ConversionWorker>(m_clock);
    ConversionRequest request;
    request.source = m_archiveVideo ? *m_archiveVideo : LooseSource(Path());
    request.outputPath = OutputPath();
    request.output = m_output;
    try {
        m_worker->Start(std::move(request), m_host);
    } catch (const std::exception& e) {
        m_worker.reset();
        m_view.SetConverting(false);
        m_view.ShowMessage("The conversion of \"" + Path() + "\" could not be started: " + e.what(),
                           true);
    }
}

void ConverterSession::Exit() {
    const SessionHost::Hold hold(m_host);
    if (m_closed) return;
    if (!m_worker) {
        End(false);
        return;
    }
    if (!m_view.AskYesNo(kAskTerminate)) return;
    // The run may have ended while the question was open.
    Abandon();
    End(false);
}

void ConverterSession::Abandon() {
    if (!m_worker) return;
    m_worker->RequestCancel();
    m_worker->Join();
    m_worker->CloseAndDiscard();
    m_worker.reset();
}

void ConverterSession::ReleaseWorker() {
    if (!m_worker) return;
    m_worker->Join();
    m_worker.reset();
    m_view.SetConverting(false);
}

void ConverterSession::Failed(const std::string& message) {
    ReleaseWorker();
    m_view.ShowMessage(message, true);
}

void ConverterSession::Finished() {
    m_completing = true;
    ReleaseWorker();
    RunCompletion();
    m_completing = false;
}

// After a complete run: the MPEG companion when it is there, then "another one?", which loads the
// next video or ends the program.
void ConverterSession::RunCompletion() {
    const std::string avi = OutputPath();
    std::error_code ec;
    const std::filesystem::path shown = std::filesystem::absolute(avi, ec);
    m_view.ShowOutputPath(ec ? avi : shown.lexically_normal().string());
    // The companion makes its MPEG file from an AVI file: asked only after one.
    if (!m_output && IsFile(m_companion) && m_view.AskYesNo(kAskMpeg)) {
        // An argument list, not a command line: paths with spaces or quotes arrive as they are.
        m_view.RunCompanion({m_companion, "Reelwright", avi, MpegPathFor(avi)});
    }
    if (m_closed) return;
    if (!m_view.AskYesNo(kAskAnother)) {
        End(true);
        return;
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_path.clear();
    }
    m_archiveVideo.reset();
    m_view.ClearProgress();
    LoadChosen(m_view.ChooseFile());
    if (m_closed) return;
    if (Path().empty()) End(false);
}

}  // namespace rw
