#pragma once
// The texts of text meters: values with their units, and the trigger test.

#include <array>
#include <cstddef>
#include <string_view>

#include "config/meter_model.h"

namespace tavisto {

// The text of a formatted value, held in place: drawing it every tick needs no heap.
class ValueText {
  public:
    // Room for the longest text: a sign, the 309 digits of the largest finite double
    // and a unit.
    static constexpr std::size_t kCapacity = 320;

    std::u16string_view view() const { return {characters_.data(), length_}; }
    void append(std::string_view ascii);
    void append(std::u16string_view text);

    friend bool operator==(const ValueText& text, std::u16string_view expected) {
        return text.view() == expected;
    }

  private:
    std::array<char16_t, kCapacity> characters_{};
    std::size_t length_ = 0;
};

// The text shown for a value: "bytes/second" as a whole number of B/s, KB/s, ... PB/s
// (steps of 1000), "percent" as a whole number followed by "%", nothing for any other
// units. The value is first rounded to six decimals, then to a whole number half away
// from zero. Whole numbers beyond the 32-bit range are shown in full, and rates beyond
// 1000 PB/s stay in PB/s. Infinite and NaN values show nothing.
ValueText formatValue(CounterUnits units, double value);

// The line a "text" meter shows for a counter whose value, kept in its range, is
// `value`: the value in its units, scaled to a percentage of `range` for "percent"
// (nothing for an empty range, whose scale would be infinite), and 0 while a trigger
// does not hold.
ValueText textMeterLine(const MeterCounter& counter, double value, double range);

// Compares the value with the threshold by the operator; an unknown operator, no
// operator and NaN give false.
bool triggerHolds(double value, double threshold, TriggerOperator op);

}  // namespace tavisto
