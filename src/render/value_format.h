#pragma once
// The texts of text meters: values with their units, and the trigger test.

#include <array>
#include <cstddef>
#include <string_view>

#include "config/meter_model.h"
#include "platform/platform.h"

namespace tavisto {

// The text of a formatted value, held in place: drawing it every tick needs no heap.
class ValueText {
  public:
    // Room for the longest text: a sign, the 309 digits of the largest finite double
    // with their 102 thousands separators, a decimal separator, three decimals and a
    // unit, the separators as long as a locale's may be.
    static constexpr std::size_t kCapacity =
        1 + 309 + (102 + 1) * platform::NumberSeparators::kMaxLength + 3 + 16;

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

// The text shown for a value in its units, with `decimals` digits after the point (0 to
// 3), or by the unit's own rule (kUnitDecimals): one digit below 100 once a prefix is
// taken for rates, sizes, counts and frequencies ("1.5 Mbps", "8.0 GB", "12.3K",
// "3.2 GHz"), none for temperatures, watts and RPM, thousands grouped ("1,200 RPM");
// "seconds" as a time left ("1 h 23 min"). The point and the grouping are written with
// the locale's separators ("1,5 MB/s", "1.200 RPM" in German); an empty thousands
// separator groups nothing. A rounding that reaches the next prefix takes
// it ("1.0 Mbps", never "1000.0 Kbps"), and the last prefix takes any larger value.
// Without decimals "percent" and "bytes/second" read as they always have: the value
// rounded to six decimals, then to a whole number half away from zero, a rate stepped by
// 1000 only above 1000 ("1000 B/s", "2 MB/s"), no grouping. A value that is not finite
// shows "—"; unknown units show nothing.
ValueText formatValue(CounterUnits units, double value, int decimals,
                      const platform::NumberSeparators& numbers);

// The line a "text" meter shows for a counter whose value, kept in its range, is
// `value`: the value in its units, scaled to a percentage of `range` for "percent"
// (nothing for an empty range, whose scale would be infinite), and 0 while a trigger
// does not hold on a finite value.
ValueText textMeterLine(const MeterCounter& counter, double value, double range,
                        const platform::NumberSeparators& numbers);

// Compares the value with the threshold by the operator; an unknown operator, no
// operator and NaN give false.
bool triggerHolds(double value, double threshold, TriggerOperator op);

}  // namespace tavisto
