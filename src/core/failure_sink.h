#pragma once
// Where the exception barriers say what they caught. A barrier (a window procedure, a COM
// method, a thread's entry, a tick) must not let an exception through, and must not
// swallow it unseen either: it reports it here. Each host installs its reporter (the
// desk band the debugger's output, the companion that and its log); until then reports
// go to the standard error stream. Reporting never throws, never waits for another
// thread, and allocates nothing of its own, so it is safe on a tick and out of memory.

#include <cstdint>
#include <string_view>

namespace tavisto {

// Receives one report: where it was caught and what was caught. Called on the thread
// that caught it.
using FailureReporter = void (*)(std::string_view where, std::string_view what) noexcept;

// A barrier in a loop must not flood the reporter: at most this many reports go out per
// second. The count of those held back goes out, as one report of its own, just before
// the next report that is let through.
inline constexpr std::uint32_t kFailureReportsPerSecond = 10;

// Installs `reporter` (null: the standard error stream) and starts its rate count
// afresh; returns the one it replaces.
FailureReporter setFailureReporter(FailureReporter reporter) noexcept;

void reportFailure(std::string_view where, std::string_view what) noexcept;

// Only inside a catch block: reports the exception being handled, with its what() when
// it is a std::exception.
void reportCaughtException(std::string_view where) noexcept;

// Only inside a catch block: what reportCaughtException reports, for a barrier that
// cannot report to the sink because it is part of the reporter. Valid while the
// exception is handled.
std::string_view caughtExceptionText() noexcept;

// Lets at most `perWindow` reports through in each window of time, a window starting
// with the first report after the last one ended. Not thread-safe by itself.
class FailureRateLimit {
  public:
    FailureRateLimit(std::uint32_t perWindow, std::uint64_t windowMilliseconds) noexcept
        : perWindow_(perWindow), windowMilliseconds_(windowMilliseconds) {}

    // Whether a report at `nowMilliseconds` goes out. When it does, `heldBack` is the
    // number held back since the last one that went out.
    bool admit(std::uint64_t nowMilliseconds, std::uint32_t& heldBack) noexcept;

  private:
    std::uint32_t perWindow_;
    std::uint64_t windowMilliseconds_;
    bool windowOpen_ = false;
    std::uint64_t windowStart_ = 0;
    std::uint32_t inWindow_ = 0;
    std::uint32_t heldBack_ = 0;
};

}  // namespace tavisto
