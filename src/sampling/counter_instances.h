#pragma once

#include <span>
#include <string_view>

#include "platform/platform.h"

namespace tavisto {

// Whether the path's instance, the text in parentheses after the object name, holds a
// "*": "\Network Interface(*)\Bytes Received/sec" and "\Process(chrome*)\Working Set"
// do, "\Processor(_Total)\% Processor Time" and "\Memory\Available Bytes" do not.
bool hasWildcardInstance(std::u16string_view path);

// Whether the instance is a total of other instances: "_Total", or a group total such
// as "0,_Total" (one processor group of "\Processor Information").
bool isTotalInstance(std::u16string_view name);

// What a wildcard counter reads: the sum of the valid values of its instances, totals
// left out so that nothing is counted twice. No such instance reads as a failed read.
double sumInstances(std::span<const platform::CounterInstance> instances);

}  // namespace tavisto
