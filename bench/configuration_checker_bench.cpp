// Checking the example configuration against parsing it with the JSON library alone: the
// check parses, records positions, walks for warnings and runs the loader, and should
// cost at most 5 times the bare parse. Prints the ratio after the runs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"

namespace {

std::string exampleText;

void parseOnly(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::parse(exampleText));
    }
}

void checkExample(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavisto::checkConfiguration(exampleText));
    }
}

// Prints the usual table and keeps each benchmark's CPU time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && !run.error_occurred) {
                nanoseconds_[run.run_name.str()] =
                    run.GetAdjustedCPUTime() *
                    (1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit));
            }
        }
    }

    void printRatio() const {
        const auto parse = nanoseconds_.find("parse_example");
        const auto check = nanoseconds_.find("check_example");
        if (parse == nanoseconds_.end() || check == nanoseconds_.end()) {
            return;
        }
        std::printf(
            "\ncheck %.1f us, parse %.1f us: the check costs %.2fx the parse (goal: at "
            "most 5x)\n",
            check->second / 1000, parse->second / 1000, check->second / parse->second);
    }

  private:
    std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
    const char* path = TAVISTO_EXAMPLE_FILE;
    std::ifstream file(path, std::ios::binary);
    exampleText.assign(std::istreambuf_iterator<char>(file), {});
    if (exampleText.empty()) {
        std::fprintf(stderr, "%s: cannot read the example configuration\n", path);
        return 1;
    }
    benchmark::RegisterBenchmark("parse_example", &parseOnly);
    benchmark::RegisterBenchmark("check_example", &checkExample);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
