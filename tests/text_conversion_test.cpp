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
