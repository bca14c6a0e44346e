// What converting in two parts gains on a real file: converts one video to disk in one part and
// in two parts at once, alternating, and prints the median of each.
//
//   rw_plan_bench FILE.vqa RUNS
//
// Output, one line a plan: "<plan> <median seconds>". bench/run reads it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run/conversion_worker.h"
#include "run/inspect.h"
#include "run/output_names.h"

namespace {

using rw::RunPlan;

class QuietHost final : public rw::ConversionHost {
  public:
    void ProgressChanged(const rw::ProgressTexts&) override {}
    void SeekFailed(uint32_t, uint32_t) override {}
    void ConcealedDamage(int32_t, const std::string&) override {}
    void ConversionFinished() override {}
    void ConversionFailed(const std::string& message) override {
        std::fprintf(stderr, "rw_plan_bench: %s\n", message.c_str());
    }
};

struct Plan {
    const char* name;
    RunPlan plan;
};

// One conversion with `plan`, from a fresh output; returns its seconds, or a negative number.
double TimeOne(const std::string& path, RunPlan plan) {
    std::filesystem::remove(rw::AviPathFor(path));
    QuietHost host;
    rw::ConversionWorker worker;
    rw::ConversionRequest request;
    request.source = rw::LooseSource(path);
    request.plan = plan;
    const auto start = std::chrono::steady_clock::now();
    worker.Start(std::move(request), host);
    worker.Join();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return worker.Outcome().Completed() ? took.count() : -1.0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) < 1) {
        std::fprintf(stderr, "usage: rw_plan_bench FILE.vqa RUNS\n");
        return 2;
    }
    const std::string path = argv[1];
    const int runs = std::atoi(argv[2]);
    const rw::VqaInspection file = rw::InspectVqaFile(std::filesystem::path(path));
    if (file.status != rw::VqaInspection::Status::Ok) {
        std::fprintf(stderr, "rw_plan_bench: cannot convert %s\n", path.c_str());
        return 2;
    }
    const Plan plans[] = {
        {"one-part", RunPlan{.twoParts = false}},
        {"two-parts", RunPlan{.twoParts = true}},
    };
    std::vector<std::vector<double>> times(std::size(plans));
    for (int run = 0; run <= runs; ++run) {
        for (size_t i = 0; i < std::size(plans); ++i) {
            // Each round starts with another plan, so a drift of the machine hits all alike.
            const size_t which = (i + static_cast<size_t>(run)) % std::size(plans);
            const double seconds = TimeOne(path, plans[which].plan);
            if (seconds < 0) return 2;
            if (run > 0) times[which].push_back(seconds);  // round 0 warms up
        }
    }
    std::filesystem::remove(rw::AviPathFor(path));
    for (size_t i = 0; i < std::size(plans); ++i) {
        std::printf("%s %.5f\n", plans[i].name, Median(times[i]));
    }
    return 0;
}
