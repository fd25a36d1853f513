// Reference extraction over counter paths that repeat one system performance field n
// times, n from 1,000 to 64,000. The time per reference must not grow with n: the
// ratio printed at the end is the time per reference at the largest n over that at the
// smallest (1 when extraction is linear, 64 when it is quadratic).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "config/counter_references.h"

namespace {

constexpr std::int64_t kFewest = 1000;
constexpr std::int64_t kMost = 64000;

std::u16string repeatedField(std::int64_t times) {
    std::u16string text;
    for (std::int64_t i = 0; i < times; ++i) {
        text += u"(PERFORMANCE_INFORMATION.ThreadCount)+";
    }
    return text;
}

void extractRepeatedField(benchmark::State& state) {
    const std::u16string original = repeatedField(state.range(0));
    for (auto _ : state) {
        std::u16string text = original;
        benchmark::DoNotOptimize(tavisto::extractReferences(text));
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(extractRepeatedField)->RangeMultiplier(4)->Range(kFewest, kMost)->Complexity();

// Prints the usual table and keeps the CPU time per reference of each n.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                perReference_[run.complexity_n] =
                    run.GetAdjustedCPUTime() / static_cast<double>(run.complexity_n);
            }
        }
    }

    void printRatio() const {
        const auto fewest = perReference_.find(kFewest);
        const auto most = perReference_.find(kMost);
        if (fewest == perReference_.end() || most == perReference_.end()) {
            return;
        }
        std::printf(
            "\ntime per reference at %lld references / at %lld: %.2f "
            "(1 when linear, %lld when quadratic)\n",
            static_cast<long long>(kMost), static_cast<long long>(kFewest),
            most->second / fewest->second, static_cast<long long>(kMost / kFewest));
    }

  private:
    std::map<std::int64_t, double> perReference_;
};

}  // namespace

int main(int argc, char** argv) {
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
