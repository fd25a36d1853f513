#pragma once
// The texts people read, in each language the programs speak. The tables are written at
// build time from po/ (one .po file a language); English is the fallback for all.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "texts_generated.h"

namespace tavisto {

// The tag of the pseudo-language: every text longer and accented, for layout tests.
inline constexpr std::string_view kPseudoLanguage = "qps-ploc";

const TextTable& englishTexts();

// The table whose tag `tag` names, compared without case and with "_" taken as "-";
// a region or script this program has no table of falls to the language's own ("de-AT"
// to "de", "pt-PT" to "pt-BR", "zh-SG" and "zh-Hans-CN" to "zh-CN"), except Chinese
// written in traditional characters ("zh-TW", "zh-HK", "zh-Hant"), which has none.
// Null when no table speaks it.
const TextTable* textsFor(std::string_view tag);

// The texts for `configured` (the configuration's "language") when it names a language
// this program speaks, else for the first of the user's display languages that it
// speaks, else English.
const TextTable& chooseTexts(std::string_view configured, std::span<const std::string> preferred);

inline std::u16string_view text(const TextTable& table, TextId id) {
    return table.texts[static_cast<std::size_t>(id)];
}

struct TextArgument {
    std::u16string_view name;  // without braces: u"file"
    std::u16string_view value;
};

// `pattern` with each "{name}" replaced by its argument's value; a placeholder without
// an argument stays as it is.
std::u16string fillText(std::u16string_view pattern, std::initializer_list<TextArgument> arguments);

}  // namespace tavisto
