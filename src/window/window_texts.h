#pragma once
// The texts of the windows, in the language the user reads.

#include <string>
#include <string_view>

#include "core/texts.h"

namespace tavisto::window {

// The texts for windows that show no meters of their own: the configuration's
// "language" when it names one the programs speak, else the user's display language,
// else English. Meters speak their panel model's texts, chosen by the same rule.
const TextTable& windowTexts(std::string_view configuredLanguage);

// A table's text for a Win32 call, whose wide characters are UTF-16.
inline std::wstring wideText(std::u16string_view text) {
    return {text.begin(), text.end()};
}
inline std::wstring wideText(const TextTable& texts, TextId id) {
    return wideText(text(texts, id));
}

}  // namespace tavisto::window
