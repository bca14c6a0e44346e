#include "cli/export_mode.h"

#include <charconv>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_sources.h"
#include "decode/archive_videos.h"
#include "export/frame_export.h"
#include "run/progress.h"

namespace rw::cli {
namespace {

const std::string kPrefix = std::string(kProgram) + ": ";
// Progress on a terminal as for a conversion, drawn by the command line's console; Ctrl+C
// cancels.
class ExportProgress final : public ConversionObserver {
  public:
    // `shown`: draw the progress line.
    ExportProgress(int32_t frames, Console& console, bool shown)
        : m_frames(frames), m_console(console), m_shown(shown), m_estimator(m_clock) {}

    void OnFrameStart(int32_t frame) override {
        if (!m_shown) return;
        m_console.Progress(0, ProgressLine("", m_estimator.UpdateProgress(frame, m_frames)), false);
    }
    bool CancelRequested() override { return Interrupted(); }
    void Clear() { m_console.Clear(); }

  private:
    int32_t m_frames;
    Console& m_console;
    bool m_shown;
    SystemProgressClock m_clock;
    ProgressEstimator m_estimator;
};

// The mode's failure said on stderr; exit status 1.
int Fail(Console& console, const std::string& message) {
    console.Err(kPrefix + message);
    return 1;
}

int ExportFramesMode(const ExportOptions& options, const VqaSource& source, Console& console) {
    const std::string& input = source.name;
    auto video = OpenVideo(source);
    if (!video) return Fail(console, video.error().message);
    if (auto why = CheckExportFolder(options.framesFolder, options.force)) {
        return Fail(console, "Cannot export \"" + input + "\": " + *why +
                                 " (--force writes into it); nothing was written");
    }
    const int32_t frames = video->props.frames;
    ExportProgress progress(frames, console, true);
    const ConversionOutcome outcome =
        ExportFrames(*video, options.framesFolder, options.force, progress);
    progress.Clear();
    switch (outcome.status) {
        case ConversionOutcome::Status::Completed:
            if (!outcome.message.empty()) {
                Fail(console, "warning: \"" + input + "\": " + outcome.message);
            }
            console.Out("Exported " + std::to_string(frames) + " frames of \"" + input +
                        "\" to \"" + options.framesFolder + "\"");
            return 0;
        case ConversionOutcome::Status::Cancelled:
            Fail(console, "\"" + input + "\": interrupted; nothing was written");
            return InterruptedExitStatus();
        case ConversionOutcome::Status::SeekFailed:
            return Fail(console, "Cannot export \"" + input + "\": the seek to frame " +
                                     std::to_string(outcome.failedFrame) + " (position " +
                                     std::to_string(outcome.failedPosition) +
                                     ") failed; nothing was written");
        case ConversionOutcome::Status::Failed:
            break;
    }
    return Fail(console, outcome.message + "; nothing was written");
}

int ThumbnailMode(const ExportOptions& options, const VqaSource& source, Console& console) {
    if (auto why = CheckNewOutput(options.thumbnail, options.force)) {
        return Fail(console, "Cannot write the thumbnail of \"" + source.name + "\": " + *why);
    }
    ExportProgress progress(0, console, false);
    auto frame = RepresentativeFrame(source, progress);
    progress.Clear();
    if (!frame) {
        const bool stopped = Interrupted();
        Fail(console, frame.error().message);
        return stopped ? InterruptedExitStatus() : 1;
    }
    const RgbImage small = ScaleToFit(*frame, options.size);
    if (auto r = WritePngFile(options.thumbnail, small, PngEffort::Small); !r) {
        return Fail(console, r.error().message);
    }
    return 0;
}

// The entry chosen by --entry: its number in the table, or a name matched by its id.
Expected<VqaSource> ChooseEntry(const std::string& archive, const std::string& entry,
                                const MixNames* names) {
    uint32_t number = 0;
    const char* end = entry.data() + entry.size();
    const bool byNumber = std::from_chars(entry.data(), end, number).ptr == end;
    const std::optional<uint32_t> id = MixNameId(entry);
    if (!byNumber && !id) {
        return Error{"--entry wants an entry's number or name, not \"" + entry + "\""};
    }
    auto contents = ListArchiveVideos(archive, names);
    if (!contents) return contents.error();
    for (const ArchiveVideo& v : contents->videos) {
        if (byNumber ? v.entry.number == number : v.entry.id == *id) {
            if (byNumber || !v.name.empty()) return v.source;
            VqaSource named = v.source;
            named.name = ArchiveEntryName(archive, v.entry, entry);
            return named;
        }
    }
    return Error{"\"" + archive + "\" holds no VQA video " +
                 (byNumber ? "at entry " + entry : "named " + entry)};
}

// The video to export: the file itself, or the archive's entry chosen by --entry.
Expected<VqaSource> ExportSource(const ExportOptions& options, const std::string& input,
                                 const MixNames* names) {
    if (!HasMixExtension(input)) {
        if (!options.entry.empty()) return Error{"--entry goes with a MIX archive"};
        return LooseSource(input);
    }
    if (options.entry.empty()) {
        return Error{"\"" + input + "\" is an archive: --entry NAME or NUMBER chooses its video"};
    }
    return ChooseEntry(input, options.entry, names);
}

}  // namespace

int RunExport(const ExportOptions& options, const std::string& input, Console& console,
              const MixNames* names) {
    auto source = ExportSource(options, input, names);
    if (!source) return Fail(console, source.error().message);
    if (!options.framesFolder.empty()) return ExportFramesMode(options, *source, console);
    return ThumbnailMode(options, *source, console);
}

}  // namespace rw::cli
