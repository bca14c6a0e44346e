#include "run/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

// A clock that returns the ticks and local times it is given, in turn.
class FakeClock final : public ProgressClock {
  public:
    std::vector<int64_t> ticks;
    TimeOfDay local{12, 0, 0};
    size_t next = 0;
    int64_t NowMilliseconds() override { return ticks.at(next++); }
    TimeOfDay LocalTimeOfDay() override { return local; }
};

// A call's texts on one line: frame, percent, and when there are times, remaining, elapsed, finish.
std::string Line(const ProgressTexts& t) {
    std::string line = t.frame + " " + t.percent;
    if (t.hasTimes) line += " " + t.timeRemaining + " " + t.elapsedTime + " " + t.finishTime;
    return line;
}

struct ProgressCase {
    const char* name;
    int32_t frames;
    std::vector<int64_t> ticks;  // one per call, frames 0, 1, 2, ...
    TimeOfDay local;
    std::vector<std::string> calls;
};
class Progress : public testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, TextsOfEachCall) {
    const ProgressCase& c = GetParam();
    FakeClock clock;
    clock.ticks = c.ticks;
    clock.local = c.local;
    ProgressEstimator estimator(clock);
    std::vector<std::string> calls;
    for (size_t w = 0; w < c.ticks.size(); ++w) {
        calls.push_back(Line(estimator.UpdateProgress(static_cast<int32_t>(w), c.frames)));
    }
    EXPECT_EQ(calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Progress,
    testing::Values(
        // 500 ms, then 600 ms: accumulated 500, then 500 + 550 = 1050.
        ProgressCase{
            "hundred frames",
            100,
            {10000, 10500, 11100},
            {12, 0, 0},
            {"1   1.00%", "2   2.00% 00:24 00:00 12:00:24", "3   3.00% 00:34 00:01 12:00:34"}},
        // The finish time wraps past midnight.
        ProgressCase{"midnight",
                     100,
                     {0, 500},
                     {23, 59, 50},
                     {"1   1.00%", "2   2.00% 00:24 00:00 00:00:14"}},
        ProgressCase{
            "three frames",
            3,
            {0, 1000, 2000},
            {1, 2, 3},
            {"1  33.33%", "2  66.67% 00:01 00:01 01:02:04", "3 100.00% 00:00 00:02 01:02:03"}},
        // A duration of 0 is no previous duration: the next call uses its own (400, not 200);
        // R = 8 * 400 / 3000 = 1.
        ProgressCase{
            "zero duration",
            10,
            {0, 0, 400},
            {0, 0, 0},
            {"1  10.00%", "2  20.00% 00:00 00:00 00:00:00", "3  30.00% 00:01 00:00 00:00:01"}},
        // Minutes are not folded into hours: 6000 s of elapsed time show as 100:00.
        ProgressCase{
            "long", 2, {0, 6000000}, {0, 0, 0}, {"1  50.00%", "2 100.00% 50:00 100:00 00:50:00"}}));

TEST(Progress, RemainingTimeDoesNotOverflowOnLongConversions) {
    // 1000 frames, halfway, 72 minutes in: (1000 - 500) * 4320000 passes 2^31.
    FakeClock clock;
    clock.ticks = {0, 4320000};
    ProgressEstimator e(clock);
    e.UpdateProgress(0, 1000);
    const ProgressTexts t = e.UpdateProgress(1, 1000);
    // (999 * 4320000) / 2000 = 2157840 s = 35964 min 0 s.
    EXPECT_EQ(t.timeRemaining, "35964:00");
    EXPECT_EQ(t.elapsedTime, "72:00");
}

}  // namespace
}  // namespace rw
