#include "cli/export_mode.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_sources.h"
#include "decode/archive_videos.h"
#include "export/frame_export.h"
#include "run/progress.h"

namespace rw::cli {
namespace {

constexpr const char* kPrefix = "reelwright-cli: ";
constexpr int kMaxThumbnailSize = 4096;

Expected<int> ParseSize(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 1 || value > kMaxThumbnailSize) {
        return Error{"--size wants a number of pixels from 1 to " +
                     std::to_string(kMaxThumbnailSize) + ", not \"" + text + "\""};
    }
    return value;
}

// Progress on a terminal as for a conversion, drawn by the command line's console; Ctrl+C
// cancels.
class ExportProgress final : public ConversionObserver {
  public:
    ExportProgress(int32_t frames, const std::atomic<bool>& interrupted, bool show)
        : m_frames(frames), m_interrupted(interrupted), m_console(show), m_estimator(m_clock) {}

    void OnFrameStart(int32_t frame) override {
        m_console.Progress(0, ProgressLine("", m_estimator.UpdateProgress(frame, m_frames)), false);
    }
    bool CancelRequested() override { return m_interrupted.load(); }
    void Clear() { m_console.Clear(); }

  private:
    int32_t m_frames;
    const std::atomic<bool>& m_interrupted;
    Console m_console;
    SystemProgressClock m_clock;
    ProgressEstimator m_estimator;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s%s\n", kPrefix, message.c_str());
    return 1;
}

int ExportFramesMode(const ExportOptions& options, const VqaSource& source,
                     const std::atomic<bool>& interrupted) {
    const std::string& input = source.name;
    auto video = OpenVideo(source);
    if (!video) return Fail(video.error().message);
    if (auto why = CheckExportFolder(options.framesFolder, options.force)) {
        return Fail("Cannot export \"" + input + "\": " + *why +
                    " (--force writes into it); nothing was written");
    }
    ExportProgress progress(video->props.frames, interrupted, isatty(STDERR_FILENO) == 1);
    const ConversionOutcome outcome =
        ExportFrames(source, options.framesFolder, options.force, progress);
    progress.Clear();
    switch (outcome.status) {
        case ConversionOutcome::Status::Completed:
            if (!outcome.message.empty()) Fail("warning: \"" + input + "\": " + outcome.message);
            std::printf("Exported %d frames of \"%s\" to \"%s\"\n", video->props.frames,
                        input.c_str(), options.framesFolder.c_str());
            return 0;
        case ConversionOutcome::Status::Cancelled:
            Fail("\"" + input + "\": interrupted; nothing was written");
            return InterruptedExitStatus();
        case ConversionOutcome::Status::SeekFailed:
            return Fail("Cannot export \"" + input + "\": the seek to frame " +
                        std::to_string(outcome.failedFrame) + " (position " +
                        std::to_string(outcome.failedPosition) + ") failed; nothing was written");
        case ConversionOutcome::Status::Failed:
            break;
    }
    return Fail(outcome.message + "; nothing was written");
}

int ThumbnailMode(const ExportOptions& options, const VqaSource& source,
                  const std::atomic<bool>& interrupted) {
    if (auto why = CheckNewOutput(options.thumbnail, options.force)) {
        return Fail("Cannot write the thumbnail of \"" + source.name + "\": " + *why);
    }
    ExportProgress progress(0, interrupted, false);
    auto frame = RepresentativeFrame(source, progress);
    if (!frame) {
        const bool stopped = interrupted.load();
        Fail(frame.error().message);
        return stopped ? InterruptedExitStatus() : 1;
    }
    const RgbImage small = ScaleToFit(*frame, options.size);
    if (auto r = WritePngFile(options.thumbnail, small, PngEffort::Small); !r) {
        return Fail(r.error().message);
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

std::optional<Expected<void>> ParseExportOption(std::span<const std::string> args, size_t& i,
                                                ExportOptions& options) {
    const std::string& a = args[i];
    auto value = [&](std::string& to) -> Expected<void> {
        if (i + 1 >= args.size() || args[i + 1].empty()) return Error{a + " wants a path"};
        to = args[++i];
        return {};
    };
    if (a == "--frames") return value(options.framesFolder);
    if (a == "--thumbnail") return value(options.thumbnail);
    if (a == "--entry") return value(options.entry);
    if (a == "--force") {
        options.force = true;
        return Expected<void>{};
    }
    if (a == "--size" || a.rfind("--size=", 0) == 0) {
        std::string text;
        if (a == "--size") {
            if (i + 1 >= args.size()) return Expected<void>{Error{"--size wants a number"}};
            text = args[++i];
        } else {
            text = a.substr(7);
        }
        auto size = ParseSize(text);
        if (!size) return Expected<void>{size.error()};
        options.size = *size;
        options.sizeGiven = true;
        return Expected<void>{};
    }
    return std::nullopt;
}

Expected<void> CheckExportOptions(const ExportOptions& options,
                                  const std::vector<std::string>& inputs, bool info) {
    if (!options.framesFolder.empty() && !options.thumbnail.empty()) {
        return Error{"--frames and --thumbnail cannot be used together"};
    }
    if (options.sizeGiven && options.thumbnail.empty())
        return Error{"--size goes with --thumbnail"};
    if (options.force && info) return Error{"--force does not go with --info"};
    if (!options.thumbnail.empty() && !HasExtension(options.thumbnail, ".png")) {
        return Error{"--thumbnail writes a PNG picture: give a name ending in .png, not \"" +
                     options.thumbnail + "\""};
    }
    if (!options.entry.empty() && !options.Any()) {
        return Error{"--entry goes with --frames or --thumbnail"};
    }
    if (!options.Any()) return {};
    if (info) return Error{"--info cannot be used with --frames or --thumbnail"};
    if (inputs.size() != 1) {
        return Error{std::string(options.thumbnail.empty() ? "--frames" : "--thumbnail") +
                     " wants exactly one VQA file"};
    }
    return {};
}

int RunExport(const ExportOptions& options, const std::string& input,
              const std::atomic<bool>& interrupted, const MixNames* names) {
    auto source = ExportSource(options, input, names);
    if (!source) return Fail(source.error().message);
    if (!options.framesFolder.empty()) return ExportFramesMode(options, *source, interrupted);
    return ThumbnailMode(options, *source, interrupted);
}

std::string ExportHelpText() {
    return "  --frames DIR   write every frame as DIR/frame-0000.png onwards (8-bit palette\n"
           "                 pictures, the AVI's pixels) and the sound as DIR/sound.wav (16-bit\n"
           "                 mono at the video's own rate); one FILE.vqa; DIR must be empty or\n"
           "                 missing unless --force is given\n"
           "  --force        replace existing outputs: the AVI files of a conversion, the\n"
           "                 --thumbnail picture, the --encode output; with --frames, write into\n"
           "                 a folder that holds files, replacing files of the same names.\n"
           "                 Without it an existing output is kept, reported, and the exit\n"
           "                 status is 1\n"
           "  --thumbnail OUT.png\n"
           "                 write one representative frame as a PNG picture; one FILE.vqa\n"
           "  --size N       with --thumbnail: scale the picture down to fit N x N pixels\n"
           "                 (default 256)\n"
           "  --entry E      with --frames or --thumbnail and an ARCHIVE.mix in place of\n"
           "                 FILE.vqa: the video inside it, by its entry number or its name\n";
}

}  // namespace rw::cli
