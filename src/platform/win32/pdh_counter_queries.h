#pragma once
// Counter queries through the Performance Data Helper. The object owns every query
// it opened and closes those still open when it is destroyed. It is not shared between
// threads: a window's collector makes every call of it on its own thread.

#include <map>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

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
