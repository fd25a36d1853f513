#include <cstdint>
#include <optional>

#include "config/meter_model.h"

namespace tavisto {
namespace {

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

bool isSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

std::optional<Colour> readColour(std::u16string_view text) {
    if (text == u"auto") {
        return Colour{true};
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::u16string_view rest = text.substr(1);
    while (!rest.empty() && isSpace(rest.front())) {
        rest.remove_prefix(1);
    }
    bool negative = false;
    if (!rest.empty() && (rest.front() == u'+' || rest.front() == u'-')) {
        negative = rest.front() == u'-';
        rest.remove_prefix(1);
    }
    // "0x" is a prefix only when a digit follows; otherwise the "0" is the number.
    if (rest.size() > 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X') &&
        hexDigit(rest[2]) >= 0) {
        rest.remove_prefix(2);
    }
    // Digits beyond the 32 bits fall off the top, as they do for the colour's 24 bits.
    std::uint32_t number = 0;
    bool anyDigit = false;
    for (char16_t c : rest) {
        const int digit = hexDigit(c);
        if (digit < 0) {
            break;
        }
        number = (number << 4) | static_cast<std::uint32_t>(digit);
        anyDigit = true;
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (negative) {
        number = 0U - number;
    }
    return Colour{false, 0xFF000000U | (number & 0xFFFFFFU)};
}

Colour parseColour(std::u16string_view text) {
    return readColour(text).value_or(Colour{});
}

}  // namespace tavisto
