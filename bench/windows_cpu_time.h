#pragma once
// Processor time as the Windows benchmarks read it from GetProcessTimes and
// GetThreadTimes: kernel plus user time, in seconds.

#include <windows.h>

namespace tavisto::bench {

inline double seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) * 1e-7;  // 100-ns units
}

inline double processCpuSeconds() {
    FILETIME creation{}, exit{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    return seconds(kernel) + seconds(user);
}

inline double threadCpuSeconds() {
    FILETIME creation{}, exit{}, kernel{}, user{};
    GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
    return seconds(kernel) + seconds(user);
}

}  // namespace tavisto::bench
