#include "window/machine_counter_catalog.h"

#include <pdhmsg.h>

#include <array>
#include <cstdio>
#include <utility>

#include "platform/win32/sensors.h"

namespace tavisto::window {

std::string counterRefusalText(PDH_STATUS status) {
    static constexpr auto kReasons = std::to_array<std::pair<PDH_STATUS, const char*>>({
        {PDH_CSTATUS_NO_OBJECT, "this machine has no such counter object"},
        {PDH_CSTATUS_NO_COUNTER, "this machine has no such counter"},
        {PDH_CSTATUS_NO_INSTANCE, "this machine has no such instance of the object"},
        {PDH_CSTATUS_BAD_COUNTERNAME, "the counter path is not written as \\Object\\Counter"},
        {PDH_CSTATUS_NO_MACHINE, "the computer the path names cannot be reached"},
        {PDH_ACCESS_DENIED, "this user may not read the counter"},
        {PDH_MEMORY_ALLOCATION_FAILURE, "the system ran out of memory adding it"},
        {PDH_INVALID_ARGUMENT, "the system does not take the path as a counter path"},
    });
    char code[16] = {};
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(status));
    for (const auto& [known, reason] : kReasons) {
        if (known == status) {
            return std::string(reason) + " (system code " + code + ")";
        }
    }
    return std::string("the system refused it with code ") + code;
}

std::string MachineCounterCatalog::missingReason(std::u16string_view englishPath) {
    const std::optional<SensorSource> sensor = sensorSourceOf(englishPath);
    if (!sensor) {
        return counterMissingReason(englishPath);
    }
    if (!sensors_) {
        win32::Win32Sensors machine;
        sensors_.emplace();
        readSensors(machine, true, true, *sensors_);
    }
    return std::string(readSensor(englishPath, *sensors_).unavailable);
}

std::string MachineCounterCatalog::counterMissingReason(std::u16string_view englishPath) {
    if (!query_) {
        PDH_HQUERY opened = nullptr;
        if (PdhOpenQueryW(nullptr, 0, &opened) != ERROR_SUCCESS) {
            return {};  // nothing can be said without a query
        }
        query_ = win32::PdhQuery(opened);
    }
    // PDH wants a terminated string; UTF-16 code units are wchar_t on Windows.
    const std::wstring path(englishPath.begin(), englishPath.end());
    PDH_HCOUNTER counter = nullptr;
    const PDH_STATUS status = PdhAddEnglishCounterW(query_.get(), path.c_str(), 0, &counter);
    if (status != ERROR_SUCCESS) {
        return counterRefusalText(status);
    }
    PdhRemoveCounter(counter);
    return {};
}

}  // namespace tavisto::window
