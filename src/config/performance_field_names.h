#pragma once
// The system performance fields a counter expression can name, as
// "PERFORMANCE_INFORMATION.<field>", in the order they are compared.

#include <array>
#include <string_view>

namespace tavisto {

inline constexpr std::u16string_view kPerformanceFieldPrefix = u"PERFORMANCE_INFORMATION.";

inline constexpr auto kPerformanceFieldNames = std::to_array<std::u16string_view>(
    {u"PhysicalAvailable", u"PhysicalTotal", u"CommitTotal", u"CommitLimit", u"CommitPeak",
     u"HandleCount", u"KernelNonpaged", u"KernelTotal", u"ProcessCount", u"ThreadCount",
     u"SystemCache"});

}  // namespace tavisto
