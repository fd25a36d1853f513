#pragma once
// The system fields a counter expression can name beside the performance counters:
// "PERFORMANCE_INFORMATION.<field>", "SYSTEM_INFO.<field>", and the sensors, "ADAPTER_PERFDATA.<field>" for each
// graphics adapter's performance data and "SYSTEM_POWER_STATUS.<field>" for the power
// supply.

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "config/meter_model.h"
#include "config/performance_field_names.h"

namespace tavisto {

// The fields of each sensor source, with the units each reads in.
inline constexpr std::u16string_view kAdapterFieldPrefix = u"ADAPTER_PERFDATA.";
inline constexpr auto kAdapterFieldNames =
    std::to_array<std::u16string_view>({u"Temperature", u"FanRPM", u"Power", u"MemoryFrequency"});
inline constexpr auto kAdapterFieldUnits = std::to_array<CounterUnits>(
    {CounterUnits::Celsius, CounterUnits::Rpm, CounterUnits::Percent, CounterUnits::Hertz});

inline constexpr std::u16string_view kPowerFieldPrefix = u"SYSTEM_POWER_STATUS.";
inline constexpr auto kPowerFieldNames = std::to_array<std::u16string_view>(
    {u"BatteryLifePercent", u"BatteryLifeTime", u"ACLineStatus"});
inline constexpr auto kPowerFieldUnits = std::to_array<CounterUnits>(
    {CounterUnits::Percent, CounterUnits::Seconds, CounterUnits::Count});

static_assert(kAdapterFieldUnits.size() == kAdapterFieldNames.size() &&
              kPowerFieldUnits.size() == kPowerFieldNames.size());

// A source of fields: its prefix, with the dot, and the fields it knows with their units
// (none: every field is a count; memory figures are pages).
struct FieldSource {
    std::u16string_view prefix;
    std::span<const std::u16string_view> fields;
    std::span<const CounterUnits> units;

    // The source's name, its prefix without the dot: "ADAPTER_PERFDATA".
    constexpr std::u16string_view name() const { return prefix.substr(0, prefix.size() - 1); }
};

inline constexpr FieldSource kFieldSources[] = {
    {kPerformanceFieldPrefix, kPerformanceFieldNames, {}},
    {kSystemInfoFieldPrefix, kSystemInfoFieldNames, {}},
    {kAdapterFieldPrefix, kAdapterFieldNames, kAdapterFieldUnits},
    {kPowerFieldPrefix, kPowerFieldNames, kPowerFieldUnits},
};

// Why the path of a field reference names no field: "ADAPTER_PERFDATA.Temp is not a
// field of ADAPTER_PERFDATA, whose fields are …"; empty for a field its source has.
std::string unknownFieldMessage(std::u16string_view path);

// Whether a reader's table of fields (each with a `name`) lists exactly the names, in
// their order: a field named is a field read.
template <typename Fields, typename Names>
constexpr bool fieldsFollowNames(const Fields& fields, const Names& names) {
    if (fields.size() != names.size()) {
        return false;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name != names[i]) {
            return false;
        }
    }
    return true;
}

// The entry of a reader's table of fields that the path names after `prefix`, the first
// of an equal name; null when the path has another prefix or names no entry.
template <typename Fields>
auto fieldNamed(const Fields& fields, std::u16string_view path, std::u16string_view prefix)
    -> decltype(&fields[0]) {
    if (!path.starts_with(prefix)) {
        return nullptr;
    }
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const auto& candidate) {
        return candidate.name == path.substr(prefix.size());
    });
    return field != fields.end() ? &*field : nullptr;
}

// How the load's refusal of a sensor field its source does not have starts; the
// message goes on with unknownFieldMessage.
inline constexpr char kUnknownSensorField[] = "unknown sensor field: ";

// The source whose prefix the path starts with; null for none.
const FieldSource* fieldSourceOf(std::u16string_view path);

}  // namespace tavisto
