// The five progress texts of a running conversion: time remaining, elapsed time, finish time,
// frame being converted, percent converted.
#pragma once

#include <cstdint>
#include <string>

namespace rw {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Where the estimates take their time from; tests put a fake in its place.
class ProgressClock {
  public:
    virtual ~ProgressClock() = default;
    // Elapsed real time in milliseconds from any fixed start (monotonic).
    virtual int64_t NowMilliseconds() = 0;
    // The local time of day now.
    virtual TimeOfDay LocalTimeOfDay() = 0;
};

class SystemProgressClock final : public ProgressClock {
  public:
    int64_t NowMilliseconds() override;
    TimeOfDay LocalTimeOfDay() override;
};

// One progress report of a run.
struct ProgressTexts {
    int32_t frameNumber = 0;    // the frame being converted, from 0
    int32_t frames = 0;         // of this many
    bool hasTimes = false;      // the three time texts are set from the second report on
    std::string timeRemaining;  // 1014 "%02d:%02d"
    std::string elapsedTime;    // 1015 "%02d:%02d"
    std::string finishTime;     // 1016 "%02d:%02d:%02d"
    std::string frame;          // 1003 "%d", frame + 1
    std::string percent;        // 1020 "%6.2f%s" with "%"
};

// Timing state of one run: zero when the run begins.
class ProgressEstimator {
  public:
    explicit ProgressEstimator(ProgressClock& clock) : m_clock(clock) {}

    // Called at the top of frame `frame` (zero-based) of `frames`, before anything of it is read.
    // The first call starts the clock and shows no times, whatever its frame (a run in two parts
    // may already have converted some); each later call adds the mean of its duration and the
    // previous one to the accumulated time.
    ProgressTexts UpdateProgress(int32_t frame, int32_t frames);

  private:
    ProgressClock& m_clock;
    // Milliseconds. The tick is 64-bit because the monotonic clock counts from boot.
    bool m_started = false;
    int64_t m_previousTick = 0;
    int64_t m_accumulated = 0;
    int64_t m_previousDuration = 0;
};

}  // namespace rw
