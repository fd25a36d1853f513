#include "render/value_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/rounding.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

// How a unit reads its values: the unit's name at each step of prefixes, and the
// digits after the point when the counter sets no "decimals".
struct UnitReading {
    enum Digits : std::uint8_t {
        Whole,
        // One below 100 once a prefix is taken (1.5 Mbps, 8.0 GB, 150 Mbps, 512 B).
        OneBelowHundredWithPrefix,
    };
    std::array<std::u16string_view, 6> names;
    std::size_t levels;        // how many of `names` there are
    double step;               // between one name and the next
    double firstStep;          // the least magnitude that takes the second name
    std::u16string_view separator;  // between the number and the name
    Digits digits;
    bool groupsThousands;      // 1,234
};

// In the order of CounterUnits; "seconds" reads as a duration instead.
constexpr auto kUnitReadings = std::to_array<UnitReading>({
    {{u"B/s", u"KB/s", u"MB/s", u"GB/s", u"TB/s", u"PB/s"}, 6, 1000, 1000, u" ", UnitReading::Whole,
     false},
    {{u"%"}, 1, 0, 0, u"", UnitReading::Whole, false},
    {{u"bps", u"Kbps", u"Mbps", u"Gbps", u"Tbps", u"Pbps"}, 6, 1000, 1000, u" ",
     UnitReading::OneBelowHundredWithPrefix, true},
    {{u"B", u"KB", u"MB", u"GB", u"TB", u"PB"}, 6, 1024, 1024, u" ",
     UnitReading::OneBelowHundredWithPrefix, true},
    // Counts are written out up to 9,999; from there on 12.3K, 123K, 1.2M.
    {{u"", u"K", u"M", u"B", u"T"}, 5, 1000, 10000, u"", UnitReading::OneBelowHundredWithPrefix,
     true},
    {{u"\u00B0C"}, 1, 0, 0, u" ", UnitReading::Whole, true},
    {{u"W"}, 1, 0, 0, u" ", UnitReading::Whole, true},
    {{u"RPM"}, 1, 0, 0, u" ", UnitReading::Whole, true},
    {{u"Hz", u"kHz", u"MHz", u"GHz", u"THz"}, 5, 1000, 1000, u" ",
     UnitReading::OneBelowHundredWithPrefix, true},
});
static_assert(kUnitReadings.size() == static_cast<std::size_t>(CounterUnits::Seconds),
              "a reading for every unit before \"seconds\"");

// A value shown where none is known: a failed read, a sensor the machine lacks.
constexpr std::u16string_view kNotAvailable = u"\u2014";

// The largest finite double has 309 integral digits; six decimals, a sign and a point
// fit easily.
using NumberBuffer = std::array<char, 400>;

// Writes the value as "%f" does and reads it back: six decimals, independent of the
// process locale. Such a text always reads back.
double roundTripSixDecimals(double value) {
    NumberBuffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size() - 1, value,
                                      std::chars_format::fixed, 6);
    *result.ptr = '\0';
    return strtodC(buffer.data(), nullptr);
}

// Half away from zero. Inside the 32-bit range this is exactly the rounding used
// everywhere else; beyond it the whole number is written out instead of wrapping.
void appendWholeNumber(ValueText& text, double value) {
    const double rounded = std::round(value);
    NumberBuffer buffer{};
    char* const last = buffer.data() + buffer.size();
    std::to_chars_result result{};
    if (std::fabs(rounded) <= 2147483647.0) {
        result = std::to_chars(buffer.data(), last, roundToInt32(value));
    } else {
        result = std::to_chars(buffer.data(), last, rounded, std::chars_format::fixed, 0);
    }
    text.append(
        std::string_view(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())));
}

// A value written with a number of digits after the point, and what it reads as.
struct FixedNumber {
    NumberBuffer characters{};
    std::size_t length = 0;
    double magnitude = 0.0;  // of the rounded number

    std::string_view view() const { return {characters.data(), length}; }
};

FixedNumber fixedNumber(double value, int digits) {
    FixedNumber number;
    const auto result = std::to_chars(number.characters.data(),
                                      number.characters.data() + number.characters.size() - 1,
                                      value, std::chars_format::fixed, digits);
    number.length = static_cast<std::size_t>(result.ptr - number.characters.data());
    number.characters[number.length] = '\0';
    number.magnitude = std::fabs(strtodC(number.characters.data(), nullptr));
    // A negative value that rounds to zero reads as zero, not "-0".
    if (number.magnitude == 0.0 && number.characters[0] == '-') {
        std::copy_n(number.characters.begin() + 1, number.length, number.characters.begin());
        --number.length;
    }
    return number;
}

// The number with the locale's decimal separator, its whole part in groups of three
// digits when asked.
void appendNumber(ValueText& text, const FixedNumber& number, bool groupsThousands,
                  const platform::NumberSeparators& numbers) {
    std::string_view digits = number.view();
    if (digits.starts_with('-')) {
        text.append("-");
        digits.remove_prefix(1);
    }
    const std::size_t whole = std::min(digits.find('.'), digits.size());
    for (std::size_t index = 0; index < whole; ++index) {
        if (groupsThousands && index > 0 && (whole - index) % 3 == 0) {
            text.append(numbers.thousands);
        }
        text.append(digits.substr(index, 1));
    }
    if (whole < digits.size()) {
        text.append(numbers.decimal);
        text.append(digits.substr(whole + 1));
    }
}

