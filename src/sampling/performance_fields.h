#pragma once

#include <string_view>

#include "platform/platform.h"

namespace tavisto {

// Whether the path names a system performance field ("PERFORMANCE_INFORMATION.<field>"
// or "SYSTEM_INFO.<field>").
bool isPerformanceFieldPath(std::u16string_view path);

// What a record must hold for the field: unknown names need the least.
platform::PerformanceScope performanceScopeOf(std::u16string_view path);

// The value of a system performance reference such as
// "PERFORMANCE_INFORMATION.ThreadCount" in a record already read: memory figures in
// pages, counts as counts. Unknown prefixes and field names give 0.
double performanceFieldValue(std::u16string_view path, const platform::PerformanceRecord& record);

// The same, reading the record; the platform is only asked when the prefix matches.
double readPerformanceField(std::u16string_view path, platform::SystemPerformance& performance);

}  // namespace tavisto
