#pragma once
// The sensor fields a counter expression can name beside the performance counters and
// the performance information: "ADAPTER_PERFDATA.<field>" for each graphics adapter's
// performance data, "SYSTEM_POWER_STATUS.<field>" for the power supply.

#include <array>
#include <span>
#include <string_view>

namespace tavisto {

inline constexpr std::u16string_view kAdapterFieldPrefix = u"ADAPTER_PERFDATA.";
inline constexpr auto kAdapterFieldNames = std::to_array<std::u16string_view>(
    {u"Temperature", u"FanRPM", u"Power", u"MemoryFrequency"});

inline constexpr std::u16string_view kPowerFieldPrefix = u"SYSTEM_POWER_STATUS.";
inline constexpr auto kPowerFieldNames = std::to_array<std::u16string_view>(
    {u"BatteryLifePercent", u"BatteryLifeTime", u"ACLineStatus"});

// A source of fields: its prefix, with the dot, and the fields it knows.
struct FieldSource {
    std::u16string_view prefix;
    std::span<const std::u16string_view> fields;
};

}  // namespace tavisto
