// reelwright-cli: converts VQA videos into AVI files from a terminal, with the same conversion run
// as the desktop program.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "cli/encode_mode.h"
#include "convert/control_ids.h"
#include "convert/conversion_host.h"
#include "convert/convert_thread.h"
#include "convert/output_names.h"
#include "convert/properties_text.h"
#include "vqa/vqa_header.h"

#ifndef RW_VERSION
#define RW_VERSION "unknown"
#endif

namespace rw::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
constexpr const char* kProgram = "reelwright-cli";

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Everything printed goes through here, so the progress line and the messages do not mix.
class Console {
  public:
    explicit Console(bool progress) : m_progress(progress) {}

    // One line on stdout (results) or stderr (problems), clearing the progress line first.
    void Out(const std::string& line) { Print(stdout, line); }
    void Err(const std::string& line) { Print(stderr, line); }

    // The progress line, redrawn on a terminal at most ten times a second; `makeLine` is called
    // only when it is drawn.
    template <typename MakeLine>
    void Progress(const MakeLine& makeLine, bool force) {
        if (!m_progress) return;
        std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
        m_lastDraw = now;
        std::fprintf(stderr, "\r\033[K%s", makeLine().c_str());
        std::fflush(stderr);
        m_shown = true;
    }

  private:
    void Print(std::FILE* to, const std::string& line) {
        std::lock_guard lock(m_mutex);
        if (m_shown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            m_shown = false;
        }
        std::fprintf(to, "%s\n", line.c_str());
        std::fflush(to);
    }

    bool m_progress;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_shown = false;
};

// What the conversion run sees of us: the file, its header values, and where its texts go.
class CliHost final : public ConversionHost {
  public:
    CliHost(std::string path, const VqaProperties& props, Console& console, std::string label)
        : m_path(std::move(path)), m_props(props), m_console(console), m_label(std::move(label)) {}

    std::string Path() const override { return m_path; }
    VqaProperties Properties() const override { return m_props; }

    void SetFieldText(int controlId, const std::string& text) override {
        m_fields[controlId] = text;
        // The percentage is the last text of each frame: draw the line then.
        if (controlId == IDC_PERCENT_CONVERTED) {
            m_console.Progress([this] { return ProgressLine(); }, false);
        }
    }
    void ShowMessage(const std::string& text) override { m_messages.push_back(text); }
    void ConcealedDamage(int32_t, const std::string& message) override { m_damage = message; }
    void ConversionFinished() override { m_finished = true; }
    void ConversionFailed(const std::string& message) override { m_failure = message; }

    const std::vector<std::string>& Messages() const { return m_messages; }
    const std::string& Damage() const { return m_damage; }
    const std::string& Failure() const { return m_failure; }
    bool Finished() const { return m_finished; }

  private:
    std::string Field(int id, const char* none) const {
        auto it = m_fields.find(id);
        if (it == m_fields.end() || it->second.empty()) return none;
        const size_t first = it->second.find_first_not_of(' ');
        return first == std::string::npos ? it->second : it->second.substr(first);
    }
    std::string ProgressLine() const {
        return m_label + "frame " + Field(IDC_CONVERTING_FRAME, "-") + "/" +
               std::to_string(m_props.frames) + "  " + Field(IDC_PERCENT_CONVERTED, "-") +
               "  remaining " + Field(IDC_TIME_REMAINING, "--:--") + "  elapsed " +
               Field(IDC_ELAPSED_TIME, "--:--") + "  finish " + Field(IDC_FINISH_TIME, "--:--:--");
    }

    std::string m_path;
    VqaProperties m_props;
    Console& m_console;
    std::string m_label;
    std::map<int, std::string> m_fields;
    std::vector<std::string> m_messages;
    std::string m_damage;
    std::string m_failure;
    bool m_finished = false;
};

// Reads the header; on failure returns a message naming the file and the problem.
Expected<VqaProperties> ReadHeader(const std::string& path) {
    VqaHeaderResult header = ReadVqaHeader(std::filesystem::path(path));
    switch (header.status) {
        case VqaHeaderResult::Status::Ok:
            return header.properties;
        case VqaHeaderResult::Status::NotVqa:
            return Error{"\"" + path + "\" is not a VQA video"};
        case VqaHeaderResult::Status::CannotOpen:
        case VqaHeaderResult::Status::Truncated:
            break;
    }
    return Error{header.message.empty() ? "Cannot read \"" + path + "\"" : header.message};
}

