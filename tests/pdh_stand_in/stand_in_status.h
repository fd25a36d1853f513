#pragma once
// What the stand-in pdh.dll tells the tests about the process it is loaded in: one
// block of counters in a named mapping per process, written by the stand-in and read by
// the tests (pdh_control.h) from outside. The mapping exists only while the stand-in is
// loaded somewhere, so finding it also proves that the process took the stand-in rather
// than the system's PDH.

#include <windows.h>

#include <cstdint>
#include <string>

namespace tavisto::testing {

struct StandInStatus {
    static constexpr std::uint32_t kMagic = 0x50444831;  // "PDH1"
    std::uint32_t magic = 0;
    std::uint32_t processId = 0;
    // Calls made, and how many of them the schedule failed.
    std::int64_t opens = 0;
    std::int64_t failedOpens = 0;
    std::int64_t closes = 0;
    std::int64_t adds = 0;
    std::int64_t failedAdds = 0;
    std::int64_t removes = 0;
    std::int64_t collections = 0;
    std::int64_t failedCollections = 0;
    std::int64_t reads = 0;
    std::int64_t failedReads = 0;
    std::int64_t arrayReads = 0;
    std::int64_t failedArrayReads = 0;
    // Calls that broke PDH's rules: a handle that is not live (closed, or never given;
    // null, a failed open's or add's, is refused but allowed), or a query closed while one
    // of its collections was still running.
    std::int64_t misuses = 0;
    std::int64_t liveQueries = 0;
    std::int64_t liveCounters = 0;
    std::int64_t collectingNow = 0;
    // How often the control file was read (once at the first call, then on every change).
    std::int64_t controlReads = 0;
    // The first threads that opened, added to, collected, removed from or closed a query.
    static constexpr std::size_t kCallerThreads = 8;
    std::uint32_t callerThreads[kCallerThreads] = {};
};

inline std::wstring standInStatusName(DWORD processId) {
    return L"TavistoTestPdhStatus." + std::to_wstring(processId);
}

}  // namespace tavisto::testing
