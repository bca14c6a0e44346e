#include "cli/encode_mode.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_sources.h"

namespace rw::cli {
namespace fs = std::filesystem;
namespace {

constexpr const char* kProgram = "reelwright-cli";

// The progress line on a terminal: frame, percent, time spent and time remaining. It is redrawn
// when a frame is done (ten times a second at most) and, by a thread of its own, at least twice a
// second, so it moves while the encoder works through a group of frames before the next is done.
class EncodeProgress final : public EncodeObserver {
  public:
    using Clock = std::chrono::steady_clock;

    explicit EncodeProgress(bool shown) : m_shown(shown), m_console(shown) {
        if (m_shown) m_ticker = std::thread([this] { Tick(); });
    }
    ~EncodeProgress() override { Clear(); }
    EncodeProgress(const EncodeProgress&) = delete;
    EncodeProgress& operator=(const EncodeProgress&) = delete;

    void OnFrameDone(int32_t frame, int32_t frames) override {
        if (!m_shown) return;
        const std::lock_guard lock(m_mutex);
        m_done = frame + 1;
        m_frames = frames;
        const auto now = Clock::now();
        if (m_done < frames && now - m_lastDraw < std::chrono::milliseconds(100)) return;
        Draw(now);
    }
    bool CancelRequested() override { return Interrupted(); }
    // Stops the redrawing and takes the line away.
    void Clear() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_ticker.joinable()) m_ticker.join();
        m_console.Clear();
    }

  private:
    void Tick() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            m_wake.wait_for(lock, std::chrono::milliseconds(100));
            const auto now = Clock::now();
            if (!m_stop && now - m_lastDraw >= std::chrono::milliseconds(400)) Draw(now);
        }
    }
    static std::string MinutesSeconds(long seconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 60, seconds % 60);
        return text;
    }
    void Draw(Clock::time_point now) {
        m_lastDraw = now;
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const std::string spent = MinutesSeconds(static_cast<long>(elapsed));
        if (m_done == 0) {
            m_console.Progress(0, "encoding  elapsed " + spent, true);
            return;
        }
        const double done = double(m_done) / double(m_frames);
        const auto remaining = static_cast<long>(elapsed / done - elapsed + 0.5);
        char line[96];
        std::snprintf(line, sizeof line, "frame %d/%d  %3d%%  elapsed %s  remaining %s", m_done,
                      m_frames, static_cast<int>(done * 100), spent.c_str(),
                      MinutesSeconds(remaining).c_str());
        m_console.Progress(0, line, true);
    }

    bool m_shown;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_ticker;
    bool m_stop = false;
    Console m_console;
    int32_t m_done = 0, m_frames = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDraw = Clock::now();
};

Expected<void> ParseBlock(const std::string& text, EncodeSettings& s) {
    if (text == "4x2") {
        s.blockHeight = 2;
    } else if (text == "4x4") {
        s.blockHeight = 4;
    } else {
        return Error{"--block wants 4x2 or 4x4, not \"" + text + "\""};
    }
    s.blockWidth = 4;
    return {};
}

Expected<void> ParseQuality(const std::string& text, EncodeSettings& s) {
    if (text == "fast") {
        s.effort = 1;
    } else if (text == "normal") {
        s.effort = 2;
    } else if (text == "best") {
        s.effort = 3;
    } else {
        return Error{"--quality wants fast, normal or best, not \"" + text + "\""};
    }
    return {};
}

// The value of an option given as "--name VALUE" or "--name=VALUE".
bool TakeValue(std::span<const std::string> args, size_t& i, const std::string& name,
               std::string& value, bool& missing) {
    const std::string& a = args[i];
    if (a.rfind(name + "=", 0) == 0) {
        value = a.substr(name.size() + 1);
        return true;
    }
    if (a != name) return false;
    missing = i + 1 >= args.size();
    if (!missing) value = args[++i];
    return true;
}

// The output folder made when -o names one; why the output cannot be written, if it cannot.
std::optional<std::string> CheckOutput(const EncodeCommand& c) {
    if (auto r = PrepareOutputDir(c.outputDir); !r) return r.error().message;
    if (c.options.output.empty()) return std::nullopt;
    return CheckNewOutput(c.options.output, c.options.force);
}

