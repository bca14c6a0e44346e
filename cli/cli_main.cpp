// reelwright-cli: converts VQA videos into AVI files from a terminal, with the same conversion run
// as the desktop program.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_options.h"
#include "cli/cli_sources.h"
#include "cli/export_mode.h"
#include "cli/info_json.h"
#include "cli/pack_mode.h"
#include "compressed/compressed_target.h"
#include "mix/mix_names.h"
#include "run/conversion_host.h"
#include "run/conversion_worker.h"
#include "run/inspect.h"
#include "run/output_names.h"
#include "run/properties_text.h"

#ifndef RW_VERSION
#define RW_VERSION "unknown"
#endif

namespace rw::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "reelwright-cli";

// Where a conversion run's reports go: the progress line, and the problems kept for the end.
class CliHost final : public ConversionHost {
  public:
    CliHost(Console& console, size_t slot, std::string label)
        : m_console(console), m_slot(slot), m_label(std::move(label)) {}
    ~CliHost() override { m_console.ProgressDone(m_slot); }
    CliHost(const CliHost&) = delete;
    CliHost& operator=(const CliHost&) = delete;

    void ProgressChanged(const ProgressTexts& p) override {
        const std::string line = ProgressLine(m_label, p);
        // The last frame's line is always drawn.
        m_console.Progress(m_slot, line, p.frameNumber + 1 == p.frames);
    }
    void SeekFailed(uint32_t frame, uint32_t position) override {
        m_seekFailure = "the seek to frame " + std::to_string(uint64_t{frame} + 1) + " (position " +
                        std::to_string(position) + ") failed";
    }
    void ConcealedDamage(int32_t, const std::string& message) override { m_damage = message; }
    void ConversionFinished() override {}
    void ConversionFailed(const std::string& message) override { m_failure = message; }

    const std::string& SeekFailure() const { return m_seekFailure; }
    const std::string& Damage() const { return m_damage; }
    const std::string& Failure() const { return m_failure; }

  private:
    Console& m_console;
    size_t m_slot;
    std::string m_label;
    std::string m_seekFailure;
    std::string m_damage;
    std::string m_failure;
};

// Reads the header; on failure returns a message naming the file and the problem. A file whose
// values cannot be converted is read all the same: --info shows them, and its conversion says why.
Expected<VqaInspection> Inspect(const VqaSource& source) {
    const std::string& path = source.name;
    VqaInspection file = InspectVqaFile(source);
    switch (file.status) {
        case VqaInspection::Status::Ok:
        case VqaInspection::Status::NotConvertible:
            return file;
        case VqaInspection::Status::NotVqa:
            return Error{"\"" + path + "\" is not a VQA video"};
        case VqaInspection::Status::CannotRead:
            break;
    }
    return Error{file.reason.empty() ? "Cannot read \"" + path + "\"" : file.reason};
}

// `withNames`: a list of names was given, and archive entries show theirs.
bool PrintInfo(const ConversionJob& job, Console& console, bool& printedBefore, bool withNames,
               bool json) {
    auto file = Inspect(job.source);
    if (!file) {
        console.Err(std::string(kProgram) + ": " + file.error().message);
        std::error_code ec;
        const std::string full = std::filesystem::absolute(job.source.file, ec).string();
        if (json) console.Out(InfoErrorJson(full, file.error().message));
        return false;
    }
    if (json) {
        console.Out(InfoJson(InfoRecordFor(job, *file)));
        return true;
    }
    std::error_code ec;
    const PropertyTexts t = FormatProperties(*file);
    std::string full = std::filesystem::absolute(job.source.file, ec).string();
    if (job.inArchive) full = ArchiveEntryName(full, job.inArchive->entry, job.inArchive->name);
    std::string text;
    auto row = [&](const char* label, const std::string& value) {
        char line[64];
        std::snprintf(line, sizeof line, "%-21s", label);
        text += line + value + "\n";
    };
    row("Filename", full);
    if (job.inArchive) {
        if (withNames) row("Name", job.inArchive->name.empty() ? "\u2014" : job.inArchive->name);
        row("Entry", std::to_string(job.inArchive->entry.number));
        row("Id", MixIdText(job.inArchive->entry.id));
    }
    row("Number of Frames", t.frames);
    row("Width", t.width);
    row("Height", t.height);
    row("Blockwidth", t.blockWidth);
    row("Blockheight", t.blockHeight);
    row("Colour depth", t.colourDepth);
    row("Frame rate", t.frameRate);
    row("Sound", t.sound);
    row("Filesize", FormatFileSize(file->fileSize));
    row("Videolength (mm.ss)", t.videoLength);
    row("Outputfilesize", t.outputSize);
    if (file->framesBeyondEnd > 0) row("Frames beyond end", std::to_string(file->framesBeyondEnd));
    text.pop_back();
    console.Out((printedBefore ? "\n" : "") + text);
    printedBefore = true;
    return true;
}