bool PrintInfo(const std::string& path, Console& console) {
    auto props = ReadHeader(path);
    if (!props) {
        console.Err(std::string(kProgram) + ": " + props.error().message);
        return false;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const PropertyTexts t = FormatProperties(*props);
    const std::string full = std::filesystem::absolute(path, ec).string();
    std::string text;
    auto row = [&](const char* label, const std::string& value) {
        char line[64];
        std::snprintf(line, sizeof line, "%-21s", label);
        text += line + value + "\n";
    };
    row("Filename", full);
    row("Number of Frames", t.frames);
    row("Width", t.width);
    row("Height", t.height);
    row("Blockwidth", t.blockWidth);
    row("Blockheight", t.blockHeight);
    row("Filesize", ec ? "?" : FormatFileSize(static_cast<int64_t>(size)));
    row("Videolength (mm.ss)", t.videoLength);
    row("Outputfilesize", t.outputSize);
    text.pop_back();
    console.Out(text);
    return true;
}

enum class FileResult { Converted, Failed, Interrupted };

FileResult ConvertOne(const std::string& path, Console& console, const std::string& label,
                      unsigned processors) {
    const std::string prefix = std::string(kProgram) + ": ";
    auto props = ReadHeader(path);
    if (!props) {
        console.Err(prefix + props.error().message);
        return FileResult::Failed;
    }
    CliHost host(path, *props, console, label);
    CConvertThread worker;
    worker.SetProcessors(processors);
    worker.m_pDlg = &host;
    worker.ResumeThread();
    // Wakes as soon as the worker ends; the timeout only bounds how late an interrupt is noticed.
    while (!worker.WaitFinished(std::chrono::milliseconds(20))) {
        if (g_interrupted.load()) worker.RequestCancel();
    }
    worker.Join();

    switch (worker.ExitCode()) {
        case CConvertThread::kCompleted:
            if (!host.Damage().empty()) console.Err(prefix + "warning: " + host.Damage());
            console.Out("Converted \"" + path + "\" to \"" + AviPathFor(path) + "\"");
            return FileResult::Converted;
        case CConvertThread::kSeekFailed: {
            // The run's two messages: the frame from 0 and the position it sought.
            const auto& m = host.Messages();
            worker.CloseAndDiscard();
            console.Err(prefix + "Cannot convert \"" + path + "\": the seek to frame " +
                        (m.size() > 0 ? m[0] : "?") + " (position " + (m.size() > 1 ? m[1] : "?") +
                        ") failed; nothing was written");
            return FileResult::Failed;
        }
        case CConvertThread::kCancelled:
            worker.CloseAndDiscard();
            console.Err(prefix + "\"" + path + "\": interrupted; nothing was written");
            return FileResult::Interrupted;
        default:
            worker.CloseAndDiscard();
            console.Err(prefix + (host.Failure().empty() ? "Cannot convert \"" + path + "\""
                                                         : host.Failure()));
            return FileResult::Failed;
    }
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (IsEncodeCommand(args)) return RunEncodeCommand(args);
    auto options = ParseArguments(args);
    if (!options) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram,
                     options.error().message.c_str(), kProgram);
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (options->version) {
        std::printf("%s %s\n", kProgram, RW_VERSION);
        return kExitOk;
    }

    if (options->exports.Any()) {
        InstallInterruptHandlers();
        return RunExport(options->exports, options->inputs.front(), g_interrupted);
    }

    Console console(isatty(STDERR_FILENO) == 1);
    const ExpandedInputs inputs = ExpandInputs(options->inputs);
    bool failed = false;
    for (const std::string& e : inputs.errors) {
        console.Err(std::string(kProgram) + ": " + e);
        failed = true;
    }

    if (options->info) {
        for (size_t i = 0; i < inputs.files.size(); ++i) {
            if (i > 0) console.Out("");
            if (!PrintInfo(inputs.files[i], console)) failed = true;
        }
        return failed ? kExitFailed : kExitOk;
    }

    const std::vector<std::string> clashes = FindOutputClashes(inputs.files);
    if (!clashes.empty()) {
        for (const std::string& c : clashes) console.Err(std::string(kProgram) + ": " + c);
        console.Err(std::string(kProgram) + ": nothing was converted");
        return kExitUsage;
    }

    InstallInterruptHandlers();
    const size_t count = inputs.files.size();
    std::atomic<size_t> next{0};
    std::atomic<bool> anyFailed{failed};
    const size_t workers = std::min<size_t>(static_cast<size_t>(options->jobs), count);
    // The processors are shared out among the files converted side by side.
    const unsigned processors =
        std::max<unsigned>(1, CConvertThread::DefaultProcessors() /
                                  static_cast<unsigned>(std::max<size_t>(workers, 1)));
    auto work = [&] {
        for (size_t i = next++; i < count && !g_interrupted.load(); i = next++) {
            const std::string label =
                count > 1 ? "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "] " : "";
            if (ConvertOne(inputs.files[i], console, label, processors) != FileResult::Converted) {
                anyFailed = true;
            }
        }
    };
    std::vector<std::thread> pool;
    for (size_t w = 1; w < workers; ++w) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();

    if (g_interrupted.load()) return kExitInterrupted;
    return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace
}  // namespace rw::cli

int main(int argc, char** argv) {
    return rw::cli::Main(argc, argv);
}
