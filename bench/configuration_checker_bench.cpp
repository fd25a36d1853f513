// Checking the example configuration against parsing it with the JSON library alone: the
// check parses, records positions, walks for warnings and runs the loader, and should
// cost at most 5 times the bare parse. Prints the ratio after the runs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"
#include "cpu_time_reporter.h"

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

void printRatio(const tavisto::bench::CpuTimeReporter& times) {
    if (!times.ran("parse_example") || !times.ran("check_example")) {
        return;
    }
    const double parse = times.nanoseconds("parse_example");
    const double check = times.nanoseconds("check_example");
    std::printf(
        "\ncheck %.1f us, parse %.1f us: the check costs %.2fx the parse (goal: at most 5x)\n",
        check / 1000, parse / 1000, check / parse);
}

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
    return tavisto::bench::runBenchmarks(argc, argv, printRatio);
}
