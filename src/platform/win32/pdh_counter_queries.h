#pragma once
// Counter queries through the Performance Data Helper. The object owns every query
// it opened and closes those still open when it is destroyed.

#include <map>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

class PdhCounterQueries final : public platform::CounterQueries {
  public:
    platform::QueryHandle openQuery() override;
    platform::CounterHandle addCounter(platform::QueryHandle query,
                                       std::u16string_view englishPath) override;
    void collect(platform::QueryHandle query) override;
    // PDH_FMT_DOUBLE; kFailedCounterRead when the call or the record's status fails.
    double read(platform::CounterHandle counter) override;
    void closeQuery(platform::QueryHandle query) override;

  private:
    std::map<platform::QueryHandle, PdhQuery> queries_;
};

}  // namespace tavisto::win32
