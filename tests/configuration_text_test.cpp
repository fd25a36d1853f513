#include <gtest/gtest.h>

#include <string>

#include "config/configuration_text.h"

namespace tavisto {
namespace {

std::string nested(std::size_t levels) {
    return R"({"meterGroups":[],"note":)" + std::string(levels - 1, '[') +
           std::string(levels - 1, ']') + "}";
}

TEST(ConfigurationText, AcceptsNestingUpToTheLimitAndABom) {
    EXPECT_NO_THROW(parseConfigurationText(nested(kMaxConfigurationNesting)));
    EXPECT_EQ(parseConfigurationText("\xEF\xBB\xBF{\"a\": [1]}")["a"][0], 1);
}

TEST(ConfigurationText, RefusesWhatIsTooDeepOrTooLargeWithItsMessage) {
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {nested(kMaxConfigurationNesting + 1), kConfigurationTooDeep},
        {nested(20000), kConfigurationTooDeep},
        {"{\"note\": \"" + std::string(kMaxConfigurationBytes, 'x') + "\"}",
         kConfigurationTooLarge},
    };
    for (const auto& refused : cases) {
        try {
            parseConfigurationText(refused.text);
            ADD_FAILURE() << "accepted " << refused.text.size() << " bytes";
        } catch (const ConfigurationLimitError& error) {
            EXPECT_STREQ(error.what(), refused.message);
        }
    }
}

TEST(ConfigurationText, SyntaxErrorsKeepTheLibraryMessage) {
    try {
        parseConfigurationText("{\"a\": }");
        ADD_FAILURE();
    } catch (const nlohmann::json::parse_error& error) {
        EXPECT_EQ(error.byte, 7u);
    }
}

}  // namespace
}  // namespace tavisto
