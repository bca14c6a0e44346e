#include "cli/encode_mode.h"

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

// The progress line on a terminal: frame, percent, time spent and time remaining. It is redrawn
// when a frame is done (ten times a second at most) and, by a thread of its own, at least twice a
// second, so it moves while the encoder works through a group of frames before the next is done.
class EncodeProgress final : public EncodeObserver {
  public:
    using Clock = std::chrono::steady_clock;

    explicit EncodeProgress(Console& console) : m_console(console) {
        if (m_console.ShowsProgress()) m_ticker = std::thread([this] { Tick(); });
    }
    ~EncodeProgress() override { Clear(); }
    EncodeProgress(const EncodeProgress&) = delete;
    EncodeProgress& operator=(const EncodeProgress&) = delete;

    void OnFrameDone(int32_t frame, int32_t frames) override {
        if (!m_console.ShowsProgress()) return;
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

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_ticker;
    bool m_stop = false;
    Console& m_console;
    int32_t m_done = 0, m_frames = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDraw = Clock::now();
};

// The output folder made when -o names one; why the output cannot be written, if it cannot.
std::optional<std::string> CheckOutput(const EncodeCommand& c) {
    if (auto r = PrepareOutputDir(c.outputDir); !r) return r.error().message;
    if (c.options.output.empty()) return std::nullopt;
    return CheckNewOutput(c.options.output, c.options.force);
}

// The topmost folder of `dir` that does not exist yet, which making it creates; empty when it
// exists.
fs::path FirstMissing(const std::string& dir) {
    std::error_code ec;
    fs::path missing;
    for (fs::path p = dir; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) missing = p;
    return missing;
}

// Removes the folders made for the output, `dir` and its parents up to `top`, while they are empty.
void RemoveMadeFolders(const fs::path& dir, const fs::path& top) {
    std::error_code ec;
    for (fs::path p = dir; !top.empty(); p = p.parent_path()) {
        if (!fs::remove(p, ec) || p == top) return;
    }
}

}  // namespace

int RunEncodeCommand(const EncodeCommand& command, Console& console) {
    const std::string prefix = std::string(kProgram) + ": ";
    const fs::path made = FirstMissing(command.outputDir);
    if (auto why = CheckOutput(command)) {
        console.Err(prefix + "Cannot encode \"" + command.input + "\": " + *why);
        return 1;
    }
    EncodeProgress progress(console);
    auto result = RunEncodeJob(command.input, command.options, &progress);
    progress.Clear();
    if (!result) {
        RemoveMadeFolders(command.outputDir, made);
        if (Interrupted()) {
            console.Err(prefix + "\"" + command.input + "\": interrupted; nothing was written");
            return InterruptedExitStatus();
        }
        console.Err(prefix + result.error().message);
        return 1;
    }
    for (const std::string& note : result->notes) console.Err(prefix + "note: " + note);
    const VqaProperties& p = result->properties;
    console.Out("Encoded \"" + command.input + "\" to \"" + result->outputPath + "\" (" +
                std::to_string(p.frames) + " frames, " + std::to_string(p.width) + "x" +
                std::to_string(p.height) + ", " + std::to_string(result->bytes) + " bytes)");
    return 0;
}

}  // namespace rw::cli
