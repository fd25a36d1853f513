#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/configuration_checker.h"
#include "config/configuration_text.h"
#include "config/loader_messages.h"
#include "core/text_conversion.h"
#include "support/checker_fixtures.h"

namespace tavisto {
namespace {

using testing::withCounter;
using testing::withMeter;

const Finding* firstError(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::Error) {
            return &finding;
        }
    }
    return nullptr;
}

// The library's own messages, raised by real documents: a new library version that words
// them otherwise fails here.
TEST(LoaderMessages, EachRefusalOfTheLibraryGetsItsPlainSentence) {
    const struct {
        std::string text;
        std::string plain;
    } cases[] = {
        {"{\"meterGroups\": [",
         "the file ends too early: a closing brace }, bracket ] or double "
         "quote is missing"},
        {"{} {}",
         "there is more after the end of the configuration: all of it must be inside "
         "one outer pair of braces { }"},
        {"{\"a\": 1,}",
         "a key in double quotes was expected here, such as \"name\" (no comma "
         "may come before a closing brace)"},
        {"{\"a\" 1}", "a colon : must follow the key"},
        {"{\"a\": 1 \"b\": 2}", "a comma , or a closing brace } is missing before this"},
        {"{\"a\": [1 2]}", "a comma , or a closing bracket ] is missing before this"},
        {"{\"a\": [1,]}",
         "a value was expected here: a number, text in double quotes, true, "
         "false, null, an object or an array (no comma may come before a "
         "closing bracket)"},
        {"{\"a\": True}",
         "this is not a JSON value: text needs double quotes, and true, false "
         "and null are written in lowercase"},
        {"{\"a\": \"b}", "a text has no closing double quote"},
        {"{\"a\": \"b\nc\"}",
         "a text holds a line break, tab or other control character: "
         "write it as \\n, \\t or \\u00XX"},
        {R"({"a": "\Memory"})",
         "a backslash in a text must be doubled or start an escape: "
         "write \\\\ for each backslash, as in "
         "\"\\\\Memory\\\\Available Bytes\""},
        {R"({"a": "\u12"})", "\\u in a text must be followed by four hexadecimal digits"},
        {R"({"a": "\ud800"})",
         "a \\u escape in a text is half of a character pair (an unpaired surrogate)"},
        {"{\"a\": -}",
         "a number is incomplete: a digit must follow its minus sign, decimal "
         "point or exponent"},
        {"{\"a\": 1e999}", "a number is too large: numbers go up to about 1.8e308"},
        {"{\"a\": 1} // note",
         "this is not a JSON value: text needs double quotes, and true, "
         "false and null are written in lowercase"},
        {withMeter(R"j({"width": "ten"})j"), "\"width\" must be a number, not text"},
        {withMeter(R"j({"meterType": 3})j"),
         "\"meterType\" must be text in double quotes, not "
         "a number"},
        {R"j({"meterGroups": [{"enabled": null}]})j",
         "\"enabled\" must be true or false, not "
         "null"},
        {withMeter(R"j({"counters": {"x": 1}})j"),
         "\"counters\" must be an array [ ], not an "
         "object"},
        {"[1]", "the file must hold one object in braces { }, not an array"},
        {R"j({"meterGroups": true})j",
         "\"meterGroups\" must be an object or an array, not "
         "true or false"},
        {R"j({"meterGroups": [{}, 7]})j",
         "each element of \"meterGroups\" must be an object "
         "{ }, not a number"},
        {withCounter(R"j({"trigger": "> x"})j"),
         "\"trigger\" needs a number after its operator and a space, as in \"> 80\""},
        {withCounter(R"j({"trigger": "> 1e999"})j"),
         "the number in \"trigger\" is out of range: numbers go from about -1.8e308 to 1.8e308, "
         "and none but 0 is closer to 0 than about 2.2e-308"},
        {"{\"a\": \"caf\xE9\"}",
         "the file is not saved as UTF-8: save it again with the UTF-8 encoding"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text.substr(0, 60));
        const std::vector<Finding> findings = checkConfiguration(test.text);
        const Finding* error = firstError(findings);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->message, test.plain);
        EXPECT_FALSE(error->detail.empty());
        EXPECT_EQ(findingText(*error), test.plain + " (the band says: " + error->detail + ")");
    }
}

