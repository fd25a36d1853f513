#include <gtest/gtest.h>

#include <clocale>
#include <stdexcept>
#include <string>

#include "core/text_conversion.h"

namespace tavisto {
namespace {

std::string conversionFailure(std::string_view utf8) {
    try {
        utf8ToUtf16(utf8);
    } catch (const std::range_error& error) {
        return error.what();
    }
    return {};
}

TEST(TextConversion, Utf8BecomesUtf16WithSurrogatePairs) {
    EXPECT_EQ(utf8ToUtf16("abc"), u"abc");
    EXPECT_EQ(utf8ToUtf16("\xC2\xB0"), u"\u00B0");
    EXPECT_EQ(utf8ToUtf16("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x9A\x80"), u"\U0001F680");
    EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(utf8ToUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextConversion, MalformedUtf8IsABadConversion) {
    for (const std::string_view bad :
         {"\x80", "\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
          "\xF8\x88\x80\x80\x80", "\xE2\x82", "a\xFF"}) {
        EXPECT_EQ(conversionFailure(bad), "bad conversion") << bad.size();
    }
}

TEST(TextConversion, Utf16RoundTripsAndRejectsLoneSurrogates) {
    const std::u16string text = u"R\u00E9seau \u20AC \U0001F680";
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
    EXPECT_THROW(utf16ToUtf8(std::u16string(1, u'\xD800')), std::range_error);
    EXPECT_THROW(utf16ToUtf8(std::u16string(1, u'\xDC00')), std::range_error);
    EXPECT_THROW(utf16ToUtf8(std::u16string{u'\xD800', u'a'}), std::range_error);
}

// What a terminal or a window would not show as written: control characters, and the
// characters that draw nothing or reorder the text, each by its code point.
TEST(TextConversion, PrintableTextShowsControlAndInvisibleCharactersByTheirCodePoints) {
    const struct {
        std::string text;
        std::string printed;
    } cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x80\tx",
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x80\tx"},
        {std::string("a\0b", 3), "a<U+0000>b"},
        {"\x1B[31m\x7F\xC2\x85", "<U+001B>[31m<U+007F><U+0085>"},
        {"\xE2\x80\xA8\xE2\x80\xA9", "<U+2028><U+2029>"},
        // "txt.exe" shown reversed: the override and isolates reorder what follows.
        {"\xE2\x80\xAEtxt.exe", "<U+202E>txt.exe"},
        {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD", "<U+202A><U+202B><U+202C><U+202D>"},
        {"\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", "<U+2066><U+2067><U+2068><U+2069>"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F", "<U+061C><U+200E><U+200F>"},
        // Zero-width characters, word joiner, a byte-order mark inside the text.
        {"co\xE2\x80\x8Blo\xE2\x80\x8C\xE2\x80\x8Dr\xE2\x81\xA0\xEF\xBB\xBF",
         "co<U+200B>lo<U+200C><U+200D>r<U+2060><U+FEFF>"},
        // Soft hyphen, Hangul filler, variation selector, tag: above U+FFFF in five digits.
        {"\xC2\xAD\xE3\x85\xA4\xEF\xB8\x8F\xF3\xA0\x80\x81", "<U+00AD><U+3164><U+FE0F><U+E0001>"},
        // Visible neighbours stay as they are.
        {"\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x81\x9F\xEF\xBF\xBD",
         "\xE2\x80\x8A\xE2\x80\x90\xE2\x80\xAF\xE2\x81\x9F\xEF\xBF\xBD"},
        {"a\xFF\xC3", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(printableText(test.text), test.printed) << test.printed;
    }
}

TEST(TextConversion, Utf8PrefixEndsBetweenCharacters) {
    // "a", then two, three and four bytes: "aé€🚀".
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x80";
    const struct {
        std::size_t bytes;
        std::size_t kept;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 3},   {4, 3},   {5, 3},   {6, 6},
                 {7, 6}, {8, 6}, {9, 6}, {10, 10}, {11, 10}, {100, 10}};
    for (const auto& test : cases) {
        EXPECT_EQ(utf8Prefix(text, test.bytes), text.substr(0, test.kept)) << test.bytes;
    }
}

TEST(NumberReading, StodReadsTheLongestPrefixAfterWhiteSpace) {
    EXPECT_EQ(stodC("90"), 90.0);
    EXPECT_EQ(stodC("  75.5"), 75.5);
    EXPECT_EQ(stodC("90%"), 90.0);
    EXPECT_EQ(stodC("1e3x"), 1000.0);
    EXPECT_EQ(stodC("-.5"), -0.5);
}

TEST(NumberReading, StodFailuresCarryTheirMessages) {
    const auto message = [](const std::string& text) -> std::string {
        try {
            stodC(text);
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    };
    EXPECT_EQ(message(""), "invalid stod argument");
    EXPECT_EQ(message("x1"), "invalid stod argument");
    EXPECT_EQ(message("1e999"), "stod argument out of range");
    EXPECT_EQ(message("-1e999"), "stod argument out of range");
}

TEST(NumberReading, DecimalPointIsAFullStopInEveryLocale) {
    // Only effective where a locale with a decimal comma is installed.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const bool commaLocale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                             std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
    EXPECT_EQ(stodC("2.5"), 2.5);
    char* end = nullptr;
    const char* text = "1.25,5";
    EXPECT_EQ(strtodC(text, &end), 1.25);
    EXPECT_EQ(end, text + 4);
    std::setlocale(LC_NUMERIC, previous.c_str());
    if (!commaLocale) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
}

}  // namespace
}  // namespace tavisto
