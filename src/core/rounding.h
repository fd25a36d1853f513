#pragma once
// Conversions to the 32-bit device pixels of the model. Plain casts are
// undefined for NaN and out-of-range values, and configuration files and counter
// values can hold both, so every conversion saturates: NaN gives 0, values beyond
// the signed 32-bit range give its nearest end.

#include <cmath>
#include <cstdint>
#include <limits>

namespace tavisto {

inline std::int32_t saturateToInt32(double integral) noexcept {
    if (std::isnan(integral)) {
        return 0;
    }
    if (integral >= 2147483647.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (integral <= -2147483648.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(integral);
}

// A 64-bit whole number made 32-bit, saturating. Configured sizes reach the full 32-bit
// range, so sums and differences of them are formed in 64 bits and made 32-bit here: a
// huge configuration gives the largest size rather than a negative one.
inline std::int32_t clampToInt32(std::int64_t value) noexcept {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

// Half away from zero.
inline std::int32_t roundToInt32(double value) noexcept {
    return saturateToInt32(std::round(value));
}

inline std::int32_t floorToInt32(double value) noexcept {
    return saturateToInt32(std::floor(value));
}

// Toward zero, as a floating-point configuration value becomes a whole number.
inline std::int32_t truncateToInt32(double value) noexcept {
    return saturateToInt32(std::trunc(value));
}

}  // namespace tavisto
