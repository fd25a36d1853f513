#pragma once
// The texts of text meters: values with their units, and the trigger test.

#include <string>
#include <string_view>

namespace tavisto {

// The text shown for a value: "bytes/second" as a whole number of B/s, KB/s, ... PB/s
// (steps of 1000), "percent" as a whole number followed by "%", nothing for any other
// units. The value is first rounded to six decimals, then to a whole number half away
// from zero. Whole numbers beyond the 32-bit range are shown in full, and rates beyond
// 1000 PB/s stay in PB/s. Infinite and NaN values show nothing.
std::u16string formatValue(std::u16string_view units, double value);

// Compares the value with the threshold by the operator text (">", ">=", "<", "<=",
// "="); any other operator, the empty one included, and NaN give false.
bool triggerHolds(double value, double threshold, std::u16string_view op);

}  // namespace tavisto
