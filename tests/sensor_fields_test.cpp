// The sensors' fields decoded from what the platform reports, adapters named as the GPU
// counters name them, and "not available" kept apart from 0.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "sampling/sensor_fields.h"

namespace tavisto {
namespace {

using platform::AdapterPerformance;
using platform::PowerStatus;

AdapterPerformance adapter(std::uint32_t low, std::uint32_t physical, bool answered,
                           std::uint32_t temperature, std::uint32_t fan, std::uint32_t power,
                           std::uint64_t memory) {
    AdapterPerformance a;
    a.luidLowPart = low;
    a.physicalIndex = physical;
    a.answered = answered;
    a.temperature = temperature;
    a.fanRpm = fan;
    a.power = power;
    a.memoryFrequency = memory;
    return a;
}

PowerStatus power(std::uint8_t line, std::uint8_t flag, std::uint8_t percent,
                  std::uint32_t seconds) {
    return {line, flag, percent, seconds};
}

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

// Not available where that is expected, else the value.
void expectReading(double seen, double expected) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(seen)) << seen;
    } else {
        EXPECT_DOUBLE_EQ(seen, expected);
    }
}

// Two adapters, one of which reports no temperature and no memory frequency (and its fan
// stopped), and one whose driver did not answer; then the power supply in each state.
TEST(SensorFields, DecodeWhatTheSystemReportsAndSayWhyWhatIsMissingIsMissing) {
    const AdapterPerformance hot = adapter(0xD1A5, 0, true, 655, 1500, 423, 7'000'000'000);
    const AdapterPerformance quiet = adapter(0xBEEF, 1, true, 0, 0, 0, 0);
    const AdapterPerformance silent = adapter(0xF00D, 0, false, 0, 0, 0, 0);
    const struct {
        std::u16string_view path;
        SensorRecord record;
        double value;
        std::string_view why;
    } cases[] = {
        {u"ADAPTER_PERFDATA.Temperature", {{quiet, hot, silent}, {}}, 65.5, {}},
        {u"ADAPTER_PERFDATA.FanRPM", {{quiet, hot}, {}}, 1500, {}},
        {u"ADAPTER_PERFDATA.FanRPM", {{quiet}, {}}, 0, {}},
        {u"ADAPTER_PERFDATA.Power", {{hot}, {}}, 42.3, {}},
        {u"ADAPTER_PERFDATA.MemoryFrequency", {{hot}, {}}, 7e9, {}},
        {u"ADAPTER_PERFDATA.Temperature",
         {{quiet, silent}, {}},
         kNotAvailable,
         "this GPU reports no temperature"},
        {u"ADAPTER_PERFDATA.MemoryFrequency",
         {{quiet}, {}},
         kNotAvailable,
         "this GPU reports no memory frequency"},
        {u"ADAPTER_PERFDATA.Power",
         {{silent}, {}},
         kNotAvailable,
         "the GPU's driver did not answer"},
        {u"ADAPTER_PERFDATA.Temperature",
         {},
         kNotAvailable,
         "no GPU here reports its sensors (that takes Windows 10 2004 or later and a WDDM 2.7 "
         "driver)"},
        {u"ADAPTER_PERFDATA.Heat", {{hot}, {}}, kNotAvailable, "the source has no such field"},
        {u"SYSTEM_POWER_STATUS.BatteryLifePercent", {{}, power(0, 0, 80, 5400)}, 80, {}},
        {u"SYSTEM_POWER_STATUS.BatteryLifeTime", {{}, power(0, 0, 80, 5400)}, 5400, {}},
        {u"SYSTEM_POWER_STATUS.ACLineStatus", {{}, power(0, 0, 80, 5400)}, 0, {}},
        {u"SYSTEM_POWER_STATUS.BatteryLifeTime",
         {{}, power(1, 8, 99, 0xFFFFFFFF)},
         kNotAvailable,
         "the battery's time left is unknown (on mains, or still estimated)"},
        // A desktop: on mains, no battery.
        {u"SYSTEM_POWER_STATUS.ACLineStatus", {{}, power(1, 128, 255, 0xFFFFFFFF)}, 1, {}},
        {u"SYSTEM_POWER_STATUS.BatteryLifePercent",
         {{}, power(1, 128, 255, 0xFFFFFFFF)},
         kNotAvailable,
         "no battery"},
        {u"SYSTEM_POWER_STATUS.BatteryLifeTime",
         {{}, power(1, 128, 255, 0xFFFFFFFF)},
         kNotAvailable,
         "no battery"},
        {u"SYSTEM_POWER_STATUS.BatteryLifePercent",
         {{}, power(255, 255, 255, 0xFFFFFFFF)},
         kNotAvailable,
         "the battery's charge is unknown"},
        {u"SYSTEM_POWER_STATUS.ACLineStatus",
         {{}, power(255, 255, 255, 0xFFFFFFFF)},
         kNotAvailable,
         "the power line's state is unknown"},
        {u"SYSTEM_POWER_STATUS.ACLineStatus",
         {},
         kNotAvailable,
         "the system did not report its power status"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()) + " " + std::string(c.why));
        const SensorReading read = readSensor(c.path, c.record);
        expectReading(read.value, c.value);
        EXPECT_EQ(read.unavailable, c.why);
    }
}

TEST(SensorFields, AdaptersAreNamedAndChosenAsTheGpuCountersInstances) {
    AdapterPerformance second = adapter(0x10, 2, true, 700, 0, 0, 0);
    second.luidHighPart = -1;
    EXPECT_EQ(adapterInstanceName(adapter(0xD1A5, 0, true, 0, 0, 0, 0)),
              u"luid_0x00000000_0x0000D1A5_phys_0");
    EXPECT_EQ(adapterInstanceName(second), u"luid_0xFFFFFFFF_0x00000010_phys_2");

    const SensorRecord record{
        {adapter(0xD1A5, 0, true, 500, 0, 0, 0), second, adapter(0xBEEF, 0, true, 0, 0, 0, 0)}, {}};
    const struct {
        std::u16string include;
        InstanceCombine combine;
        double value;
    } cases[] = {
        {u"*", InstanceCombine::Average, 60.0},
        {u"*_phys_2", InstanceCombine::Max, 70.0},
        {u"luid_0x00000000_0x0000D1A5_*", InstanceCombine::Sum, 50.0},
        {u"*", InstanceCombine::Count, 3.0},
        // Chosen, but reporting no temperature: not available rather than 0.
        {u"*BEEF*", InstanceCombine::Max, kNotAvailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.include.begin(), c.include.end()));
        InstanceSelection selection;
        selection.include = {c.include};
        selection.combine = c.combine;
        const CompiledSelection compiled(selection);
        InstanceMemo memo;
        std::size_t steps = kClassificationStepsPerTick;
        const std::optional<double> value =
            combineAdapters(u"ADAPTER_PERFDATA.Temperature", record, compiled, memo, steps);
        ASSERT_TRUE(value.has_value());
        expectReading(*value, c.value);
    }
}

}  // namespace
}  // namespace tavisto
