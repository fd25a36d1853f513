#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/texts.h"

namespace tavisto {
namespace {

TEST(Texts, TheConfiguredLanguageThenTheFirstSpokenDisplayLanguageThenEnglish) {
    struct Case {
        std::string configured;
        std::vector<std::string> preferred;
        std::string_view chosen;
    };
    const Case cases[] = {
        {"", {}, "en"},
        {"", {"de-DE", "en-US"}, "de"},
        {"", {"de_at"}, "de"},
        {"", {"tlh", "fr-CA", "de-DE"}, "fr"},
        {"", {"pt-PT"}, "pt-BR"},
        {"", {"zh-SG"}, "zh-CN"},
        {"", {"zh-Hans-HK"}, "zh-CN"},
        {"", {"zh-TW", "ko-KR"}, "ko"},
        {"", {"zh-Hant", "nl-NL"}, "en"},
        {"ja", {"de-DE"}, "ja"},
        {"JA-jp", {}, "ja"},
        {"qps-ploc", {"de-DE"}, "qps-ploc"},
        {"tlh", {"es-MX"}, "es"},
        {"qps", {}, "en"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseTexts(c.configured, c.preferred).tag, c.chosen) << c.configured;
    }
}

TEST(Texts, PlaceholdersAreFilledByNameInAnyOrderAndUnknownOnesKept) {
    EXPECT_EQ(fillText(u"{value}, seit {duration} \u00FCber {threshold}",
                       {{u"threshold", u"90%"}, {u"value", u"CPU 95%"}, {u"duration", u"10 s"}}),
              u"CPU 95%, seit 10 s \u00FCber 90%");
    EXPECT_EQ(fillText(u"{a}{a} {b} {", {{u"a", u"x"}}), u"xx {b} {");
}

TEST(Texts, EveryLanguageHasEveryTextAndThePseudoLanguageIsLonger) {
    for (const TextTable& table : kTextTables) {
        for (std::size_t id = 0; id < kTextCount; ++id) {
            EXPECT_FALSE(table.texts[id].empty()) << table.tag << " " << id;
        }
    }
    const TextTable& pseudo = *textsFor(kPseudoLanguage);
    for (std::size_t id = 0; id < kTextCount; ++id) {
        EXPECT_GE(pseudo.texts[id].size() * 10, englishTexts().texts[id].size() * 14) << id;
    }
}

}  // namespace
}  // namespace tavisto
