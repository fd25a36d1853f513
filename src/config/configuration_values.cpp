#include "config/configuration_values.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/rounding.h"
#include "core/text_conversion.h"

namespace tavisto {

using nlohmann::json;

std::int32_t parseWholeNumber(const json& value) {
    if (value.is_number_unsigned()) {
        const std::uint64_t number = std::min<std::uint64_t>(
            value.get<std::uint64_t>(), std::numeric_limits<std::int64_t>::max());
        return clampToInt32(static_cast<std::int64_t>(number));
    }
    if (value.is_number_integer()) {
        return clampToInt32(value.get<std::int64_t>());
    }
    // A float truncates toward zero; anything else fails in the double getter with the
    // library's type error (the 32-bit getter would take a boolean as 0 or 1).
    return truncateToInt32(value.get<double>());
}

std::uint64_t parseMilliseconds(const json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer()) {
        return static_cast<std::uint64_t>(value.get<std::int64_t>());
    }
    if (value.is_number_float()) {
        const double number = std::trunc(value.get<double>());
        constexpr double kTwoTo63 = 9223372036854775808.0;
        if (std::isnan(number)) {
            return 0;
        }
        if (number >= 2 * kTwoTo63) {
            return std::numeric_limits<std::uint64_t>::max();
        }
        if (number >= kTwoTo63) {
            return static_cast<std::uint64_t>(number);
        }
        if (number >= -kTwoTo63) {
            return static_cast<std::uint64_t>(static_cast<std::int64_t>(number));
        }
        return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
    }
    return value.get<std::uint64_t>();  // raises the library's type error
}

double parseNumber(const json& value) {
    return value.get<double>();
}

bool parseBoolean(const json& value) {
    return value.get<bool>();
}

std::u16string parseString(const json& value) {
    return utf8ToUtf16(value.get<std::string>());
}

namespace {

bool isTriggerLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029';
}

}  // namespace

TriggerParts splitTriggerParts(std::u16string_view text) {
    TriggerParts parts;
    if (text.empty()) {
        return parts;
    }
    // The operator is the first run of non-space characters that a space follows;
    // only the first run can qualify, as every later run is preceded by one.
    const std::size_t runStart = text.find_first_not_of(u' ');
    const std::size_t runEnd =
        runStart == std::u16string_view::npos ? runStart : text.find(u' ', runStart);
    if (runEnd == std::u16string_view::npos) {
        parts.form = TriggerParts::Form::NoSeparator;
        return parts;
    }
    parts.form = TriggerParts::Form::Split;
    parts.op = text.substr(runStart, runEnd - runStart);
    const std::u16string_view threshold = text.substr(runEnd + 1);
    const auto lineBreak = std::find_if(threshold.begin(), threshold.end(), isTriggerLineBreak);
    parts.threshold = threshold.substr(0, static_cast<std::size_t>(lineBreak - threshold.begin()));
    return parts;
}

FittedNumber fitNumber(const NumberRange& range, double value) {
    FittedNumber fitted{range.wholeNumbers ? std::trunc(value) : value, NumberFit::Taken};
    if (fitted.value < range.minimum) {
        return {range.minimum, NumberFit::BelowMinimum};
    }
    if (fitted.value > range.maximum) {
        return {range.maximum, NumberFit::AboveMaximum};
    }
    if (fitted.value != value) {
        fitted.fit = NumberFit::Fraction;
    }
    return fitted;
}

}  // namespace tavisto