// -o PATH made into the output file, or a folder and the file in it (see ParseEncodeArguments).
Expected<void> ResolveOutput(EncodeCommand& c) {
    const std::string& path = c.options.output;
    std::error_code ec;
    if (path.empty()) return {};
    if (fs::is_directory(path, ec) || fs::path(path).extension().empty()) {
        c.outputDir = path;
        c.options.output = (fs::path(path) / fs::path(VqaPathFor(c.input)).filename()).string();
        return {};
    }
    if (!HasExtension(path, ".vqa")) {
        return Error{"-o \"" + path +
                     "\": --encode writes a .vqa file; give a name ending in .vqa, or a folder"};
    }
    return {};
}

}  // namespace

bool IsEncodeCommand(std::span<const std::string> args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--encode" || a.rfind("--encode=", 0) == 0) return true;
    }
    return false;
}

Expected<EncodeCommand> ParseEncodeArguments(std::span<const std::string> args) {
    EncodeCommand c;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        bool missing = false;
        if (TakeValue(args, i, "--encode", value, missing)) {
            if (!missing && !c.input.empty()) return Error{"--encode takes one AVI file or folder"};
            c.input = value;
        } else if (TakeValue(args, i, "-o", value, missing) ||
                   TakeValue(args, i, "--output", value, missing)) {
            c.options.output = value;
        } else if (TakeValue(args, i, "--block", value, missing)) {
            if (auto r = ParseBlock(value, c.options.settings); !missing && !r) return r.error();
        } else if (TakeValue(args, i, "--quality", value, missing)) {
            if (auto r = ParseQuality(value, c.options.settings); !missing && !r) return r.error();
        } else if (args[i] == "--force") {
            c.options.force = true;
        } else {
            return Error{"unknown option or extra argument \"" + args[i] + "\" with --encode"};
        }
        if (missing) return Error{args[i] + " wants a value"};
    }
    if (c.input.empty()) return Error{"--encode wants an AVI file or a folder of PNG frames"};
    if (auto r = ResolveOutput(c); !r) return r.error();
    return c;
}

int RunEncodeCommand(std::span<const std::string> args) {
    auto command = ParseEncodeArguments(args);
    if (!command) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram,
                     command.error().message.c_str(), kProgram);
        return 2;
    }
    InstallInterruptHandlers();
    if (auto why = CheckOutput(*command)) {
        std::fprintf(stderr, "%s: Cannot encode \"%s\": %s\n", kProgram, command->input.c_str(),
                     why->c_str());
        return 1;
    }

    EncodeProgress progress(isatty(STDERR_FILENO) == 1);
    auto result = RunEncodeJob(command->input, command->options, &progress);
    progress.Clear();
    if (!result) {
        if (Interrupted()) {
            std::fprintf(stderr, "%s: \"%s\": interrupted; nothing was written\n", kProgram,
                         command->input.c_str());
            return InterruptedExitStatus();
        }
        std::fprintf(stderr, "%s: %s\n", kProgram, result.error().message.c_str());
        return 1;
    }
    for (const std::string& note : result->notes) {
        std::fprintf(stderr, "%s: note: %s\n", kProgram, note.c_str());
    }
    const VqaProperties& p = result->properties;
    std::printf("Encoded \"%s\" to \"%s\" (%d frames, %dx%d, %lld bytes)\n", command->input.c_str(),
                result->outputPath.c_str(), p.frames, p.width, p.height,
                static_cast<long long>(result->bytes));
    return 0;
}

std::string EncodeHelpText() {
    return "\n"
           "Usage: reelwright-cli --encode INPUT [-o FILE.vqa] [--force] [--block 4x2|4x4]\n"
           "                      [--quality fast|normal|best]\n"
           "Encodes an uncompressed AVI file, or a folder of PNG frames with an optional WAV "
           "file,\n"
           "into a VQA video at 15 frames per second with mono 22050 Hz sound. The frames are\n"
           "taken in natural name order, numbers compared as numbers: frame2.png comes before\n"
           "frame10.png, as ffmpeg's %d names them (\"ffmpeg -i in.mp4 dir/frame%d.png\").\n"
           "INPUT movie.avi becomes movie.vqa beside it; a FOLDER becomes FOLDER.vqa.\n"
           "\n"
           "  --encode INPUT     the AVI file or folder to encode\n"
           "  -o, --output PATH  write PATH (ending in .vqa) instead; a PATH that is an\n"
           "                     existing folder or has no extension is a folder (created\n"
           "                     if missing) to write the VQA file into\n"
           "  --force            replace an existing output file (never replaced otherwise)\n"
           "  --block WxH        block size, 4x2 (default) or 4x4 (smaller files, coarser "
           "pictures)\n"
           "  --quality Q        fast, normal (default) or best: more time for better pictures\n";
}

}  // namespace rw::cli
