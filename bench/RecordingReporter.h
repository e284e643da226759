#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

namespace tesseron::bench {

// Keeps each run's real time per iteration (seconds) so that main() can print ratios
// measured in the same run. With --benchmark_repetitions the fastest run counts: the
// machine may be shared.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            const double s =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            const auto [it, added] = seconds.emplace(r.benchmark_name(), s);
            if (!added && s < it->second) it->second = s;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace tesseron::bench
