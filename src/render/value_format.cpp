#include "render/value_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/rounding.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

constexpr std::array<std::u16string_view, 6> kByteRateUnits = {u"B/s",  u"KB/s", u"MB/s",
                                                               u"GB/s", u"TB/s", u"PB/s"};

// The largest finite double has 309 integral digits; six decimals, a sign and a point
// fit easily.
using NumberBuffer = std::array<char, 400>;

std::u16string fromAscii(const char* begin, const char* end) {
    return std::u16string(begin, end);
}

// Writes the value as "%f" does and reads it back: six decimals, independent of the
// process locale.
double roundTripSixDecimals(double value) {
    NumberBuffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size() - 1, value,
                                      std::chars_format::fixed, 6);
    return stodC(std::string(buffer.data(), result.ptr));
}

// Half away from zero. Inside the 32-bit range this is exactly the rounding used
// everywhere else; beyond it the whole number is written out instead of wrapping.
std::u16string wholeNumber(double value) {
    const double rounded = std::round(value);
    NumberBuffer buffer{};
    char* const last = buffer.data() + buffer.size();
    std::to_chars_result result{};
    if (std::fabs(rounded) <= 2147483647.0) {
        result = std::to_chars(buffer.data(), last, roundToInt32(value));
    } else {
        result = std::to_chars(buffer.data(), last, rounded, std::chars_format::fixed, 0);
    }
    return fromAscii(buffer.data(), result.ptr);
}

}  // namespace

std::u16string formatValue(std::u16string_view units, double value) {
    const bool byteRate = units == u"bytes/second";
    if ((!byteRate && units != u"percent") || !std::isfinite(value)) {
        return {};
    }
    double shown = roundTripSixDecimals(value);
    if (!byteRate) {
        return wholeNumber(shown) + u"%";
    }
    std::size_t step = 0;
    while (shown > 1000.0 && step + 1 < kByteRateUnits.size()) {
        shown /= 1000.0;
        ++step;
    }
    return wholeNumber(shown) + u" " + std::u16string(kByteRateUnits[step]);
}

bool triggerHolds(double value, double threshold, std::u16string_view op) {
    if (op == u">") {
        return value > threshold;
    }
    if (op == u">=") {
        return value >= threshold;
    }
    if (op == u"<") {
        return value < threshold;
    }
    if (op == u"<=") {
        return value <= threshold;
    }
    if (op == u"=") {
        return value == threshold;
    }
    return false;
}

}  // namespace tavisto
