#pragma once
// Deterministic counter sources for the previews: the same configuration always gives
// the same pictures, on Linux (Cairo) and under Wine (GDI+) alike.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavisto::preview {

// Counter values that follow a fixed wave per path, one step per collection of the
// query: percentages for "%" counters, byte rates for "Bytes" counters. A wildcard
// path matches two instances with waves of their own, and a "_Total" of both; one of
// \Process matches the 500 processes of 20 programs, "Idle" and "_Total".
class DemoCounters final : public platform::CounterQueries {
  public:
    platform::QueryHandle openQuery() override;
    platform::CounterHandle addCounter(platform::QueryHandle query,
                                       std::u16string_view englishPath) override;
    bool collect(platform::QueryHandle query) override;
    double read(platform::CounterHandle counter) override;
    std::span<const platform::CounterInstance> readInstances(
        platform::CounterHandle counter) override;
    void closeQuery(platform::QueryHandle query) override;

  private:
    struct Counter {
        platform::QueryHandle query = 0;
        std::u16string path;
        std::vector<platform::CounterInstance> instances;
    };
    std::map<platform::QueryHandle, int> collections_;
    std::map<platform::CounterHandle, Counter> counters_;
    platform::QueryHandle lastQuery_ = 0;
    platform::CounterHandle lastCounter_ = 0;
};

// A machine with 16 GiB of memory in 4 KiB pages, a little over half of it in use,
// the figure moving a little at every read.
class DemoPerformance final : public platform::SystemPerformance {
  public:
    platform::PerformanceRecord read(platform::PerformanceScope scope) override;

  private:
    int reads_ = 0;
};

// A laptop with one graphics adapter that reports its sensors, warming and cooling a
// little at every read, and a battery running low, at 15%. Processes are named as Linux
// names them (/proc/<pid>/comm), so that the preview shows real names.
class DemoSensors final : public platform::Sensors {
  public:
    void readAdapters(std::vector<platform::AdapterPerformance>& adapters) override;
    std::optional<platform::PowerStatus> readPowerStatus() override;
    std::optional<std::u16string> processImageName(std::uint32_t processId) override;

  private:
    int reads_ = 0;
};

}  // namespace tavisto::preview
