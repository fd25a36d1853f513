#pragma once

#include <string_view>

#include "platform/platform.h"

namespace tavisto {

// The value of a system performance reference such as
// "PERFORMANCE_INFORMATION.ThreadCount": memory figures in pages, counts as counts.
// Unknown prefixes and field names give 0 (the platform is only asked when the
// prefix matches).
double readPerformanceField(std::u16string_view path, platform::SystemPerformance& performance);

}  // namespace tavisto
