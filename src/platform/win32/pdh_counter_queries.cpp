#include "platform/win32/pdh_counter_queries.h"

#include <pdhmsg.h>

#include <string>

namespace tavisto::win32 {

platform::QueryHandle PdhCounterQueries::openQuery() {
    PDH_HQUERY opened = nullptr;
    if (PdhOpenQueryW(nullptr, 0, &opened) != ERROR_SUCCESS || opened == nullptr) {
        return 0;
    }
    const auto handle = reinterpret_cast<platform::QueryHandle>(opened);
    queries_.insert_or_assign(handle, PdhQuery(opened));
    return handle;
}

platform::CounterHandle PdhCounterQueries::addCounter(platform::QueryHandle query,
                                                      std::u16string_view englishPath) {
    if (!queries_.contains(query)) {
        return 0;
    }
    // PDH wants a terminated string; UTF-16 code units are wchar_t on Windows.
    const std::wstring path(englishPath.begin(), englishPath.end());
    PDH_HCOUNTER counter = nullptr;
    if (PdhAddEnglishCounterW(reinterpret_cast<PDH_HQUERY>(query), path.c_str(), 0, &counter) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return reinterpret_cast<platform::CounterHandle>(counter);
}

void PdhCounterQueries::collect(platform::QueryHandle query) {
    if (queries_.contains(query)) {
        PdhCollectQueryData(reinterpret_cast<PDH_HQUERY>(query));
    }
}

double PdhCounterQueries::read(platform::CounterHandle counter) {
    PDH_FMT_COUNTERVALUE value{};
    const PDH_STATUS status = PdhGetFormattedCounterValue(reinterpret_cast<PDH_HCOUNTER>(counter),
                                                          PDH_FMT_DOUBLE, nullptr, &value);
    // A counter that could not be added (handle 0) fails the call; rate counters
    // report a failed record status until their second collection.
    if (status != ERROR_SUCCESS ||
        (value.CStatus != PDH_CSTATUS_VALID_DATA && value.CStatus != PDH_CSTATUS_NEW_DATA)) {
        return platform::kFailedCounterRead;
    }
    return value.doubleValue;
}

void PdhCounterQueries::closeQuery(platform::QueryHandle query) {
    queries_.erase(query);
}

}  // namespace tavisto::win32
