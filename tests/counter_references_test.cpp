#include <gtest/gtest.h>

#include <string>

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
    EXPECT_EQ(a.counterHandle, 0u);
    EXPECT_EQ(a.value, 0.0);
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

}  // namespace
}  // namespace tavisto
