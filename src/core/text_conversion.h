#pragma once
// Text conversions shared by the loader, the evaluator and the value formatting.
// The messages of the exceptions are part of the configuration's error reporting.

#include <string>
#include <string_view>

namespace tavisto {

// UTF-8 to UTF-16, with surrogate pairs above the Basic Multilingual Plane.
// Throws std::range_error("bad conversion") on any malformed sequence
// (overlong forms, encoded surrogates, values above U+10FFFF, truncation).
std::u16string utf8ToUtf16(std::string_view utf8);

// Decodes the UTF-8 sequence at `at` (below utf8.size()) into `codePoint`; returns its
// length in bytes, or 0 when it is malformed (as utf8ToUtf16 refuses it).
std::size_t decodeUtf8(std::string_view utf8, std::size_t at, char32_t& codePoint);

// The offset of the first malformed UTF-8 sequence, npos when there is none.
std::size_t firstInvalidUtf8(std::string_view utf8);

// Whether printableText shows the character as its code point: the control characters
// but tab (C0, DEL, C1), the line and paragraph separators U+2028 and U+2029, and the
// characters that draw nothing or reorder the text around them, so that two texts that
// look the same print differently: Unicode's default-ignorable code points (among them
// the bidirectional controls U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to
// U+2069, the zero-width characters U+200B to U+200D and U+2060, the byte-order mark
// U+FEFF, the soft hyphen, the Hangul fillers, variation selectors and tags) and the
// interlinear annotation characters U+FFF9 to U+FFFB.
bool shownAsCodePoint(char32_t codePoint);

// The text made safe to print on a terminal or in a window: each malformed byte becomes
// U+FFFD and each character shownAsCodePoint names becomes "<U+XXXX>" (four hexadecimal
// digits or more, as many as the code point takes), as the JSON library writes control
// characters.
std::string printableText(std::string_view text);

// The longest start of `utf8` of at most `bytes` bytes that ends between two characters:
// a character the bound would cut is left out whole.
std::string_view utf8Prefix(std::string_view utf8, std::size_t bytes);

// UTF-16 to UTF-8. Throws std::range_error("bad conversion") on an unpaired surrogate.
std::string utf16ToUtf8(std::u16string_view utf16);

// Appends one code point (below 0x110000) as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

// strtod in the "C" locale, whatever the process locale is: the decimal
// separator is always ".". Same contract as strtod (end receives the stop position).
double strtodC(const char* text, char** end) noexcept;

// Reads a double the way the configuration's number texts are read: leading white
// space skipped, the longest numeric prefix used, the rest ignored.
// Throws std::invalid_argument("invalid stod argument") when no number starts the
// text and std::out_of_range("stod argument out of range") when it overflows or
// underflows the double range.
double stodC(const std::string& text);

}  // namespace tavisto