// Messages of our own, and those no file can raise any longer (the text is decoded and
// checked before the library sees it), each by its text.
TEST(LoaderMessages, EachMessageOfOurOwnGetsItsPlainSentenceAndAnUnknownOneNone) {
    const struct {
        std::string message;
        std::string pointer;
        std::string plain;
    } cases[] = {
        {"bad conversion", "/meterGroups/0/name", "\"name\" holds text that is not valid Unicode"},
        {kConfigurationTooLarge, "", "the file is too large: the band reads files of up to 1 MiB"},
        {kConfigurationTooDeep, "", "objects and arrays are nested too deeply: at most 64 levels"},
        {kTooManyGroups, "/meterGroups/64",
         "too many meter groups are enabled: at most 64 (turn some off with \"enabled\": false)"},
        {kTooManyMeters, "/meterGroups/0/meters/512", "the file has too many meters: at most 512"},
        {kTooManyRefreshRates, "/meterGroups/0/meters/32",
         "the meters use too many different refresh rates: at most 32 (give more of them the "
         "same \"refreshRate\")"},
        {kTooManyReferences, "/meterGroups/0/meters/0/counters/0/counterPath",
         "\"counterPath\" holds too many counter references: at most 159"},
        {kTooManyCounters, "/meterGroups/0/meters/0/counters/64",
         "a meter may have at most 64 counters: this one has more"},
        {kTooManyReferencesInFile, "/meterGroups/0/meters/9/counters/0",
         "the file has too many counter references: at most 1024 in all"},
        {kTooManyGraphCounters, "/meterGroups/0/meters/9/counters/0",
         "the graphs have too many counters: at most 128 in all"},
        {std::string(kUnpairedSurrogate) + " (line 1, column 9)", "",
         "the file, saved as UTF-16, holds half of a character pair: save it again as UTF-8"},
        {std::string(kUtf16CutShort) + " (line 2, column 1)", "",
         "the file, saved as UTF-16, ends in the middle of a character: save it again as UTF-8"},
        {std::string(kUtf16Nul) + " (line 1, column 3)", "",
         "the file, saved as UTF-16, holds a NUL character (U+0000): remove it, and save the "
         "file again as UTF-8"},
        {"[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while "
         "parsing value - invalid string: ill-formed UTF-8 byte; last read: '\"'",
         "", "a text holds bytes that are not UTF-8"},
        {"[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
         "parsing value - invalid BOM; must be 0xEF 0xBB 0xBF if given; last read: '\xEF'",
         "", "the file starts with a broken byte-order mark"},
        {"[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
         "parsing value - invalid comment; expecting '/' or '*' after '/'; last read: '/'",
         "", "the file may not hold comments"},
        {"[json.exception.type_error.316] invalid UTF-8 byte at index 0: 0xFF", "", ""},
        {"a counter expression the band does not know", "", ""},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(plainLoaderMessage(test.message, test.pointer), test.plain) << test.message;
    }
    const Finding unknown{Severity::Error, 1, 1, "", "load", "", "something new"};
    EXPECT_EQ(findingText(unknown), "something new");
}

TEST(LoaderMessages, TheBandsPositionIsRewrittenInCharactersLikeTheFindings) {
    // "é" takes two bytes: the library counts column 11, the finding 10.
    const std::string text = "{\"\xC3\xA9\": [1,,2]}";
    const std::vector<Finding> findings = checkConfiguration(text);
    const Finding* error = firstError(findings);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->column, 10u);
    EXPECT_NE(error->detail.find("parse error at line 1, column 10: syntax error"),
              std::string::npos)
        << error->detail;
}

