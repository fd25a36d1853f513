#include "config/loader_messages.h"

#include <array>

#include "config/configuration_text.h"
#include "config/instance_selection.h"
#include "config/system_fields.h"

namespace tavisto {
namespace {

// One kind of loader message. `kind` is the JSON library's exception name ("" for
// messages of our own); `gist` is how the message's gist starts; `pointer`, when given,
// is the only value the entry is for. In `plain`, "{value}" names the value and "{was}"
// says what it was (the gist's last word, the library's name of a type).
struct MessageEntry {
    std::string_view kind;
    std::string_view gist;
    std::string_view plain;
    const char* pointer = nullptr;
};

constexpr std::string_view kLibraryPrefix = "[json.exception.";

// clang-format off
const std::array kMessages{
    // Syntax: the parser's unexpected tokens, by what it expected.
    MessageEntry{"parse_error.101", "unexpected end of input",
        "the file ends too early: a closing brace }, bracket ] or double quote is missing"},
    MessageEntry{"parse_error.101", "expected end of input",
        "there is more after the end of the configuration: all of it must be inside one outer "
        "pair of braces { }"},
    MessageEntry{"parse_error.101", "expected string literal",
        "a key in double quotes was expected here, such as \"name\" (no comma may come before "
        "a closing brace)"},
    MessageEntry{"parse_error.101", "expected ':'", "a colon : must follow the key"},
    MessageEntry{"parse_error.101", "expected '}'",
        "a comma , or a closing brace } is missing before this"},
    MessageEntry{"parse_error.101", "expected ']'",
        "a comma , or a closing bracket ] is missing before this"},
    MessageEntry{"parse_error.101", "expected '[', '{', or a literal",
        "a value was expected here: a number, text in double quotes, true, false, null, an "
        "object or an array (no comma may come before a closing bracket)"},
    MessageEntry{"parse_error.101", "unexpected", "the file is not valid JSON here"},
    // Syntax: the lexer's refusals of a token.
    MessageEntry{"parse_error.101", "invalid literal",
        "this is not a JSON value: text needs double quotes, and true, false and null are "
        "written in lowercase"},
    MessageEntry{"parse_error.101", "invalid string: missing closing quote",
        "a text has no closing double quote"},
    MessageEntry{"parse_error.101", "invalid string: control character",
        "a text holds a line break, tab or other control character: write it as \\n, \\t or "
        "\\u00XX"},
    MessageEntry{"parse_error.101", "invalid string: forbidden character after backslash",
        "a backslash in a text must be doubled or start an escape: write \\\\ for each "
        "backslash, as in \"\\\\Memory\\\\Available Bytes\""},
    MessageEntry{"parse_error.101", "invalid string: '\\u' must be followed by 4 hex digits",
        "\\u in a text must be followed by four hexadecimal digits"},
    MessageEntry{"parse_error.101", "invalid string: surrogate",
        "a \\u escape in a text is half of a character pair (an unpaired surrogate)"},
    MessageEntry{"parse_error.101", "invalid string: ill-formed UTF-8 byte",
        "a text holds bytes that are not UTF-8"},
    MessageEntry{"parse_error.101", "invalid number",
        "a number is incomplete: a digit must follow its minus sign, decimal point or exponent"},
    MessageEntry{"parse_error.101", "invalid comment", "the file may not hold comments"},
    MessageEntry{"parse_error.101", "invalid BOM", "the file starts with a broken byte-order mark"},
    MessageEntry{"out_of_range.406", "number overflow",
        "a number is too large: numbers go up to about 1.8e308"},
    // Types.
    MessageEntry{"type_error.302", "type must be string", "{value} must be text in double "
        "quotes, not {was}"},
    MessageEntry{"type_error.302", "type must be number", "{value} must be a number, not {was}"},
    MessageEntry{"type_error.302", "type must be boolean", "{value} must be true or false, not "
        "{was}"},
    MessageEntry{"type_error.302", "type must be object", "{value} must be an object { }, not "
        "{was}"},
    MessageEntry{"type_error.304", "cannot use at()", "{value} must be an array [ ], not {was}"},
    MessageEntry{"type_error.305", "cannot use operator[]",
        "the file must hold one object in braces { }, not {was}", ""},
    MessageEntry{"type_error.305", "cannot use operator[]",
        "\"meterGroups\" must be an object or an array, not {was}", "/meterGroups"},
    MessageEntry{"type_error.305", "cannot use operator[]", "{value} must be an object { }, not "
        "{was}"},
    // Text and number conversions.
    MessageEntry{"", "bad conversion", "{value} holds text that is not valid Unicode"},
    MessageEntry{"", "invalid stod argument",
        "{value} needs a number after its operator and a space, as in \"> 80\""},
    MessageEntry{"", "stod argument out of range",
        "the number in {value} is out of range: numbers go from about -1.8e308 to 1.8e308, "
        "and none but 0 is closer to 0 than about 2.2e-308"},
    // Limits.
    MessageEntry{"", kConfigurationTooLarge,
        "the file is too large: the band reads files of up to 1 MiB"},
    MessageEntry{"", kConfigurationTooDeep,
        "objects and arrays are nested too deeply: at most 64 levels"},
    MessageEntry{"", kTooManyGroups,
        "too many meter groups are enabled: at most 64 (turn some off with \"enabled\": false)"},
    MessageEntry{"", kTooManyMeters, "the file has too many meters: at most 512"},
    MessageEntry{"", kTooManyRefreshRates,
        "the meters use too many different refresh rates: at most 32 (give more of them the "
        "same \"refreshRate\")"},
    MessageEntry{"", kTooManyReferences,
        "{value} holds too many counter references: at most 159"},
    MessageEntry{"", kTooManyCounters, "a meter may have at most 64 counters: this one has more"},
    MessageEntry{"", kTooManyReferencesInFile,
        "the file has too many counter references: at most 1024 in all"},
    MessageEntry{"", kTooManyGraphCounters,
        "the graphs have too many counters: at most 128 in all"},
    MessageEntry{"", kTooManyInstancePatterns,
        "an \"include\" or \"exclude\" list has too many instance patterns: at most 32"},
    MessageEntry{"", kTooManyInstancePatternCharacters,
        "a counter's \"include\" and \"exclude\" patterns are too long: at most 1024 "
        "characters in all"},
    MessageEntry{"", kInstancePatternTooLong,
        "an instance pattern or \"groupBy\" text is too long: at most 256 characters"},
    MessageEntry{"", kAlertAboveAndBelow,
        "an \"alert\" gives both \"above\" and \"below\": keep the one it is raised past"},
    // Sources.
    MessageEntry{"", kUnknownSensorField,
        "{value} names a sensor field that its source does not have"},
    // Encodings.
    MessageEntry{"", kNotUtf8Text,
        "the file is not saved as UTF-8: save it again with the UTF-8 encoding"},
    MessageEntry{"", kUnpairedSurrogate,
        "the file, saved as UTF-16, holds half of a character pair: save it again as UTF-8"},
    MessageEntry{"", kUtf16CutShort,
        "the file, saved as UTF-16, ends in the middle of a character: save it again as UTF-8"},
    MessageEntry{"", kUtf16Nul,
        "the file, saved as UTF-16, holds a NUL character (U+0000): remove it, and save the "
        "file again as UTF-8"},
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
std::string valueName(std::string_view pointer) {
    if (pointer.empty()) {
        return "the document";
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
        return "an element";
    }
    return "each element of \"" + unescaped(parent.substr(parent.rfind('/') + 1)) + '"';
}

std::string typeName(std::string_view gist) {
    const std::string_view type = gist.substr(gist.rfind(' ') + 1);
    if (type == "string") {
        return "text";
    }
    if (type == "boolean") {
        return "true or false";
    }
    if (type == "object" || type == "array") {
        return "an " + std::string(type);
    }
    if (type == "number") {
        return "a number";
    }
    return std::string(type);
}

void replaceAll(std::string& text, std::string_view placeholder, const std::string& with) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + with.size())) {
        text.replace(at, placeholder.size(), with);
    }
}

}  // namespace

std::string plainLoaderMessage(std::string_view message, std::string_view pointer) {
    const Gist gist = gistOf(message);
    for (const MessageEntry& entry : kMessages) {
        if (entry.kind != gist.kind || !gist.text.starts_with(entry.gist) ||
            (entry.pointer != nullptr && pointer != entry.pointer)) {
            continue;
        }
        std::string plain(entry.plain);
        replaceAll(plain, "{value}", valueName(pointer));
        replaceAll(plain, "{was}", typeName(gist.text));
        return plain;
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
