#include "core/failure_sink.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>

namespace tavisto {
namespace {

void reportToStandardError(std::string_view where, std::string_view what) noexcept {
    std::fprintf(stderr, "Tavisto: %.*s: %.*s\n", static_cast<int>(where.size()), where.data(),
                 static_cast<int>(what.size()), what.data());
}

std::atomic<FailureReporter> installedReporter{nullptr};

// The limit is taken, never waited for: a report that finds it busy is counted as held
// back, and a thread that Explorer's taskbar depends on goes on at once.
std::atomic_flag limitBusy = ATOMIC_FLAG_INIT;
FailureRateLimit limit(kFailureReportsPerSecond, 1000);
std::atomic<std::uint32_t> heldBackWhileBusy{0};

std::uint64_t steadyMilliseconds() noexcept {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

bool FailureRateLimit::admit(std::uint64_t nowMilliseconds, std::uint32_t& heldBack) noexcept {
    if (!windowOpen_ || nowMilliseconds - windowStart_ >= windowMilliseconds_) {
        windowOpen_ = true;
        windowStart_ = nowMilliseconds;
        inWindow_ = 0;
    }
    if (inWindow_ >= perWindow_) {
        ++heldBack_;
        return false;
    }
    ++inWindow_;
    heldBack = heldBack_;
    heldBack_ = 0;
    return true;
}

FailureReporter setFailureReporter(FailureReporter reporter) noexcept {
    while (limitBusy.test_and_set(std::memory_order_acquire)) {
        // Installing happens at start-up and in tests, never on a host's thread.
    }
    limit = FailureRateLimit(kFailureReportsPerSecond, 1000);
    heldBackWhileBusy.store(0, std::memory_order_relaxed);
    limitBusy.clear(std::memory_order_release);
    return installedReporter.exchange(reporter);
}

void reportFailure(std::string_view where, std::string_view what) noexcept {
    if (limitBusy.test_and_set(std::memory_order_acquire)) {
        heldBackWhileBusy.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::uint32_t heldBack = 0;
    const bool admitted = limit.admit(steadyMilliseconds(), heldBack);
    limitBusy.clear(std::memory_order_release);
    if (!admitted) {
        return;
    }
    heldBack += heldBackWhileBusy.exchange(0, std::memory_order_relaxed);
    FailureReporter reporter = installedReporter.load();
    if (reporter == nullptr) {
        reporter = reportToStandardError;
    }
    if (heldBack > 0) {
        char count[48] = {};
        char* end = std::to_chars(count, count + 10, heldBack).ptr;
        constexpr std::string_view kMore = " more were not reported";
        end = std::copy(kMore.begin(), kMore.end(), end);
        reporter("failure reports", std::string_view(count, static_cast<std::size_t>(end - count)));
    }
    reporter(where, what);
}

std::string_view caughtExceptionText() noexcept {
    try {
        throw;
    } catch (const std::exception& caught) {
        // The rethrown object is the one being handled, which outlives this call.
        return caught.what();
    } catch (...) {
        return "an exception that is not a std::exception";
    }
}

void reportCaughtException(std::string_view where) noexcept {
    reportFailure(where, caughtExceptionText());
}

}  // namespace tavisto
