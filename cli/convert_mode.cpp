#include "cli/convert_mode.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_interrupt.h"
#include "cli/info_mode.h"
#include "compressed/compressed_target.h"
#include "run/conversion_host.h"
#include "run/conversion_worker.h"
#include "run/output_names.h"

namespace rw::cli {
namespace {

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

// Outputs two jobs would share, or that would replace an input; false when there are any.
bool ReportClashes(const std::vector<ConversionJob>& jobs, Console& console) {
    const std::vector<std::string> clashes = FindOutputClashes(jobs);
    for (const std::string& c : clashes) console.Err(std::string(kProgram) + ": " + c);
    if (!clashes.empty()) console.Err(std::string(kProgram) + ": nothing was converted");
    return clashes.empty();
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
    auto file = ReadVideo(job.source);
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

}  // namespace

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

}  // namespace rw::cli
