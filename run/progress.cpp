#include "run/progress.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "run/text_format.h"

namespace rw {
namespace {

// Minutes are not folded into hours: 100 minutes show as "100:00".
std::string MinutesSeconds(int64_t seconds) {
    return FormatText("%02lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
}

}  // namespace

int64_t SystemProgressClock::NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TimeOfDay SystemProgressClock::LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
}

ProgressTexts ProgressEstimator::UpdateProgress(int32_t frame, int32_t frames) {
    ProgressTexts t;
    t.frameNumber = frame;
    t.frames = frames;
    const int64_t before = m_previousTick;
    const int64_t now = m_clock.NowMilliseconds();
    m_previousTick = now;

    const bool first = !m_started;
    m_started = true;
    if (!first) {
        const int64_t duration = now - before;
        const int64_t previous = m_previousDuration != 0 ? m_previousDuration : duration;
        m_accumulated += (previous + duration) / 2;
        m_previousDuration = duration;

        // The divisor counts the frame about to start as done (frame + 1). The product is formed
        // in 64 bits: a long, slow conversion passes the 32-bit range.
        const int64_t remaining =
            (int64_t{frames - frame} * m_accumulated) / (int64_t{1000} * (int64_t{frame} + 1));
        const int64_t elapsed = m_accumulated / 1000;
        const TimeOfDay local = m_clock.LocalTimeOfDay();
        const int64_t finish =
            local.second + 60 * (local.minute + int64_t{60} * local.hour) + remaining;

        t.hasTimes = true;
        t.timeRemaining = MinutesSeconds(remaining);
        t.elapsedTime = MinutesSeconds(elapsed);
        t.finishTime = FormatText(
            "%02lld:%02lld:%02lld", static_cast<long long>((finish / 3600) % 24),
            static_cast<long long>((finish / 60) % 60), static_cast<long long>(finish % 60));
    }
    t.frame = FormatText("%d", frame + 1);
    const double percent = frames > 0 ? (frame + 1) * 100.0 / frames : 0.0;
    t.percent = FormatText("%6.2f%s", percent, "%");
    return t;
}

}  // namespace rw
