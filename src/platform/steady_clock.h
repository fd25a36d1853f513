#pragma once
// The clock of every platform: the standard library's steady clock.

#include <chrono>

#include "platform/platform.h"

namespace tavisto::platform {

class SteadyClock final : public Clock {
  public:
    std::uint64_t milliseconds() const override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
};

// The one clock of a process: query work that runs on after its window went (a stalled
// provider) still reads it.
inline const Clock& steadyClock() {
    static const SteadyClock clock;
    return clock;
}

}  // namespace tavisto::platform
