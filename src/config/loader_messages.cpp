#include "config/loader_messages.h"

#include <array>
#include <utility>

#include "config/configuration_text.h"
#include "config/instance_selection.h"
#include "config/system_fields.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

// One kind of loader message. `kind` is the JSON library's exception name ("" for
// messages of our own); `gist` is how the message's gist starts; `pointer`, when given,
// is the only value the entry is for. In the `plain` text, "{value}" names the value and
// "{was}" says what it was (the gist's last word, the library's name of a type).
struct MessageEntry {
    std::string_view kind;
    std::string_view gist;
    TextId plain;
    const char* pointer = nullptr;
};

constexpr std::string_view kLibraryPrefix = "[json.exception.";

// clang-format off
const std::array kMessages{
    // Syntax: the parser's unexpected tokens, by what it expected.
    MessageEntry{"parse_error.101", "unexpected end of input", TextId::RefusalEndsEarly},
    MessageEntry{"parse_error.101", "expected end of input", TextId::RefusalMoreAfterEnd},
    MessageEntry{"parse_error.101", "expected string literal", TextId::RefusalExpectedKey},
    MessageEntry{"parse_error.101", "expected ':'", TextId::RefusalExpectedColon},
    MessageEntry{"parse_error.101", "expected '}'", TextId::RefusalExpectedBrace},
    MessageEntry{"parse_error.101", "expected ']'", TextId::RefusalExpectedBracket},
    MessageEntry{"parse_error.101", "expected '[', '{', or a literal",
        TextId::RefusalExpectedValue},
    MessageEntry{"parse_error.101", "unexpected", TextId::RefusalUnexpected},
    // Syntax: the lexer's refusals of a token.
    MessageEntry{"parse_error.101", "invalid literal", TextId::RefusalInvalidLiteral},
    MessageEntry{"parse_error.101", "invalid string: missing closing quote",
        TextId::RefusalMissingQuote},
    MessageEntry{"parse_error.101", "invalid string: control character",
        TextId::RefusalControlCharacter},
    MessageEntry{"parse_error.101", "invalid string: forbidden character after backslash",
        TextId::RefusalBackslash},
    MessageEntry{"parse_error.101", "invalid string: '\\u' must be followed by 4 hex digits",
        TextId::RefusalUnicodeEscape},
    MessageEntry{"parse_error.101", "invalid string: surrogate", TextId::RefusalSurrogate},
    MessageEntry{"parse_error.101", "invalid string: ill-formed UTF-8 byte",
        TextId::RefusalNotUtf8Bytes},
    MessageEntry{"parse_error.101", "invalid number", TextId::RefusalIncompleteNumber},
    MessageEntry{"parse_error.101", "invalid comment", TextId::RefusalComment},
    MessageEntry{"parse_error.101", "invalid BOM", TextId::RefusalBrokenBom},
    MessageEntry{"out_of_range.406", "number overflow", TextId::RefusalNumberOverflow},
    // Types.
    MessageEntry{"type_error.302", "type must be string", TextId::RefusalMustBeText},
    MessageEntry{"type_error.302", "type must be number", TextId::RefusalMustBeNumber},
    MessageEntry{"type_error.302", "type must be boolean", TextId::RefusalMustBeBoolean},
    MessageEntry{"type_error.302", "type must be object", TextId::RefusalMustBeObject},
    MessageEntry{"type_error.304", "cannot use at()", TextId::RefusalMustBeArray},
    MessageEntry{"type_error.305", "cannot use operator[]", TextId::RefusalDocumentNotObject, ""},
    MessageEntry{"type_error.305", "cannot use operator[]",
        TextId::RefusalMeterGroupsType, "/meterGroups"},
    MessageEntry{"type_error.305", "cannot use operator[]", TextId::RefusalMustBeObject},
    // Text and number conversions.
    MessageEntry{"", "bad conversion", TextId::RefusalNotUnicode},
    MessageEntry{"", "invalid stod argument", TextId::RefusalTriggerNumber},
    MessageEntry{"", "stod argument out of range", TextId::RefusalTriggerRange},
    // Limits.
    MessageEntry{"", kConfigurationTooLarge, TextId::RefusalTooLarge},
    MessageEntry{"", kConfigurationTooDeep, TextId::RefusalTooDeep},
    MessageEntry{"", kTooManyGroups, TextId::RefusalTooManyGroups},
    MessageEntry{"", kTooManyMeters, TextId::RefusalTooManyMeters},
    MessageEntry{"", kTooManyRefreshRates, TextId::RefusalTooManyRefreshRates},
    MessageEntry{"", kTooManyReferences, TextId::RefusalTooManyReferences},
    MessageEntry{"", kTooManyCounters, TextId::RefusalTooManyCounters},
    MessageEntry{"", kTooManyReferencesInFile, TextId::RefusalTooManyReferencesInFile},
    MessageEntry{"", kTooManyGraphCounters, TextId::RefusalTooManyGraphCounters},
    MessageEntry{"", kTooManyInstancePatterns, TextId::RefusalTooManyPatterns},
    MessageEntry{"", kTooManyInstancePatternCharacters, TextId::RefusalPatternsTooLong},
    MessageEntry{"", kInstancePatternTooLong, TextId::RefusalPatternTooLong},
    MessageEntry{"", kAlertAboveAndBelow, TextId::RefusalAboveAndBelow},
    // Sources.
    MessageEntry{"", kUnknownSensorField, TextId::RefusalUnknownSensorField},
    // Encodings.
    MessageEntry{"", kNotUtf8Text, TextId::RefusalNotUtf8File},
    MessageEntry{"", kUnpairedSurrogate, TextId::RefusalUtf16Surrogate},
    MessageEntry{"", kUtf16CutShort, TextId::RefusalUtf16CutShort},
    MessageEntry{"", kUtf16Nul, TextId::RefusalUtf16Nul},
};
// clang-format on

