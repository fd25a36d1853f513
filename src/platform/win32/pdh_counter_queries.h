#pragma once
// Counter queries through the Performance Data Helper. The object owns every query
// it opened and closes those still open when it is destroyed.

#include <map>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

// PdhCollectQueryData, on any thread; false when the collection failed.
bool collectQueryData(PDH_HQUERY query) noexcept;

class PdhCounterQueries final : public platform::CounterQueries {
  public:
    platform::QueryHandle openQuery() override;
    platform::CounterHandle addCounter(platform::QueryHandle query,
                                       std::u16string_view englishPath) override;
    bool collect(platform::QueryHandle query) override;
    // PDH_FMT_DOUBLE; kFailedCounterRead when the call or the record's status fails.
    double read(platform::CounterHandle counter) override;
    // PDH_FMT_DOUBLE for each instance; only counters this object added reach PDH.
    std::span<const platform::CounterInstance> readInstances(
        platform::CounterHandle counter) override;
    void closeQuery(platform::QueryHandle query) override;
    // Gives up an open query and its counters to the caller, who closes it; none when
    // the query is not open here.
    PdhQuery take(platform::QueryHandle query);

  private:
    PDH_STATUS readArray(PDH_HCOUNTER counter, DWORD& count);

    std::map<platform::QueryHandle, PdhQuery> queries_;
    // The counters of each open query; PDH frees them when their query closes.
    std::map<platform::CounterHandle, platform::QueryHandle> counters_;
    // Shared by every wildcard read and kept between ticks: the array grows only when
    // the instances need more room, so a tick with stable instances allocates nothing.
    std::vector<PDH_FMT_COUNTERVALUE_ITEM_W> items_;
    std::vector<platform::CounterInstance> instances_;
};

}  // namespace tavisto::win32
