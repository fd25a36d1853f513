#pragma once
// The system fields a counter expression can name beside the performance counters:
// "PERFORMANCE_INFORMATION.<field>", and the sensors, "ADAPTER_PERFDATA.<field>" for each
// graphics adapter's performance data and "SYSTEM_POWER_STATUS.<field>" for the power
// supply.

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "config/performance_field_names.h"

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
    // A sensor: what it does not report reads as not available, and a field it does not
    // know refuses the file; an unknown performance field reads 0.
    bool sensor;
};

inline constexpr FieldSource kFieldSources[] = {
    {kPerformanceFieldPrefix, kPerformanceFieldNames, false},
    {kAdapterFieldPrefix, kAdapterFieldNames, true},
    {kPowerFieldPrefix, kPowerFieldNames, true},
};

// Why the path of a field reference names no field: "ADAPTER_PERFDATA.Temp is not a
// field of ADAPTER_PERFDATA, whose fields are …"; empty for a field its source has.
std::string unknownFieldMessage(std::u16string_view path);

// How the load's refusal of a sensor field its source does not have starts; the
// message goes on with unknownFieldMessage.
inline constexpr char kUnknownSensorField[] = "unknown sensor field: ";

// The source whose prefix the path starts with; null for none.
const FieldSource* fieldSourceOf(std::u16string_view path);

}  // namespace tavisto