int digitsFor(const UnitReading& reading, std::size_t level, double scaled, int decimals) {
    if (decimals >= 0) {
        return decimals;
    }
    if (reading.digits == UnitReading::Whole || level == 0) {
        return 0;
    }
    return fixedNumber(scaled, 1).magnitude < 100.0 ? 1 : 0;
}

void appendReading(ValueText& text, const UnitReading& reading, double value, int decimals,
                   const platform::NumberSeparators& numbers) {
    double scaled = value;
    std::size_t level = 0;
    if (reading.levels > 1 && std::fabs(value) >= reading.firstStep) {
        scaled /= reading.step;
        ++level;
        while (std::fabs(scaled) >= reading.step && level + 1 < reading.levels) {
            scaled /= reading.step;
            ++level;
        }
    }
    FixedNumber number = fixedNumber(scaled, digitsFor(reading, level, scaled, decimals));
    // 999.95 Kbps that rounds to 1000.0 is 1.0 Mbps.
    if (level + 1 < reading.levels &&
        number.magnitude >= (level == 0 ? reading.firstStep : reading.step)) {
        scaled /= reading.step;
        ++level;
        number = fixedNumber(scaled, digitsFor(reading, level, scaled, decimals));
    }
    appendNumber(text, number, reading.groupsThousands, numbers);
    if (!reading.names[level].empty()) {
        text.append(reading.separator);
        text.append(reading.names[level]);
    }
}

// A time left, as a battery's: "45 s", "23 min", "1 h 23 min", to the nearest minute
// from a minute on. "decimals" counts only below a minute.
void appendDuration(ValueText& text, double value, int decimals,
                    const platform::NumberSeparators& numbers) {
    const FixedNumber seconds = fixedNumber(value, std::max(decimals, 0));
    if (seconds.magnitude < 60.0) {
        appendNumber(text, seconds, true, numbers);
        text.append(u" s");
        return;
    }
    if (value < 0.0) {
        text.append("-");
    }
    const double minutes = std::round(std::fabs(value) / 60.0);
    const double hours = std::floor(minutes / 60.0);
    if (hours > 0.0) {
        appendNumber(text, fixedNumber(hours, 0), true, numbers);
        text.append(u" h ");
    }
    appendNumber(text, fixedNumber(minutes - hours * 60.0, 0), true, numbers);
    text.append(u" min");
}

}  // namespace

void ValueText::append(std::string_view ascii) {
    const std::size_t count = std::min(ascii.size(), kCapacity - length_);
    std::copy_n(ascii.begin(), count, characters_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += count;
}

void ValueText::append(std::u16string_view text) {
    const std::size_t count = std::min(text.size(), kCapacity - length_);
    std::copy_n(text.begin(), count, characters_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += count;
}

ValueText formatValue(CounterUnits units, double value, int decimals,
                      const platform::NumberSeparators& numbers) {
    ValueText text;
    if (units == CounterUnits::Unknown) {
        return text;
    }
    if (!std::isfinite(value)) {
        text.append(kNotAvailable);
        return text;
    }
    if (units == CounterUnits::Seconds) {
        appendDuration(text, value, decimals, numbers);
        return text;
    }
    const bool byteRate = units == CounterUnits::BytesPerSecond;
    if (decimals >= 0 || (!byteRate && units != CounterUnits::Percent)) {
        appendReading(text, kUnitReadings[static_cast<std::size_t>(units)], value, decimals,
                      numbers);
        return text;
    }
    // Without "decimals" the two first units read as they always have: whole numbers, and
    // rates stepped only above 1000.
    double shown = roundTripSixDecimals(value);
    if (!byteRate) {
        appendWholeNumber(text, shown);
        text.append(u"%");
        return text;
    }
    const UnitReading& rates = kUnitReadings.front();
    std::size_t step = 0;
    while (shown > 1000.0 && step + 1 < rates.levels) {
        shown /= 1000.0;
        ++step;
    }
    appendWholeNumber(text, shown);
    text.append(u" ");
    text.append(rates.names[step]);
    return text;
}

ValueText textMeterLine(const MeterCounter& counter, double value, double range,
                        const platform::NumberSeparators& numbers) {
    if (counter.units == CounterUnits::Percent) {
        if (range == 0.0) {
            return {};
        }
        value = value * (100.0 / range);
    }
    // A value that is not available stays so, whatever the trigger.
    if (counter.triggerOperator != TriggerOperator::None && std::isfinite(value) &&
        !triggerHolds(value, counter.triggerValue, counter.triggerOperator)) {
        value = 0.0;
    }
    return formatValue(counter.units, value, counter.decimals, numbers);
}

bool triggerHolds(double value, double threshold, TriggerOperator op) {
    switch (op) {
        case TriggerOperator::Greater:
            return value > threshold;
        case TriggerOperator::GreaterOrEqual:
            return value >= threshold;
        case TriggerOperator::Less:
            return value < threshold;
        case TriggerOperator::LessOrEqual:
            return value <= threshold;
        case TriggerOperator::Equal:
            return value == threshold;
        case TriggerOperator::Unknown:
        case TriggerOperator::None:
            break;
    }
    return false;
}

}  // namespace tavisto