// The properties of every job, a blank line between two; nothing on stdout for a failed one.
bool PrintAllInfo(const std::vector<ConversionJob>& jobs, Console& console, bool withNames,
                  bool json) {
    bool printed = false;
    bool ok = true;
    for (const ConversionJob& job : jobs) {
        ok = PrintInfo(job, console, printed, withNames, json) && ok;
    }
    return ok;
}

// Outputs two jobs would share, or that would replace an input; false when there are any.
bool ReportClashes(const std::vector<ConversionJob>& jobs, Console& console) {
    const std::vector<std::string> clashes = FindOutputClashes(jobs);
    for (const std::string& c : clashes) console.Err(std::string(kProgram) + ": " + c);
    if (!clashes.empty()) console.Err(std::string(kProgram) + ": nothing was converted");
    return clashes.empty();
}

// The list of names given with --names (none when `path` is empty), the names left out of it said
// as warnings. False when it cannot be read.
bool LoadNames(const std::string& path, Console& console, std::optional<MixNameList>& names) {
    if (path.empty()) return true;
    auto list = ReadMixNameList(path);
    if (!list) {
        console.Err(std::string(kProgram) + ": " + list.error().message);
        return false;
    }
    for (const std::string& p : list->problems) {
        console.Err(std::string(kProgram) + ": warning: " + p);
    }
    names = std::move(*list);
    return true;
}

enum class FileResult { Converted, Failed, Interrupted };

// What every conversion of one command line shares.
struct ConvertSettings {
    std::string outputDir;  // created when the first output is written; empty: none
    bool force = false;     // replace existing outputs
    unsigned processors = 1;
    const OutputMaker* maker = nullptr;  // --to: the compressed format's; none: AVI files
};

// The output folder made and the output checked before a conversion: a message when it cannot be
// written (it exists and --force is not given, its folder is missing).
std::optional<std::string> PrepareOutput(const ConversionJob& job, const ConvertSettings& s) {
    static std::mutex madeOnce;  // files converted side by side make the folder once
    {
        const std::lock_guard lock(madeOnce);
        if (auto r = PrepareOutputDir(s.outputDir); !r) return r.error().message;
    }
    if (auto why = CheckNewOutput(job.aviPath, s.force)) {
        return "Cannot convert \"" + job.source.name + "\": " + *why;
    }
    return std::nullopt;
}

FileResult ConvertOne(const ConversionJob& job, Console& console, size_t slot,
                      const std::string& label, const ConvertSettings& settings) {
    const std::string prefix = std::string(kProgram) + ": ";
    const std::string& path = job.source.name;
    auto file = Inspect(job.source);
    if (!file) {
        console.Err(prefix + file.error().message);
        return FileResult::Failed;
    }
    if (auto why = PrepareOutput(job, settings)) {
        console.Err(prefix + *why);
        return FileResult::Failed;
    }
    CliHost host(console, slot, label);
    ConversionWorker worker;
    ConversionRequest request;
    request.source = job.source;
    request.outputPath = job.aviPath;
    request.processors = settings.processors;
    request.output = settings.maker;
    request.cancelWhen = &InterruptFlag();  // an interrupt stops the run before its next frame
    worker.Start(std::move(request), host);
    worker.Join();

    switch (worker.Outcome().status) {
        case ConversionOutcome::Status::Completed:
            if (!host.Damage().empty()) console.Err(prefix + "warning: " + host.Damage());
            console.Out("Converted \"" + path + "\" to \"" + job.aviPath + "\"");
            return FileResult::Converted;
        case ConversionOutcome::Status::SeekFailed:
            worker.CloseAndDiscard();
            console.Err(prefix + "Cannot convert \"" + path + "\": " + host.SeekFailure() +
                        "; nothing was written");
            return FileResult::Failed;
        case ConversionOutcome::Status::Cancelled:
            worker.CloseAndDiscard();
            console.Err(prefix + "\"" + path + "\": interrupted; nothing was written");
            return FileResult::Interrupted;
        case ConversionOutcome::Status::Failed:
            break;
    }
    worker.CloseAndDiscard();
    console.Err(prefix +
                (host.Failure().empty() ? "Cannot convert \"" + path + "\"" : host.Failure()));
    return FileResult::Failed;
}

// The archives' problems and skipped entries; false when something cannot be converted.
bool ReportPlan(const PlannedJobs& plan, Console& console) {
    const std::string prefix = std::string(kProgram) + ": ";
    for (const std::string& note : plan.notes) console.Err(prefix + note);
    for (const std::string& failure : plan.failures) console.Err(prefix + failure);
    return plan.failures.empty();
}