std::string utf16(const std::u16string& text, bool bigEndian, bool mark) {
    std::string bytes;
    for (const char16_t unit : (mark ? u"\uFEFF" : u"") + text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(ConfigurationEncodings, TheBandAndTheCheckerReadUtf16WithAMarkAndRefuseTheRest) {
    const std::u16string document = u"{\"meterGroups\": [],\n \"note\": \"caf\u00e9 \U0001F600\"}";
    const std::u16string lone = u"{\"meterGroups\": [],\n \"note\": \"a\xD800\"}";
    // U+0000, which the parser would take for the end of the text, is refused as UTF-8's
    // NUL byte is: where a value should be, and after the document, before what follows.
    const std::u16string nul = std::u16string(u"{\"meterGroups\": [],\n \"note\": ") + u'\0' + u"}";
    const std::u16string nulAfter = document + u'\0' + u"{\"anything\": [";
    const struct {
        const char* name;
        std::string bytes;
        std::string refusal;  // the band's message; "" when the file loads
        const char* checkerWarning;
    } cases[] = {
        {"UTF-16 LE", utf16(document, false, true), "", "encoding"},
        {"UTF-16 BE", utf16(document, true, true), "", "encoding"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + utf16ToUtf8(document), "", nullptr},
        {"UTF-16 LE without a mark", utf16(document, false, false),
         "the file is not UTF-8 text (line 1, column 2)", nullptr},
        {"UTF-16 BE without a mark", utf16(document, true, false),
         "the file is not UTF-8 text (line 1, column 1)", nullptr},
        {"Latin-1", "{\"meterGroups\": [],\r\n \"note\": \"caf\xE9\"}",
         "the file is not UTF-8 text (line 2, column 14)", nullptr},
        {"unpaired surrogate, LE", utf16(lone, false, true),
         "the file is UTF-16 text with an unpaired surrogate (line 2, column 12)", nullptr},
        {"unpaired surrogate, BE", utf16(lone, true, true),
         "the file is UTF-16 text with an unpaired surrogate (line 2, column 12)", nullptr},
        {"UTF-16 holding U+0000", utf16(nul, false, true),
         "the file is UTF-16 text with a U+0000 character (line 2, column 10)", nullptr},
        {"UTF-16 with U+0000 after the document, BE", utf16(nulAfter, true, true),
         "the file is UTF-16 text with a U+0000 character (line 2, column 19)", nullptr},
        {"UTF-8 with a NUL byte after the document", utf16ToUtf8(nulAfter),
         "the file is not UTF-8 text (line 2, column 19)", nullptr},
        {"UTF-16 cut in a character", utf16(document, false, true) + "}",
         "the file is UTF-16 text that ends in the middle of a character (line 2, column 19)",
         nullptr},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::string refusal;
        try {
            EXPECT_EQ(parseConfigurationText(test.bytes)["note"], "caf\u00e9 \U0001F600");
        } catch (const std::exception& error) {
            refusal = error.what();
        }
        EXPECT_EQ(refusal, test.refusal);
        const std::vector<Finding> findings = checkConfiguration(test.bytes);
        const Finding* error = firstError(findings);
        EXPECT_EQ(error == nullptr ? "" : error->detail, test.refusal);
        const bool warned = !findings.empty() && findings[0].code == "encoding" &&
                            findings[0].severity == Severity::Warning;
        EXPECT_EQ(warned, test.checkerWarning != nullptr);
    }
}

TEST(ConfigurationEncodings, TheSizeLimitIsOnTheFilesBytesNotOnTheConvertedText) {
    // Each character takes two bytes in the file and three once converted.
    const std::u16string wide(kMaxConfigurationBytes / 2 - 20, u'\u4E2D');
    const std::string atLimit = utf16(u"{\"a\": \"" + wide + u"\"}", false, true);
    ASSERT_LE(atLimit.size(), kMaxConfigurationBytes);
    EXPECT_EQ(parseConfigurationText(atLimit)["a"].get_ref<const std::string&>().size(),
              3 * wide.size());
    EXPECT_FALSE(hasErrors(checkConfiguration(atLimit)));
    const std::string over = utf16(u"{\"a\": \"" + wide + u"1234567890123\"}", false, true);
    ASSERT_GT(over.size(), kMaxConfigurationBytes);
    EXPECT_THROW(parseConfigurationText(over), ConfigurationLimitError);
}

bool printable(const std::string& text) {
    if (firstInvalidUtf8(text) != std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        i += decodeUtf8(text, i, c);
        if (shownAsCodePoint(c)) {
            return false;
        }
    }
    return true;
}

// The fuzz corpus, each file cut short and with bytes changed to every kind of hostile
// byte, as UTF-8 and as UTF-16: no finding prints a byte a terminal would misread, nor a
// character that hides or reorders text.
TEST(ConfigurationEncodings, NoFindingOfTheFuzzCorpusPrintsInvalidUtf8OrControlCharacters) {
    std::vector<std::string> inputs;
    for (const char* folder : {"checker", "loader"}) {
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(TAVISTO_SOURCE_DIR) / "fuzz" / "corpus" / folder)) {
            std::ifstream file(entry.path(), std::ios::binary);
            inputs.emplace_back(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
        }
    }
    ASSERT_GE(inputs.size(), 10u);
    const std::size_t corpus = inputs.size();
    const char hostile[] = {'\x01', '\x1B', '\x7F', '\x80', '\xC2', '\xE9', '\xFF', '\0'};
    for (std::size_t i = 0; i < corpus; ++i) {
        const std::string text = inputs[i];
        for (std::size_t at = 1; at < text.size(); at += 1 + text.size() / 16) {
            inputs.push_back(text.substr(0, at));
            for (const char byte : hostile) {
                std::string changed = text;
                changed[at] = byte;
                inputs.push_back(changed);
                // A control character or a key that holds one, decoded from an escape, and
                // characters that reorder or hide text.
                inputs.push_back(text.substr(0, at) + "\"\\u001b[31m\\u0085\": \xC2\x9B" +
                                 std::string(1, byte) + text.substr(at));
                inputs.push_back(text.substr(0, at) +
                                 "\"\\u202e\xE2\x81\xA6\xE2\x80\x8B\": \"\xEF\xBB\xBF\\u2069\"" +
                                 std::string(1, byte) + text.substr(at));
            }
        }
        inputs.push_back("\xFF\xFE" + text);  // UTF-8 bytes read as UTF-16
    }
    std::size_t findings = 0;
    for (const std::string& input : inputs) {
        for (const Finding& finding : checkConfiguration(input)) {
            ++findings;
            ASSERT_TRUE(printable(finding.message) && printable(finding.detail) &&
                        printable(finding.pointer))
                << finding.message << " | " << finding.detail << " | " << finding.pointer;
        }
    }
    EXPECT_GT(findings, inputs.size());
}

}  // namespace
}  // namespace tavisto
