#pragma once
// The sensor fields of counter expressions, read from what the platform reports:
// "ADAPTER_PERFDATA.<field>" over the graphics adapters, chosen and combined as a
// wildcard counter's instances are, and "SYSTEM_POWER_STATUS.<field>". What the machine
// does not report reads as not available (NaN), never as 0, with the reason.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "sampling/counter_instances.h"

namespace tavisto {

enum class SensorSource { Adapters, PowerStatus };

// None when the path names no sensor source.
std::optional<SensorSource> sensorSourceOf(std::u16string_view path);

// What one read of the sensors found; each source is read only when a reference needs it.
struct SensorRecord {
    std::vector<platform::AdapterPerformance> adapters;
    std::optional<platform::PowerStatus> power;
};

// Reads the sources named into the record.
void readSensors(platform::Sensors& sensors, bool adapters, bool power, SensorRecord& record);

// A value, NaN when it is not available, and then why, in plain words.
struct SensorReading {
    double value;
    std::string_view unavailable;
};

// The adapter's instance name, as the GPU counters name it:
// "luid_0x00000000_0x0000D1A5_phys_0".
std::u16string adapterInstanceName(const platform::AdapterPerformance& adapter);

// A sensor reference read from the record: a power field, or an adapter field's highest
// value over the adapters that report it (a temperature is not summed).
SensorReading readSensor(std::u16string_view path, const SensorRecord& record);

// An adapter field over the adapters an "instances" object chooses, combined as it says;
// none while new names wait for classification, as for a wildcard counter.
std::optional<double> combineAdapters(std::u16string_view path, const SensorRecord& record,
                                      const CompiledSelection& compiled, InstanceMemo& memo,
                                      std::size_t& stepsLeft);

}  // namespace tavisto