struct Gist {
    std::string_view kind;
    std::string_view text;
};

// The library's messages are "[json.exception.KIND] TEXT"; a syntax error's TEXT is
// "parse error at line L, column C: syntax error while parsing CONTEXT - REASON", where
// REASON is the lexer's message followed by the token read (the file's own text, so
// only its start is matched), or "unexpected TOKEN; expected TOKEN".
Gist gistOf(std::string_view message) {
    if (!message.starts_with(kLibraryPrefix)) {
        return {"", message};
    }
    const std::size_t kindEnd = message.find("] ");
    if (kindEnd == std::string_view::npos) {
        return {"", message};
    }
    Gist gist{message.substr(kLibraryPrefix.size(), kindEnd - kLibraryPrefix.size()),
              message.substr(kindEnd + 2)};
    if (gist.kind.starts_with("parse_error")) {
        const std::size_t reason = gist.text.find(" - ");
        if (reason != std::string_view::npos) {
            gist.text.remove_prefix(reason + 3);
        }
        const std::size_t expected = gist.text.find("; expected ");
        if (gist.text.starts_with("unexpected ") && !gist.text.starts_with("unexpected end") &&
            expected != std::string_view::npos) {
            gist.text.remove_prefix(expected + 2);
        }
    }
    return gist;
}

// How a value is named: by its key, as an element of a list, or as the document.
std::string valueName(std::string_view pointer, const TextTable& texts) {
    if (pointer.empty()) {
        return plainText(texts, TextId::RefusalValueDocument, {});
    }
    const auto unescaped = [](std::string_view token) {
        std::string text;
        for (std::size_t i = 0; i < token.size(); ++i) {
            if (token[i] == '~' && i + 1 < token.size()) {
                text += token[++i] == '1' ? '/' : '~';
            } else {
                text += token[i];
            }
        }
        return text;
    };
    const std::size_t slash = pointer.rfind('/');
    const std::string_view last = pointer.substr(slash + 1);
    const bool element =
        !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
    if (!element) {
        return '"' + unescaped(last) + '"';
    }
    const std::string_view parent = pointer.substr(0, slash);
    if (parent.empty()) {
        return plainText(texts, TextId::RefusalValueElement, {});
    }
    const std::string list = '"' + unescaped(parent.substr(parent.rfind('/') + 1)) + '"';
    return plainText(texts, TextId::RefusalValueEachElement, {{u"key", placeholderValue(list)}});
}

// What the value was, from the library's name of a type; a name without a text of its
// own ("null") is the JSON word itself.
std::string typeName(std::string_view gist, const TextTable& texts) {
    const std::string_view type = gist.substr(gist.rfind(' ') + 1);
    static constexpr std::pair<std::string_view, TextId> kTypes[] = {
        {"string", TextId::RefusalTypeText},     {"boolean", TextId::RefusalTypeBoolean},
        {"object", TextId::RefusalTypeObject},   {"array", TextId::RefusalTypeArray},
        {"number", TextId::RefusalTypeNumber},
    };
    for (const auto& [name, id] : kTypes) {
        if (type == name) {
            return plainText(texts, id, {});
        }
    }
    return std::string(type);
}

}  // namespace

std::u16string placeholderValue(std::string_view utf8) {
    return utf8ToUtf16(firstInvalidUtf8(utf8) == std::string_view::npos ? std::string(utf8)
                                                                         : printableText(utf8));
}

std::string plainText(const TextTable& texts, TextId id,
                      std::initializer_list<TextArgument> arguments) {
    return utf16ToUtf8(fillText(text(texts, id), arguments));
}

std::string plainLoaderMessage(std::string_view message, std::string_view pointer,
                               const TextTable& texts) {
    const Gist gist = gistOf(message);
    for (const MessageEntry& entry : kMessages) {
        if (entry.kind != gist.kind || !gist.text.starts_with(entry.gist) ||
            (entry.pointer != nullptr && pointer != entry.pointer)) {
            continue;
        }
        return plainText(texts, entry.plain,
                         {{u"value", placeholderValue(valueName(pointer, texts))},
                          {u"was", placeholderValue(typeName(gist.text, texts))}});
    }
    return {};
}

std::string withPlace(std::string_view message, LineColumn place) {
    constexpr std::string_view kAt = "] parse error at line ";
    const std::size_t at = message.find(kAt);
    const std::size_t end = message.find(": ", at);
    if (!message.starts_with(kLibraryPrefix) || at == std::string_view::npos ||
        end == std::string_view::npos) {
        return std::string(message);
    }
    return std::string(message.substr(0, at + kAt.size())) + std::to_string(place.line) +
           ", column " + std::to_string(place.column) + std::string(message.substr(end));
}

}  // namespace tavisto
