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
// provider) still reads it. A namespace-scope object, not a function's static, which would
// take a thread-safe guard that the runtime keeps a handle for at every load of the DLL.
inline const SteadyClock kSteadyClock;

inline const Clock& steadyClock() {
    return kSteadyClock;
}

}  // namespace tavisto::platform
