// What one read of the sensors costs, under Wine (scripts/sensors-cost-wine; the tests
// never run it): the mean wall time of Win32Sensors::readAdapters and readPowerStatus,
// each alone and one after the other, over the reads given.
//   sensors_cost.exe [reads, default 5000]

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/win32/sensors.h"

namespace {

double nowSeconds() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Mean microseconds per call of `read`; `sink` keeps the calls from being dropped.
template <typename Read>
double meanMicroseconds(int reads, Read read, std::size_t& sink) {
    const double start = nowSeconds();
    for (int index = 0; index < reads; ++index) {
        sink += read();
    }
    return (nowSeconds() - start) * 1e6 / reads;
}

}  // namespace

int main(int argc, char** argv) {
    const int reads = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (reads <= 0) {
        std::fprintf(stderr, "sensors_cost: the count of reads must be positive\n");
        return 2;
    }
    tavisto::win32::Win32Sensors sensors;
    std::vector<tavisto::platform::AdapterPerformance> read;
    const auto readAdapters = [&] {
        sensors.readAdapters(read);
        return read.size();
    };
    const auto power = sensors.readPowerStatus();
    std::printf("adapters: %zu; power status: %s", readAdapters(), power ? "" : "none\n");
    if (power) {
        std::printf("AC line %u, battery flag %u, battery %u %%, life time %lu s\n",
                    power->acLineStatus, power->batteryFlag, power->batteryLifePercent,
                    static_cast<unsigned long>(power->batteryLifeTime));
    }
    std::size_t sink = 0;
    const double adapters = meanMicroseconds(
        reads, readAdapters, sink);
    const double powerOnly = meanMicroseconds(
        reads, [&] { return std::size_t{sensors.readPowerStatus().has_value()}; }, sink);
    const double both = meanMicroseconds(
        reads,
        [&] {
            return readAdapters() + std::size_t{sensors.readPowerStatus().has_value()};
        },
        sink);
    std::printf(
        "mean over %d reads: readAdapters %.3f us, readPowerStatus %.3f us, "
        "both %.3f us (%zu answers)\n",
        reads, adapters, powerOnly, both, sink);
    return 0;
}
