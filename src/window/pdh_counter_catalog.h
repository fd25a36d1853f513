#pragma once
// The counters this machine can sample, asked of PDH as the band adds them.

#include <pdh.h>

#include <string>
#include <string_view>

#include "config/configuration_checker.h"
#include "platform/win32/handles.h"

namespace tavisto::window {

// Why PDH refused to add a counter, in plain words, with the system's code.
std::string counterRefusalText(PDH_STATUS status);

// A counter exists here when it can be added to a query by its English path. Used on one
// thread at a time.
class PdhCounterCatalog : public CounterCatalog {
  public:
    std::string missingReason(std::u16string_view englishPath) override;

  private:
    win32::PdhQuery query_;
};

}  // namespace tavisto::window
