#include "sampling/sensor_fields.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "config/system_fields.h"

namespace tavisto {
namespace {

using platform::AdapterPerformance;
using platform::PowerStatus;

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

struct AdapterField {
    std::u16string_view name;
    // Why a 0 reads as not available; empty when 0 is a reading (a fan stopped at idle).
    std::string_view zeroMeans;
    double (*value)(const AdapterPerformance&);
};

constexpr auto kAdapterFields = std::to_array<AdapterField>({
    {u"Temperature", "this GPU reports no temperature",
     [](const AdapterPerformance& a) { return a.temperature / 10.0; }},
    {u"FanRPM", {}, [](const AdapterPerformance& a) { return static_cast<double>(a.fanRpm); }},
    {u"Power", {}, [](const AdapterPerformance& a) { return a.power / 10.0; }},
    {u"MemoryFrequency", "this GPU reports no memory frequency",
     [](const AdapterPerformance& a) { return static_cast<double>(a.memoryFrequency); }},
});

struct PowerField {
    std::u16string_view name;
    SensorReading (*read)(const PowerStatus&);
};

SensorReading reading(double value) {
    return {value, {}};
}

SensorReading notAvailable(std::string_view why) {
    return {kNotAvailable, why};
}

constexpr std::string_view kNoBattery = "no battery";

bool hasNoBattery(const PowerStatus& status) {
    return status.batteryFlag != PowerStatus::kUnknown &&
           (status.batteryFlag & PowerStatus::kNoBattery) != 0;
}

constexpr auto kPowerFields = std::to_array<PowerField>({
    {u"BatteryLifePercent",
     [](const PowerStatus& s) {
         if (hasNoBattery(s)) {
             return notAvailable(kNoBattery);
         }
         return s.batteryLifePercent <= 100 ? reading(s.batteryLifePercent)
                                            : notAvailable("the battery's charge is unknown");
     }},
    {u"BatteryLifeTime",
     [](const PowerStatus& s) {
         if (hasNoBattery(s)) {
             return notAvailable(kNoBattery);
         }
         return s.batteryLifeTime != PowerStatus::kUnknownLifeTime
                    ? reading(s.batteryLifeTime)
                    : notAvailable(
                          "the battery's time left is unknown (on mains, or still estimated)");
     }},
    {u"ACLineStatus",
     [](const PowerStatus& s) {
         return s.acLineStatus <= 1 ? reading(s.acLineStatus)
                                    : notAvailable("the power line's state is unknown");
     }},
});

static_assert(fieldsFollowNames(kAdapterFields, kAdapterFieldNames) &&
                  fieldsFollowNames(kPowerFields, kPowerFieldNames),
              "every named field is read, in the same order");

constexpr std::string_view kNoSuchField = "the source has no such field";

SensorReading adapterReading(const AdapterField& field, const AdapterPerformance& adapter) {
    if (!adapter.answered) {
        return notAvailable("the GPU's driver did not answer");
    }
    const double value = field.value(adapter);
    return value == 0.0 && !field.zeroMeans.empty() ? notAvailable(field.zeroMeans)
                                                    : reading(value);
}

}  // namespace

std::optional<SensorSource> sensorSourceOf(std::u16string_view path) {
    if (path.starts_with(kAdapterFieldPrefix)) {
        return SensorSource::Adapters;
    }
    if (path.starts_with(kPowerFieldPrefix)) {
        return SensorSource::PowerStatus;
    }
    return std::nullopt;
}

void readSensors(platform::Sensors& sensors, bool adapters, bool power, SensorRecord& record) {
    if (adapters) {
        sensors.readAdapters(record.adapters);
    }
    if (power) {
        record.power = sensors.readPowerStatus();
    }
}

std::u16string adapterInstanceName(const AdapterPerformance& adapter) {
    char name[64] = {};
    std::snprintf(name, sizeof(name), "luid_0x%08" PRIX32 "_0x%08" PRIX32 "_phys_%" PRIu32,
                  static_cast<std::uint32_t>(adapter.luidHighPart), adapter.luidLowPart,
                  adapter.physicalIndex);
    return std::u16string(name, name + std::char_traits<char>::length(name));
}

SensorReading readSensor(std::u16string_view path, const SensorRecord& record) {
    if (const PowerField* field = fieldNamed(kPowerFields, path, kPowerFieldPrefix)) {
        return record.power ? field->read(*record.power)
                            : notAvailable("the system did not report its power status");
    }
    const AdapterField* field = fieldNamed(kAdapterFields, path, kAdapterFieldPrefix);
    if (field == nullptr) {
        return notAvailable(kNoSuchField);
    }
    if (record.adapters.empty()) {
        return notAvailable(
            "no GPU here reports its sensors (that takes Windows 10 2004 or later and a WDDM "
            "2.7 driver)");
    }
    std::optional<SensorReading> highest;
    for (const AdapterPerformance& adapter : record.adapters) {
        const SensorReading read = adapterReading(*field, adapter);
        if (!highest || (read.unavailable.empty() &&
                         (!highest->unavailable.empty() || read.value > highest->value))) {
            highest = read;
        }
    }
    return *highest;
}

std::optional<double> combineAdapters(std::u16string_view path, const SensorRecord& record,
                                      const CompiledSelection& compiled, InstanceMemo& memo,
                                      std::size_t& stepsLeft) {
    const AdapterField* field = fieldNamed(kAdapterFields, path, kAdapterFieldPrefix);
    if (field == nullptr) {
        return kNotAvailable;
    }
    std::vector<std::u16string> names;
    names.reserve(record.adapters.size());
    for (const AdapterPerformance& adapter : record.adapters) {
        names.push_back(adapterInstanceName(adapter));
    }
    // The names are all in place before any instance points into them.
    std::vector<platform::CounterInstance> instances;
    instances.reserve(record.adapters.size());
    for (std::size_t i = 0; i < record.adapters.size(); ++i) {
        const SensorReading read = adapterReading(*field, record.adapters[i]);
        instances.push_back({names[i], read.value, read.unavailable.empty()});
    }
    return combineInstances(instances, compiled, memo, stepsLeft, kNotAvailable);
}

}  // namespace tavisto
