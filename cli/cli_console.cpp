#include "cli/cli_console.h"

namespace rw::cli {
namespace {

std::string Trimmed(const std::string& text, const char* none) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? none : text.substr(first);
}

}  // namespace

void Console::Progress(size_t slot, const std::string& text, bool force) {
    if (!m_progress) return;
    std::lock_guard lock(m_mutex);
    m_running[slot] = text;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    std::string line;
    for (const auto& [_, part] : m_running) line += (line.empty() ? "" : "  |  ") + part;
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void Console::ProgressDone(size_t slot) {
    std::lock_guard lock(m_mutex);
    m_running.erase(slot);
}

void Console::Clear() {
    std::lock_guard lock(m_mutex);
    ClearLocked();
}

void Console::ClearLocked() {
    if (!m_shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

void Console::Print(std::FILE* to, const std::string& line) {
    std::lock_guard lock(m_mutex);
    ClearLocked();
    std::fprintf(to, "%s\n", line.c_str());
    std::fflush(to);
}

std::string ProgressLine(const std::string& label, const ProgressTexts& p) {
    return label + "frame " + Trimmed(p.frame, "-") + "/" + std::to_string(p.frames) + "  " +
           Trimmed(p.percent, "-") + "  remaining " + (p.hasTimes ? p.timeRemaining : "--:--") +
           "  elapsed " + (p.hasTimes ? p.elapsedTime : "--:--") + "  finish " +
           (p.hasTimes ? p.finishTime : "--:--:--");
}

}  // namespace rw::cli
