#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
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

// The least processor time of a few runs: the machine may be busy with other work.
template <typename Parse>
double leastSeconds(Parse parse) {
    double least = 1e9;
    for (int run = 0; run < 3; ++run) {
        const std::clock_t start = std::clock();
        parse();
        least = std::min(least, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return least;
}

TEST(ConfigurationText, ManyEmptyContainersParseAboutAsFastAsWithoutBounds) {
    std::string array = "[{}";
    std::string object = "{\"0\":{}";
    for (std::size_t i = 1; object.size() + 16 < kMaxConfigurationBytes; ++i) {
        array += ",{}";
        object += ",\"" + std::to_string(i) + "\":{}";
    }
    array += "]";
    object += "}";
    for (const std::string& text : {array, object}) {
        nlohmann::json bounded;
        const double boundedSeconds = leastSeconds([&] { bounded = parseConfigurationText(text); });
        nlohmann::json plain;
        const double plainSeconds = leastSeconds([&] { plain = nlohmann::json::parse(text); });
        EXPECT_EQ(bounded, plain);
        // Far above the benchmark's goal of 2: only a cost that grows faster than the
        // text fails (a quadratic parse of this text takes a thousand times the plain one).
        EXPECT_LT(boundedSeconds, 20 * plainSeconds + 0.05) << text.substr(0, 8);
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
