#include "platform/win32/pdh_counter_queries.h"

#include <pdhmsg.h>

#include <string>

namespace tavisto::win32 {
namespace {

// Rate counters report a failed status until their second collection.
bool isValid(const PDH_FMT_COUNTERVALUE& value) {
    return value.CStatus == PDH_CSTATUS_VALID_DATA || value.CStatus == PDH_CSTATUS_NEW_DATA;
}

// MinGW's pdhmsg.h gives these codes as unsigned numbers; PDH returns them signed.
constexpr auto kMoreData = static_cast<PDH_STATUS>(PDH_MORE_DATA);
constexpr auto kInvalidArgument = static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
constexpr auto kNoData = static_cast<PDH_STATUS>(PDH_NO_DATA);

}  // namespace

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
    const auto handle = reinterpret_cast<platform::CounterHandle>(counter);
    counters_.insert_or_assign(handle, query);
    return handle;
}

bool PdhCounterQueries::collect(platform::QueryHandle query) {
    if (!queries_.contains(query)) {
        return false;
    }
    const PDH_STATUS status = PdhCollectQueryData(reinterpret_cast<PDH_HQUERY>(query));
    // PDH_NO_DATA: the query has no counters, or its only counter's instance is absent;
    // the counters' own statuses then say what each reads.
    return status == ERROR_SUCCESS || status == kNoData;
}

double PdhCounterQueries::read(platform::CounterHandle counter) {
    PDH_FMT_COUNTERVALUE value{};
    const PDH_STATUS status = PdhGetFormattedCounterValue(reinterpret_cast<PDH_HCOUNTER>(counter),
                                                          PDH_FMT_DOUBLE, nullptr, &value);
    // A counter that could not be added (handle 0) fails the call.
    if (status != ERROR_SUCCESS || !isValid(value)) {
        return platform::kFailedCounterRead;
    }
    return value.doubleValue;
}

PDH_STATUS PdhCounterQueries::readArray(PDH_HCOUNTER counter, DWORD& count) {
    auto bytes = static_cast<DWORD>(items_.size() * sizeof(PDH_FMT_COUNTERVALUE_ITEM_W));
    return PdhGetFormattedCounterArrayW(counter, PDH_FMT_DOUBLE, &bytes, &count,
                                        items_.empty() ? nullptr : items_.data());
}

std::span<const platform::CounterInstance> PdhCounterQueries::readInstances(
    platform::CounterHandle counter) {
    // Never for a counter that was not added here: some PDH implementations abort
    // the process in this call instead of failing it.
    if (!counters_.contains(counter)) {
        return {};
    }
    const auto pdhCounter = reinterpret_cast<PDH_HCOUNTER>(counter);
    DWORD count = 0;
    PDH_STATUS status = readArray(pdhCounter, count);
    if (status == kMoreData || status == kInvalidArgument) {
        // The array is too small. Only a size asked for with an empty buffer can be
        // relied on (some releases answer a short buffer with PDH_INVALID_ARGUMENT).
        DWORD bytes = 0;
        if (PdhGetFormattedCounterArrayW(pdhCounter, PDH_FMT_DOUBLE, &bytes, &count, nullptr) !=
            kMoreData) {
            return {};
        }
        // The names follow the records in the same buffer.
        items_.resize(bytes / sizeof(PDH_FMT_COUNTERVALUE_ITEM_W) + 1);
        status = readArray(pdhCounter, count);
    }
    if (status != ERROR_SUCCESS || count > items_.size()) {
        return {};
    }
    instances_.resize(count);
    for (DWORD index = 0; index < count; ++index) {
        const PDH_FMT_COUNTERVALUE_ITEM_W& item = items_[index];
        // UTF-16 code units are wchar_t on Windows.
        const auto* name = reinterpret_cast<const char16_t*>(item.szName);
        instances_[index] = {name != nullptr ? std::u16string_view(name) : std::u16string_view(),
                             item.FmtValue.doubleValue, isValid(item.FmtValue)};
    }
    return instances_;
}

void PdhCounterQueries::closeQuery(platform::QueryHandle query) {
    std::erase_if(counters_, [query](const auto& entry) { return entry.second == query; });
    // Closing the query frees its counters.
    queries_.erase(query);
}

}  // namespace tavisto::win32
