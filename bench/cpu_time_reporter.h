#pragma once
// The console table of Google Benchmark, keeping each benchmark's CPU time per
// iteration (the median when repeated) and its counters, so that a benchmark program
// can print its ratios after the table. CPU time: the machine is shared, and waiting
// for a core is not the cost being measured.

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavisto::bench {

class CpuTimeReporter : public benchmark::ConsoleReporter {
  public:
    CpuTimeReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median is reported after the single runs and replaces them.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && !run.error_occurred) {
                Result& result = results_[run.run_name.str()];
                result.nanoseconds = run.GetAdjustedCPUTime() *
                                     (1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit));
                for (const auto& [name, counter] : run.counters) {
                    result.counters[name] = counter.value;
                }
            }
        }
    }

    bool ran(const std::string& benchmark) const { return results_.contains(benchmark); }
    // CPU nanoseconds per iteration; 0 for a benchmark that did not run.
    double nanoseconds(const std::string& benchmark) const {
        const auto found = results_.find(benchmark);
        return found == results_.end() ? 0.0 : found->second.nanoseconds;
    }
    // A user counter of a benchmark; 0 when absent.
    double counter(const std::string& benchmark, const std::string& name) const {
        const auto found = results_.find(benchmark);
        if (found == results_.end()) {
            return 0.0;
        }
        const auto value = found->second.counters.find(name);
        return value == found->second.counters.end() ? 0.0 : value->second;
    }

  private:
    struct Result {
        double nanoseconds = 0.0;
        std::map<std::string, double> counters;
    };
    std::map<std::string, Result> results_;
};

// Runs the benchmarks the command line selects, then `printRatios` with their times.
inline int runBenchmarks(int argc, char** argv,
                         const std::function<void(const CpuTimeReporter&)>& printRatios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    CpuTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace tavisto::bench
