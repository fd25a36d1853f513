#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "config/configuration_text.h"
#include "config/counter_references.h"

namespace tavisto {
namespace {

struct Extracted {
    std::u16string text;
    ReferenceMap references;
};

Extracted extract(std::u16string text) {
    ReferenceMap references = extractReferences(text);
    return {std::move(text), std::move(references)};
}

TEST(CounterReferences, TextWithoutParenthesisedReferenceYieldsNone) {
    for (const std::u16string text :
         {u"\\Processor(_Total)\\% processor time", u"1 + 2", u"", u"( \\A\\B)",
          u"(performance_information.ThreadCount)", u"(\\\\server\\A\\B)", u"(\\A\\B"}) {
        const Extracted result = extract(text);
        EXPECT_TRUE(result.references.empty());
        EXPECT_EQ(result.text, text);
    }
}

TEST(CounterReferences, PerformanceCounterPathBecomesA) {
    const Extracted result = extract(u"(\\Processor(_Total)\\% processor time)");
    EXPECT_EQ(result.text, u"a");
    ASSERT_EQ(result.references.size(), 1u);
    const CounterReference& a = result.references.at("a");
    EXPECT_EQ(a.kind, CounterReference::PerformanceCounter);
    EXPECT_EQ(a.path, u"\\Processor(_Total)\\% processor time");
}

TEST(CounterReferences, RepeatedCounterPathsGetAnEntryEach) {
    const Extracted result = extract(u"(\\A\\B) - (\\A\\B)");
    EXPECT_EQ(result.text, u"a - b");
    ASSERT_EQ(result.references.size(), 2u);
    EXPECT_EQ(result.references.at("a").path, u"\\A\\B");
    EXPECT_EQ(result.references.at("b").path, u"\\A\\B");
}

TEST(CounterReferences, RepeatedPerformanceFieldsShareOneEntry) {
    const Extracted result =
        extract(u"(PERFORMANCE_INFORMATION.CommitTotal) / (PERFORMANCE_INFORMATION.CommitTotal)");
    EXPECT_EQ(result.text, u"a / a");
    ASSERT_EQ(result.references.size(), 1u);
    EXPECT_EQ(result.references.at("a").kind, CounterReference::PerformanceField);
    EXPECT_EQ(result.references.at("a").path, u"PERFORMANCE_INFORMATION.CommitTotal");
}

TEST(CounterReferences, CounterPathsAreNamedBeforePerformanceFields) {
    const Extracted result =
        extract(u"(PERFORMANCE_INFORMATION.ProcessCount) + (\\System\\Threads)");
    EXPECT_EQ(result.text, u"b + a");
    EXPECT_EQ(result.references.at("a").path, u"\\System\\Threads");
    EXPECT_EQ(result.references.at("b").path, u"PERFORMANCE_INFORMATION.ProcessCount");

    const Extracted mixed = extract(u"(\\A\\B) * (\\C\\D) / (PERFORMANCE_INFORMATION.HandleCount)");
    EXPECT_EQ(mixed.text, u"a * b / c");
}

TEST(CounterReferences, WildcardsAndTextAroundReferencesStay) {
    const Extracted wildcard = extract(u"(\\Network Interface(*)\\Bytes Total/sec)");
    EXPECT_EQ(wildcard.text, u"a");
    EXPECT_EQ(wildcard.references.at("a").path, u"\\Network Interface(*)\\Bytes Total/sec");

    const Extracted scaled = extract(u"(\\Memory\\Available Bytes) / 1048576");
    EXPECT_EQ(scaled.text, u"a / 1048576");
}

TEST(CounterReferences, MatchesFollowTheRegularExpressionsExactly) {
    // The object part may hold anything but a backslash, parentheses included.
    const Extracted nested = extract(u"((\\A(x\\B)");
    EXPECT_EQ(nested.text, u"(a");
    EXPECT_EQ(nested.references.at("a").path, u"\\A(x\\B");
    // A counter part that runs into a backslash is no match at that start.
    const Extracted third = extract(u"(\\A\\B\\C) (\\D\\E)");
    EXPECT_EQ(third.text, u"(\\A\\B\\C) a");
    // Any character but a line terminator may stand for the full stop, even ")".
    const Extracted anyCharacter = extract(u"(PERFORMANCE_INFORMATION))");
    EXPECT_EQ(anyCharacter.text, u"a");
    EXPECT_EQ(anyCharacter.references.at("a").path, u"PERFORMANCE_INFORMATION)");
    const Extracted lineBreak = extract(u"(PERFORMANCE_INFORMATION\nX)");
    EXPECT_TRUE(lineBreak.references.empty());
    const Extracted otherSeparator = extract(u"(PERFORMANCE_INFORMATION-ThreadCount)");
    EXPECT_EQ(otherSeparator.references.at("a").path, u"PERFORMANCE_INFORMATION-ThreadCount");
}

TEST(CounterReferences, NamesAdvanceByCharacterCodePastZ) {
    std::u16string text;
    for (int i = 0; i < 28; ++i) {
        text += u"(\\A\\B)+";
    }
    const Extracted result = extract(text);
    ASSERT_EQ(result.references.size(), 28u);
    EXPECT_EQ(result.references.begin()->first, "a");
    EXPECT_EQ(result.references.count("z"), 1u);
    EXPECT_EQ(result.references.count("{"), 1u);
    EXPECT_EQ(result.references.rbegin()->first, "|");
}

std::u16string repeated(std::u16string_view part, std::size_t times) {
    std::u16string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

TEST(CounterReferences, NamesRunOutAfter159AndTheCounterIsRefused) {
    const Extracted last = extract(repeated(u"(\\A\\B)+", kMaxCounterReferences));
    ASSERT_EQ(last.references.size(), 159u);
    EXPECT_EQ(last.references.rbegin()->first, "\xFF");
    EXPECT_EQ(last.text.substr(last.text.size() - 2), u"\u00FF+");

    for (const std::u16string& text :
         {repeated(u"(\\A\\B)+", kMaxCounterReferences + 1), repeated(u"(\\A\\B)", 64000),
          repeated(u"(\\A\\B)", kMaxCounterReferences) + u"(PERFORMANCE_INFORMATION.F)"}) {
        try {
            extract(text);
            ADD_FAILURE() << text.size() << " characters accepted";
        } catch (const ConfigurationLimitError& error) {
            EXPECT_STREQ(error.what(), kTooManyReferences);
        }
    }
}

TEST(CounterReferences, ManyOccurrencesOfOneFieldShareOneName) {
    const Extracted result = extract(repeated(u"(PERFORMANCE_INFORMATION.ThreadCount)+", 64000));
    ASSERT_EQ(result.references.size(), 1u);
    EXPECT_EQ(result.text, repeated(u"a+", 64000));
}

// What the extraction promises, written the slow way: after every replacement the
// rewritten text is searched again from its beginning with the regular expressions.
Extracted extractBySearchingAgain(const std::wstring& original) {
    static const std::wregex counter(LR"(\(\\[^\\]*\\[^\\)]*\))");
    static const std::wregex field(
        LR"(\((PERFORMANCE_INFORMATION|SYSTEM_INFO|ADAPTER_PERFDATA|SYSTEM_POWER_STATUS).[^\)]*\))");
    std::wstring text = original;
    ReferenceMap references;
    char name = 'a';
    const auto add = [&](std::int32_t kind, const std::wstring& match) {
        references[std::string(1, name)].kind = kind;
        references[std::string(1, name)].path = std::u16string(match.begin() + 1, match.end() - 1);
        ++name;
    };
    std::wsmatch match;
    while (std::regex_search(text, match, counter)) {
        const std::wstring found = match.str();
        text.replace(text.find(found), found.size(), 1, static_cast<wchar_t>(name));
        add(CounterReference::PerformanceCounter, found);
    }
    while (std::regex_search(text, match, field)) {
        const std::wstring found = match.str();
        for (auto at = text.find(found); at != std::wstring::npos; at = text.find(found, at + 1)) {
            text.replace(at, found.size(), 1, static_cast<wchar_t>(name));
        }
        const bool sensor =
            found.starts_with(L"(ADAPTER_PERFDATA") || found.starts_with(L"(SYSTEM_POWER_STATUS");
        add(sensor ? CounterReference::SensorField : CounterReference::PerformanceField, found);
    }
    return {std::u16string(text.begin(), text.end()), std::move(references)};
}

TEST(CounterReferences, OnePassFindsWhatSearchingAgainFinds) {
    // Replacing a reference can complete a start left of it, as in (\A\B(\C\D)).
    const wchar_t* const pieces[] = {
        L"(", L")", L"\\", L"A", L"\n", L" ", L"(PERFORMANCE_INFORMATION", L"(ADAPTER_PERFDATA",
        L"(SYSTEM_POWER_STATUS", L"(SYSTEM_INFO", L".", L"(\\A\\B)"};
    std::mt19937 random(10);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int trial = 0; trial < 5000; ++trial) {
        std::wstring text;
        for (int count = length(random); count > 0; --count) {
            text += pieces[piece(random)];
        }
        const Extracted expected = extractBySearchingAgain(text);
        const Extracted actual = extract(std::u16string(text.begin(), text.end()));
        ASSERT_EQ(actual.text, expected.text) << "from " << std::string(text.begin(), text.end());
        ASSERT_EQ(actual.references.size(), expected.references.size());
        for (const auto& [name, reference] : expected.references) {
            EXPECT_EQ(actual.references.at(name).kind, reference.kind);
            EXPECT_EQ(actual.references.at(name).path, reference.path);
        }
    }
}

}  // namespace
}  // namespace tavisto
