#pragma once
// How a value of each kind in the key table becomes what the programs use: one parse per
// kind, and the rule that fits a number into the range its key takes. The loader, the
// checker and the companion's reader of "taskbar" all read values through these.

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"

namespace tavisto {

// A number made a signed 32-bit whole number: a fraction toward zero, a value beyond the
// range its nearest end. Anything but a number raises the library's type error (a boolean
// is not taken as 0 or 1).
std::int32_t parseWholeNumber(const nlohmann::json& value);

// Unsigned 64-bit milliseconds: floats truncate toward zero, negative integers wrap,
// floats beyond the 64-bit range saturate.
std::uint64_t parseMilliseconds(const nlohmann::json& value);

// These raise the library's type error for a value of another type, and a string that
// is not UTF-8 fails with "bad conversion".
double parseNumber(const nlohmann::json& value);
bool parseBoolean(const nlohmann::json& value);
std::u16string parseString(const nlohmann::json& value);

// A trigger text taken apart, before its threshold is read as a number.
struct TriggerParts {
    enum class Form {
        None,         // empty: no trigger
        NoSeparator,  // no operator followed by a space: it means "> 0"
        Split,
    };
    Form form = Form::None;
    std::u16string_view op;         // the first run of non-space characters a space follows
    std::u16string_view threshold;  // after that space, up to the first line break
};
TriggerParts splitTriggerParts(std::u16string_view text);

// How a number compares with the numbers its key takes.
enum class NumberFit { Taken, Fraction, BelowMinimum, AboveMaximum };

struct FittedNumber {
    double value = 0.0;  // the number the key takes in its place
    NumberFit fit = NumberFit::Taken;
};

// The number a key with this range takes for a value: a fraction is cut toward zero
// where only whole numbers are taken, then a value beyond an end becomes that end.
FittedNumber fitNumber(const NumberRange& range, double value);

}  // namespace tavisto
