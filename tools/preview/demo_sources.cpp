#include "preview/demo_sources.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "core/text_conversion.h"

namespace tavisto::preview {
namespace {

// A stable number per path (FNV-1a), so that each counter has its own phase.
std::uint32_t pathHash(std::u16string_view path) {
    std::uint32_t hash = 2166136261U;
    for (char16_t c : path) {
        hash = (hash ^ static_cast<std::uint32_t>(c)) * 16777619U;
    }
    return hash;
}

double wave(std::uint32_t seed, int step) {
    const double phase = static_cast<double>(seed % 628U) / 100.0;
    return 0.5 + 0.45 * std::sin(phase + 0.9 * step);
}

// Byte rates up to 2 MB/s, percentages up to 100; `share` splits the range between
// the instances of a wildcard path, so that their sum stays in it.
double demoValue(std::u16string_view path, std::uint32_t seed, int step, double share) {
    const double level = wave(seed, step);
    if (path.find(u"Bytes") != std::u16string_view::npos) {
        return share * 2'000'000.0 * level * level;
    }
    return share * 100.0 * level;
}

// The programs of the demo machine's 500 processes, busiest first: \Process names the
// second and later of one program chrome#1, chrome#2, ...
constexpr std::array<std::u16string_view, 20> kDemoPrograms = {
    u"chrome",   u"Code",     u"explorer",  u"Teams",     u"OneDrive",
    u"MsMpEng",  u"svchost",  u"dwm",       u"Spotify",   u"SearchHost",
    u"firefox",  u"Discord",  u"steam",     u"slack",     u"Zoom",
    u"RuntimeBroker", u"ctfmon", u"audiodg", u"WmiPrvSE", u"conhost"};
constexpr std::size_t kDemoProcesses = 500;

bool namesProcesses(std::u16string_view path) {
    return path.starts_with(u"\\Process(");
}

// Every process of the demo machine as \Process names it, with the totals PDH adds;
// made once, as the machine's processes stay.
const std::vector<std::u16string>& demoProcessNames() {
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> made = {u"_Total", u"Idle"};
        for (std::size_t number = 0; number < kDemoProcesses; ++number) {
            std::u16string name(kDemoPrograms[number % kDemoPrograms.size()]);
            if (const std::size_t copy = number / kDemoPrograms.size(); copy > 0) {
                name += u'#' + utf8ToUtf16(std::to_string(copy));
            }
            made.push_back(std::move(name));
        }
        return made;
    }();
    return names;
}

}  // namespace

platform::QueryHandle DemoCounters::openQuery() {
    ++lastQuery_;
    collections_[lastQuery_] = 0;
    return lastQuery_;
}

platform::CounterHandle DemoCounters::addCounter(platform::QueryHandle query,
                                                 std::u16string_view englishPath) {
    if (collections_.count(query) == 0) {
        return 0;
    }
    Counter& counter = counters_[++lastCounter_];
    counter.query = query;
    counter.path = englishPath;
    if (namesProcesses(englishPath)) {
        for (const std::u16string& name : demoProcessNames()) {
            counter.instances.push_back({name, 0.0, true});
        }
    } else {
        counter.instances.resize(3);
    }
    return lastCounter_;
}

bool DemoCounters::collect(platform::QueryHandle query) {
    const auto found = collections_.find(query);
    if (found == collections_.end()) {
        return false;
    }
    ++found->second;
    return true;
}

double DemoCounters::read(platform::CounterHandle counter) {
    const auto found = counters_.find(counter);
    if (found == counters_.end()) {
        return platform::kFailedCounterRead;
    }
    const std::u16string& path = found->second.path;
    return demoValue(path, pathHash(path), collections_[found->second.query], 1.0);
}

