#pragma once
// The counters this machine can sample, asked of PDH as the band adds them, and the
// sensors it reports, read once.

#include <pdh.h>

#include <optional>
#include <string>
#include <string_view>

#include "config/configuration_checker.h"
#include "platform/win32/handles.h"
#include "sampling/sensor_fields.h"

namespace tavisto::window {

// Why PDH refused to add a counter, in plain words, with the system's code.
std::string counterRefusalText(PDH_STATUS status);

// A counter exists here when it can be added to a query by its English path; a sensor
// field is available when the sensors read at its first question report it. Used on
// one thread at a time.
class MachineCounterCatalog final : public CounterCatalog {
  public:
    std::string missingReason(std::u16string_view englishPath) override;

  private:
    std::string counterMissingReason(std::u16string_view englishPath);

    win32::PdhQuery query_;
    std::optional<SensorRecord> sensors_;
};

}  // namespace tavisto::window
