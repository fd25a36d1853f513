// Reading files of hostile shape, each near the 1 MiB limit: the bounded parse against
// the JSON library's plain parse (goal: at most 2 times), and the checker against the
// plain parse (goals: at most 10 times the time, a peak of at most 20 times the file's
// size above the plain parse's own, at most 64 KiB of printed findings). Prints the
// ratios after the runs; the peak is taken by counting what operator new hands out.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_checker.h"
#include "config/configuration_text.h"
#include "cpu_time_reporter.h"

namespace {

std::size_t liveBytes = 0;
std::size_t peakBytes = 0;

}  // namespace

void* operator new(std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    liveBytes += malloc_usable_size(memory);
    peakBytes = std::max(peakBytes, liveBytes);
    return memory;
}

void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        liveBytes -= malloc_usable_size(memory);
        std::free(memory);
    }
}

void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}

namespace {

using tavisto::kMaxConfigurationBytes;

constexpr std::size_t kRoom = kMaxConfigurationBytes - 64;

// `opening`, then `item(i)` separated by commas while the text stays within the limit,
// then `closing`.
std::string repeated(const std::string& opening,
                     const std::function<std::string(std::size_t)>& item,
                     const std::string& closing) {
    std::string text = opening;
    for (std::size_t i = 0;; ++i) {
        const std::string next = (i == 0 ? "" : ",") + item(i);
        if (text.size() + next.size() + closing.size() > kRoom) {
            break;
        }
        text += next;
    }
    return text + closing;
}

struct Shape {
    const char* name;
    std::string text;
};

std::vector<Shape> shapes() {
    const std::string longKey(256 * 1024, 'k');
    return {
        {"empty_objects_in_an_array", repeated(
                                          "[", [](auto) { return "{}"; }, "]")},
        {"empty_arrays_in_an_array", repeated(
                                         "[", [](auto) { return "[]"; }, "]")},
        {"object_of_empty_objects",
         repeated(
             "{", [](std::size_t i) { return '"' + std::to_string(i) + "\":{}"; }, "}")},
        {"numbers", repeated(
                        "[", [](std::size_t i) { return i % 2 ? "1E9" : "-12.5e-3"; }, "]")},
        {"long_strings", repeated(
                             "[", [](auto) { return '"' + std::string(4000, 's') + '"'; }, "]")},
        {"long_key_over_an_array", repeated(
                                       "{\"meterGroups\": {\"" + longKey + "\": {\"meters\": [",
                                       [](auto) { return "{}"; }, "]}}}")},
        {"keys_on_one_line",
         repeated(
             "{", [](std::size_t i) { return "\"k" + std::to_string(i) + "\":0"; }, "}")},
        {"graph_of_counters",
         repeated(R"({"meterGroups": [{"meters": [{"meterType": "graph", "width": 20, )"
                  R"("refreshRate": 1000, "counters": [)",
                  [](auto) { return R"j({"counterPath": "(\\A\\B)", "colour": 1})j"; }, "]}]}]}")},
    };
}

void plainParse(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::parse(*text));
    }
}

void boundedParse(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavisto::parseConfigurationText(*text));
    }
}

void check(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavisto::checkConfiguration(*text));
    }
}

// The peak of live heap bytes while `run` runs, above what was live before it.
std::size_t peakOf(const std::function<void()>& run) {
    const std::size_t before = liveBytes;
    peakBytes = before;
    run();
    return peakBytes - before;
}

// What tavisto-check prints for the findings.
std::size_t printedBytes(const std::vector<tavisto::Finding>& findings) {
    std::size_t bytes = 0;
    for (const tavisto::Finding& finding : findings) {
        bytes += static_cast<std::size_t>(std::snprintf(
            nullptr, 0, "TavistoConfig.json:%zu:%zu: warning: %s [%s]\n", finding.line,
            finding.column, finding.message.c_str(), finding.pointer.c_str()));
    }
    return bytes;
}

std::vector<Shape> allShapes;

void printRatios(const tavisto::bench::CpuTimeReporter& times) {
    std::printf("\n%-28s %9s %9s %11s %11s %9s\n", "shape (near 1 MiB)", "bounded", "check",
                "plain peak", "check peak", "printed");
    std::printf("%-28s %9s %9s %11s %11s %9s\n", "", "/plain", "/plain", "/file", "/file", "KiB");
    for (const Shape& shape : allShapes) {
        const std::string name = shape.name;
        if (!times.ran("plain/" + name)) {
            continue;
        }
        const double plain = times.nanoseconds("plain/" + name);
        const double file = static_cast<double>(shape.text.size());
        const std::size_t plainPeak =
            peakOf([&] { benchmark::DoNotOptimize(nlohmann::json::parse(shape.text)); });
        std::vector<tavisto::Finding> findings;
        const std::size_t checkPeak =
            peakOf([&] { findings = tavisto::checkConfiguration(shape.text); });
        std::printf("%-28s %8.2fx %8.2fx %10.1fx %10.1fx %9.1f\n", shape.name,
                    times.nanoseconds("bounded/" + name) / plain,
                    times.nanoseconds("check/" + name) / plain,
                    static_cast<double>(plainPeak) / file, static_cast<double>(checkPeak) / file,
                    static_cast<double>(printedBytes(findings)) / 1024.0);
    }
    std::printf(
        "goals: bounded at most 2x the plain parse; check at most 10x its time, a peak at "
        "most 20x the file, at most 64 KiB printed\n");
}

}  // namespace

int main(int argc, char** argv) {
    allShapes = shapes();
    for (const Shape& shape : allShapes) {
        const std::string name = shape.name;
        benchmark::RegisterBenchmark(("plain/" + name).c_str(), &plainParse, &shape.text);
        benchmark::RegisterBenchmark(("bounded/" + name).c_str(), &boundedParse, &shape.text);
        benchmark::RegisterBenchmark(("check/" + name).c_str(), &check, &shape.text);
    }
    return tavisto::bench::runBenchmarks(argc, argv, printRatios);
}
