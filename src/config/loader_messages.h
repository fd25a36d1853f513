#pragma once
// Plain words for the messages the band refuses a file with: the JSON library's, the
// text conversions' and the configuration's own limits. The band's message itself is
// what the file format promises; these sentences come first and say what it means.

#include <initializer_list>
#include <string>
#include <string_view>

#include "config/json_positions.h"
#include "core/texts.h"

namespace tavisto {

// The sentence for a loader message about the value at `pointer` (a JSON pointer, ""
// for the document) in the language of `texts`, naming the key and what was expected;
// empty for a message none of the table's entries knows.
std::string plainLoaderMessage(std::string_view message, std::string_view pointer,
                               const TextTable& texts = englishTexts());

// A finding's text from `texts` with its placeholders filled, as UTF-8.
std::string plainText(const TextTable& texts, TextId id,
                      std::initializer_list<TextArgument> arguments);

// A UTF-8 value for a placeholder; a malformed byte shows as U+FFFD.
std::u16string placeholderValue(std::string_view utf8);

// The message with the JSON library's "line L, column C" (bytes) replaced by `place`
// (characters), so that both positions a finding gives agree.
std::string withPlace(std::string_view message, LineColumn place);

}  // namespace tavisto
