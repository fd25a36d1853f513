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

constexpr auto kByteRateUnits =
    std::to_array<std::u16string_view>({u"B/s", u"KB/s", u"MB/s", u"GB/s", u"TB/s", u"PB/s"});

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

ValueText formatValue(CounterUnits units, double value) {
    ValueText text;
    const bool byteRate = units == CounterUnits::BytesPerSecond;
    if ((!byteRate && units != CounterUnits::Percent) || !std::isfinite(value)) {
        return text;
    }
    double shown = roundTripSixDecimals(value);
    if (!byteRate) {
        appendWholeNumber(text, shown);
        text.append(u"%");
        return text;
    }
    std::size_t step = 0;
    while (shown > 1000.0 && step + 1 < kByteRateUnits.size()) {
        shown /= 1000.0;
        ++step;
    }
    appendWholeNumber(text, shown);
    text.append(u" ");
    text.append(kByteRateUnits[step]);
    return text;
}

ValueText textMeterLine(const MeterCounter& counter, double value, double range) {
    if (counter.units == CounterUnits::Percent) {
        if (range == 0.0) {
            return {};
        }
        value = value * (100.0 / range);
    }
    if (counter.triggerOperator != TriggerOperator::None &&
        !triggerHolds(value, counter.triggerValue, counter.triggerOperator)) {
        value = 0.0;
    }
    return formatValue(counter.units, value);
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
