// The command line's one console: results on stdout, problems on stderr, and one progress line on
// a terminal that the messages never mix with. Every mode's progress is drawn through it.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "run/progress.h"

namespace rw::cli {

inline constexpr const char* kProgram = "reelwright-cli";
// Exit statuses: every file done, some failed (or its output existed), a usage error. An
// interrupted run exits with 128 and the signal's number.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

class Console {
  public:
    // `progress`: draw the progress line (stderr is a terminal).
    explicit Console(bool progress) : m_progress(progress) {}
    ~Console() { Clear(); }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One line on stdout (results) or stderr (problems), clearing the progress line first.
    void Out(const std::string& line) { Print(stdout, line); }
    void Err(const std::string& line) { Print(stderr, line); }

    // The progress of the file `slot`: the line shows every running file's, redrawn on a terminal
    // at most ten times a second; `force` draws it now.
    void Progress(size_t slot, const std::string& text, bool force);
    // The file `slot` is no longer running.
    void ProgressDone(size_t slot);
    // Takes the progress line away.
    void Clear();
    // Whether the progress line is drawn (stderr is a terminal).
    bool ShowsProgress() const { return m_progress; }

  private:
    void Print(std::FILE* to, const std::string& line);
    void ClearLocked();

    bool m_progress;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_shown = false;
    std::map<size_t, std::string> m_running;  // progress of the files running, by their number
};

// "frame 12/60  20.00%  remaining 00:03  elapsed 00:01  finish 12:00:03", after `label`.
std::string ProgressLine(const std::string& label, const ProgressTexts& p);

}  // namespace rw::cli