std::span<const platform::CounterInstance> DemoCounters::readInstances(
    platform::CounterHandle counter) {
    const auto found = counters_.find(counter);
    if (found == counters_.end()) {
        return {};
    }
    const std::u16string& path = found->second.path;
    const int step = collections_[found->second.query];
    auto& instances = found->second.instances;
    if (namesProcesses(path)) {
        // Each program's processes share a load that halves down the list of programs,
        // one processor's worth (100) or more for the busiest: "% Processor Time" counts
        // every processor of the machine.
        double total = 0.0;
        for (std::size_t number = 0; number < kDemoProcesses; ++number) {
            const std::size_t program = number % kDemoPrograms.size();
            const double share = 3.2 / static_cast<double>(program + 1) /
                                 static_cast<double>(kDemoProcesses / kDemoPrograms.size());
            const auto seed = pathHash(path) + 157U * static_cast<std::uint32_t>(number);
            instances[number + 2].value = demoValue(path, seed, step, share);
            total += instances[number + 2].value;
        }
        instances[1].value = 800.0 - std::min(total, 800.0);  // Idle, on 8 processors
        instances[0].value = total + instances[1].value;
        return instances;
    }
    instances[0] = {u"Demo 0", demoValue(path, pathHash(path), step, 0.5), true};
    instances[1] = {u"Demo 1", demoValue(path, pathHash(path) + 157U, step, 0.5), true};
    instances[2] = {u"_Total", instances[0].value + instances[1].value, true};
    return instances;
}

void DemoCounters::closeQuery(platform::QueryHandle query) {
    collections_.erase(query);
    std::erase_if(counters_, [query](const auto& entry) { return entry.second.query == query; });
}

platform::PerformanceRecord DemoPerformance::read(platform::PerformanceScope) {
    platform::PerformanceRecord record;
    record.pageSize = 4096;
    record.physicalTotal = 4'194'304;
    record.physicalAvailable =
        static_cast<std::uint64_t>(1'800'000.0 + 200'000.0 * std::sin(0.5 * ++reads_));
    record.systemCache = 900'000;
    record.commitTotal = 3'000'000;
    record.commitLimit = 6'000'000;
    record.commitPeak = 3'500'000;
    record.kernelPaged = 120'000;
    record.kernelNonpaged = 40'000;
    record.kernelTotal = record.kernelPaged + record.kernelNonpaged;
    record.handleCount = 80'000;
    record.processCount = 180;
    record.threadCount = 2'400;
    record.logicalProcessors = 8;
    return record;
}

void DemoSensors::readAdapters(std::vector<platform::AdapterPerformance>& adapters) {
    platform::AdapterPerformance adapter;
    adapter.luidLowPart = 0xD1A5;
    adapter.answered = true;
    adapter.temperature = static_cast<std::uint32_t>(540.0 + 60.0 * std::sin(0.3 * ++reads_));
    adapter.fanRpm = 1'200;
    adapter.power = 350;
    adapter.memoryFrequency = 7'000'000'000;
    adapters.assign(1, adapter);
}

std::optional<platform::PowerStatus> DemoSensors::readPowerStatus() {
    platform::PowerStatus status;
    status.acLineStatus = 0;
    status.batteryFlag = 2;  // low
    status.batteryLifePercent = 15;
    return status;
}

std::optional<std::u16string> DemoSensors::processImageName(std::uint32_t processId) {
    std::ifstream comm("/proc/" + std::to_string(processId) + "/comm", std::ios::binary);
    // The kernel keeps 15 bytes of the name; more room than that tells nothing more.
    std::array<char, 64> read{};
    comm.read(read.data(), read.size());
    std::string_view name(read.data(), static_cast<std::size_t>(comm.gcount()));
    if (name.ends_with('\n')) {
        name.remove_suffix(1);
    }
    if (name.empty()) {
        return std::nullopt;
    }
    try {
        return utf8ToUtf16(name);
    } catch (const std::range_error&) {
        // Not UTF-8, or cut by the kernel inside a character.
        return std::nullopt;
    }
}

}  // namespace tavisto::preview