// With --to: the maker of the chosen format, each job's output named with its extension (where
// its AVI file would go); null for AVI files.
std::unique_ptr<CompressedOutputMaker> ChooseOutput(const OutputOptions& options,
                                                    std::vector<ConversionJob>& jobs) {
    if (!options.format) return nullptr;
    auto maker = std::make_unique<CompressedOutputMaker>(options.settings);
    for (ConversionJob& job : jobs)
        job.aviPath = PathWithLastThree(job.aviPath, maker->Extension());
    return maker;
}

// Converts the jobs, `jobs` (--jobs) files side by side; false when any failed.
bool ConvertAll(const std::vector<ConversionJob>& jobs, const CliOptions& options,
                const OutputMaker* maker, Console& console) {
    const size_t count = jobs.size();
    std::atomic<size_t> next{0};
    std::atomic<bool> anyFailed{false};
    const size_t workers = std::min<size_t>(static_cast<size_t>(options.jobs), count);
    // The processors are shared out among the files converted side by side.
    const ConvertSettings settings{
        options.outputDir, options.exports.force,
        std::max<unsigned>(1, ConversionWorker::DefaultProcessors() /
                                  static_cast<unsigned>(std::max<size_t>(workers, 1))),
        maker};
    auto work = [&] {
        for (size_t i = next++; i < count && !Interrupted(); i = next++) {
            const std::string label =
                count > 1 ? "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "] " : "";
            if (ConvertOne(jobs[i], console, i, label, settings) != FileResult::Converted) {
                anyFailed = true;
            }
        }
    };
    std::vector<std::thread> pool;
    for (size_t w = 1; w < workers; ++w) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    return !anyFailed;
}

// The inputs' properties (--info), or their conversions; returns the exit status.
int RunConversions(const CliOptions& options, Console& console, const MixNames* known) {
    const ExpandedInputs inputs = ExpandInputs(options.inputs);
    bool failed = false;
    for (const std::string& e : inputs.errors) {
        console.Err(std::string(kProgram) + ": " + e);
        failed = true;
    }
    PlannedJobs plan = PlanJobs(inputs.files, options.outputDir, known);
    const auto maker = ChooseOutput(options.target, plan.jobs);
    if (!options.outputFile.empty() && plan.jobs.size() == 1) {
        plan.jobs.front().aviPath = options.outputFile;
    }
    if (!ReportPlan(plan, console)) failed = true;
    const std::vector<ConversionJob>& jobs = plan.jobs;
    if (jobs.empty() && !failed) {
        console.Err(std::string(kProgram) + ": no VQA video to work on");
        return kExitFailed;
    }
    if (options.mode == Mode::Info) {
        const bool printed = PrintAllInfo(jobs, console, known != nullptr, options.json);
        return printed && !failed ? kExitOk : kExitFailed;
    }
    if (!ReportClashes(jobs, console)) return kExitUsage;
    if (auto r = options.target.format ? FormatAvailable(*options.target.format) : Expected<void>{};
        !r) {
        console.Err(std::string(kProgram) + ": " + r.error().message + "; nothing was converted");
        return kExitFailed;
    }
    const bool converted = ConvertAll(jobs, options, maker.get(), console);
    if (Interrupted()) return InterruptedExitStatus();
    return converted && !failed ? kExitOk : kExitFailed;
}

// Runs the mode the command line asks for; returns the exit status.
int RunMode(const CliOptions& options, Console& console) {
    if (options.mode == Mode::Encode) return RunEncodeCommand(options.encode, console);
    if (options.mode == Mode::Pack) return RunPackCommand(options.archive, options.inputs, console);
    std::optional<MixNameList> names;
    if (!LoadNames(options.namesList, console, names)) return kExitFailed;
    const MixNames* known = names ? &names->names : nullptr;
    if (options.mode == Mode::Frames || options.mode == Mode::Thumbnail) {
        return RunExport(options.exports, options.inputs.front(), console, known);
    }
    return RunConversions(options, console, known);
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = ParseArguments(args);
    if (!options) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram,
                     options.error().message.c_str(), kProgram);
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(HelpText(options->mode).c_str(), stdout);
        return kExitOk;
    }
    if (options->version) {
        std::printf("%s %s\n", kProgram, RW_VERSION);
        return kExitOk;
    }
    for (const std::string& note : options->notes) {
        std::fprintf(stderr, "%s: note: %s\n", kProgram, note.c_str());
    }
    // Ctrl-C and SIGTERM stop every mode before its next frame or block (--info ends at once).
    if (options->mode != Mode::Info) InstallInterruptHandlers();
    Console console(isatty(STDERR_FILENO) == 1);
    return RunMode(*options, console);
}

}  // namespace
}  // namespace rw::cli

int main(int argc, char** argv) {
    return rw::cli::Main(argc, argv);
}
