#pragma once
// Colour texts of the configuration ("#RRGGBB") as drawing colours.

#include <string_view>

#include "platform/drawing.h"
#include "platform/geometry.h"

namespace tavisto {

// Opaque white, the configuration's default colour.
inline constexpr Argb kDefaultColor = 0xFFFFFFFF;
inline constexpr Argb kBlack = 0xFF000000;

// Drops the first character (normally "#") and reads the rest as a hexadecimal number
// the way scanf's "%x" does: leading white space, an optional sign and an optional
// "0x" prefix are accepted and reading stops at the first non-digit. Only the low 24
// bits are kept and the colour is always opaque. An empty text, or one with no digits
// after its first character, gives kDefaultColor. The text "auto" is white on a dark
// taskbar and black on a light one.
Argb colorFromText(std::u16string_view text, platform::TaskbarTheme theme);

}  // namespace tavisto
