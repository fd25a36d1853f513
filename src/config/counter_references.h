#pragma once

#include <string>
#include <string_view>

#include "config/meter_model.h"

namespace tavisto {

// Finds the counter references of a counter expression, replaces each by a one-letter
// variable name ("a", "b", ... by character code) and returns them keyed by that name.
// Performance-counter paths "(\Object\Counter)" come first, each occurrence its own
// entry; then system fields, "(PERFORMANCE_INFORMATION.Field)", "(SYSTEM_INFO.Field)"
// and the sensors' "(ADAPTER_PERFDATA.Field)" and "(SYSTEM_POWER_STATUS.Field)", every
// occurrence of the same text sharing one entry.
ReferenceMap extractReferences(std::u16string& text);

// Whether the path's instance, the text in parentheses after the object name, holds a
// "*": "\Network Interface(*)\Bytes Received/sec" and "\Process(chrome*)\Working Set"
// do, "\Processor(_Total)\% Processor Time" and "\Memory\Available Bytes" do not.
bool hasWildcardInstance(std::u16string_view path);

}  // namespace tavisto
