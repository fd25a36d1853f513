#pragma once
// The system performance fields a counter expression can name, as
// "PERFORMANCE_INFORMATION.<field>", in the order they are compared, and the system's
// fixed figures, "SYSTEM_INFO.<field>".

#include <array>
#include <string_view>

namespace tavisto {

inline constexpr std::u16string_view kPerformanceFieldPrefix = u"PERFORMANCE_INFORMATION.";

inline constexpr auto kPerformanceFieldNames = std::to_array<std::u16string_view>(
    {u"PhysicalAvailable", u"PhysicalTotal", u"CommitTotal", u"CommitLimit", u"CommitPeak",
     u"HandleCount", u"KernelNonpaged", u"KernelTotal", u"ProcessCount", u"ThreadCount",
     u"SystemCache"});

// The system's fixed figures, read with the physical-memory figures: the logical
// processors ("SYSTEM_INFO.NumberOfProcessors", over every processor group), which a
// process's "% Processor Time" is divided by to read as Task Manager shows it.
inline constexpr std::u16string_view kSystemInfoFieldPrefix = u"SYSTEM_INFO.";
inline constexpr auto kSystemInfoFieldNames =
    std::to_array<std::u16string_view>({u"NumberOfProcessors"});

}  // namespace tavisto
