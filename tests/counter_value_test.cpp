#include "sampling/counter_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "config/configuration_loader.h"
#include "support/allocation_count.h"

namespace tavisto {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

MeterCounter counterFrom(const char* json) {
    return parseCounter(nlohmann::json::parse(json), 1.0);
}

void setSample(MeterCounter& counter, const std::string& name, double value) {
    ASSERT_EQ(counter.references.count(name), 1u) << name;
    counter.references.at(name).value = value;
}

TEST(CounterValue, WithoutReferencesIsZeroMovedIntoTheRange) {
    MeterCounter plain =
        counterFrom(R"json({"counterPath": "\\Processor(_Total)\\% processor time"})json");
    ASSERT_TRUE(plain.references.empty());
    EXPECT_EQ(currentValue(plain), 0.0);

    MeterCounter raised = counterFrom(R"json({"counterPath": "1 + 1", "minValue": 5})json");
    EXPECT_EQ(currentValue(raised), 5.0);
    EXPECT_EQ(raised.minValue, 5.0);
}

TEST(CounterValue, OneReferenceGivesTheBareSampleWithoutEvaluatingTheText) {
    MeterCounter ratio = counterFrom(
        R"json({"counterPath": "(PERFORMANCE_INFORMATION.CommitTotal) / (PERFORMANCE_INFORMATION.CommitTotal)"})json");
    ASSERT_EQ(ratio.expressionText, "a / a");
    setSample(ratio, "a", 7.0);
    EXPECT_EQ(currentValue(ratio), 7.0);

    MeterCounter scaled =
        counterFrom(R"json({"counterPath": "(\\Memory\\Available Bytes) / 1048576"})json");
    setSample(scaled, "a", 2097152.0);
    EXPECT_EQ(currentValue(scaled), 2097152.0);

    MeterCounter broken =
        counterFrom(R"json({"counterPath": "(\\Memory\\Available Bytes) ?"})json");
    setSample(broken, "a", 3.0);
    EXPECT_EQ(currentValue(broken), 3.0);

    MeterCounter unsampled = counterFrom(
        R"json({"counterPath": "(\\Memory\\Available Bytes)", "minValue": 0, "maxValue": 1
    })json");
    setSample(unsampled, "a", std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(currentValue(unsampled)));
    EXPECT_EQ(unsampled.minValue, 0.0);
    EXPECT_EQ(unsampled.maxValue, 1.0);
}

TEST(CounterValue, SeveralReferencesEvaluateTheExpressionOnTheLatestSamples) {
    MeterCounter product = counterFrom(R"json({"counterPath": "(\\A\\B) * (\\C\\D)"})json");
    ASSERT_EQ(product.expressionText, "a * b");
    setSample(product, "a", 3.0);
    setSample(product, "b", 4.0);
    EXPECT_EQ(currentValue(product), 12.0);
    setSample(product, "b", 5.0);
    EXPECT_EQ(currentValue(product), 15.0);

    MeterCounter mixed = counterFrom(
        R"json({"counterPath": "100 * (PERFORMANCE_INFORMATION.ProcessCount) / (\\System\\Threads)"
    })json");
    ASSERT_EQ(mixed.expressionText, "100 * b / a");
    setSample(mixed, "a", 400.0);
    setSample(mixed, "b", 2.0);
    EXPECT_EQ(currentValue(mixed), 0.5);
}

TEST(CounterValue, ExpressionIsCompiledOnceForItsOwnCounter) {
    MeterCounter original = counterFrom(R"json({"counterPath": "(\\A\\B) - (\\C\\D)"})json");
    setSample(original, "a", 10.0);
    setSample(original, "b", 4.0);
    ASSERT_EQ(currentValue(original), 6.0);

    const std::size_t before = testing::allocationCount();
    for (int round = 0; round < 100; ++round) {
        setSample(original, "a", round);
        EXPECT_EQ(currentValue(original), round - 4.0);
    }
    EXPECT_EQ(testing::allocationCount(), before);

    // A copy reads its own samples, not the ones the original was compiled over.
    MeterCounter copy = original;
    setSample(copy, "a", 100.0);
    EXPECT_EQ(currentValue(copy), 96.0);
    EXPECT_EQ(currentValue(original), 95.0);
    copy = original;
    setSample(copy, "b", 1.0);
    EXPECT_EQ(currentValue(copy), 98.0);

    // A text that changed is compiled again.
    original.expressionText = "a + b";
    EXPECT_EQ(currentValue(original), 103.0);
}

TEST(CounterValue, ExpressionThatDoesNotCompileShowsAsZero) {
    // A space after the parenthesis keeps the second path from being a reference.
    MeterCounter leftover = counterFrom(
        R"json({"counterPath": "(\\A\\B) + (\\C\\D) + ( \\E\\F)", "minValue": -10})json");
    ASSERT_EQ(leftover.references.size(), 2u);
    setSample(leftover, "a", 1.0);
    setSample(leftover, "b", 2.0);
    EXPECT_EQ(currentValue(leftover), 0.0);

    MeterCounter unknownName = counterFrom(R"json({"counterPath": "(\\A\\B) + (\\C\\D) + x"})json");
    setSample(unknownName, "a", 1.0);
    EXPECT_EQ(currentValue(unknownName), 0.0);
}

TEST(CounterValue, DivisionByZeroGivesInfinityOrZeroForNaN) {
    MeterCounter quotient =
        counterFrom(R"json({"counterPath": "(\\A\\B) / (\\C\\D)", "maxValue": 100})json");
    setSample(quotient, "a", 1.0);
    setSample(quotient, "b", 0.0);
    EXPECT_EQ(currentValue(quotient), 100.0);
    EXPECT_EQ(quotient.maxValue, 100.0);
    setSample(quotient, "a", 0.0);
    EXPECT_EQ(currentValue(quotient), 0.0);
    setSample(quotient, "a", -1.0);
    EXPECT_EQ(currentValue(quotient), -kInfinity);

    MeterCounter dynamic = counterFrom(
        R"json({"counterPath": "(\\A\\B) / (\\C\\D)", "maxValue": 100, "dynamicMaxValue": true
    })json");
    setSample(dynamic, "a", 1.0);
    setSample(dynamic, "b", 0.0);
    EXPECT_EQ(currentValue(dynamic), kInfinity);
    EXPECT_EQ(dynamic.maxValue, kInfinity);
}

TEST(CounterValue, FixedRangeClampsTheValue) {
    MeterCounter counter =
        counterFrom(R"json({"counterPath": "(\\A\\B)", "minValue": 0, "maxValue": 100})json");
    setSample(counter, "a", 150.0);
    EXPECT_EQ(currentValue(counter), 100.0);
    setSample(counter, "a", -3.0);
    EXPECT_EQ(currentValue(counter), 0.0);
    setSample(counter, "a", 42.5);
    EXPECT_EQ(currentValue(counter), 42.5);
    EXPECT_EQ(counter.minValue, 0.0);
    EXPECT_EQ(counter.maxValue, 100.0);

    MeterCounter unbounded = counterFrom(R"json({"counterPath": "(\\A\\B)"
    })json");
    setSample(unbounded, "a", -1e308);
    EXPECT_EQ(currentValue(unbounded), -1e308);
    EXPECT_EQ(unbounded.minValue, -kInfinity);
    EXPECT_EQ(unbounded.maxValue, kInfinity);
}

TEST(CounterValue, DynamicBoundsOnlyWidenUntilTheNextLoad) {
    const char* json =
        R"json({"counterPath": "(\\A\\B)", "minValue": 0, "maxValue": 100, "dynamicMaxValue": true})json";
    MeterCounter counter = counterFrom(json);
    setSample(counter, "a", 150.0);
    EXPECT_EQ(currentValue(counter), 150.0);
    EXPECT_EQ(counter.maxValue, 150.0);
    setSample(counter, "a", 120.0);
    EXPECT_EQ(currentValue(counter), 120.0);
    EXPECT_EQ(counter.maxValue, 150.0);
    setSample(counter, "a", -5.0);
    EXPECT_EQ(currentValue(counter), 0.0);
    EXPECT_EQ(counter.minValue, 0.0);

    MeterCounter reloaded = counterFrom(json);
    setSample(reloaded, "a", 120.0);
    EXPECT_EQ(currentValue(reloaded), 120.0);
    EXPECT_EQ(reloaded.maxValue, 120.0);

    MeterCounter lower = counterFrom(
        R"json({"counterPath": "(\\A\\B) - (\\C\\D)", "minValue": 0, "maxValue": 10, "dynamicMinValue": true
    })json");
    setSample(lower, "a", 1.0);
    setSample(lower, "b", 4.0);
    EXPECT_EQ(currentValue(lower), -3.0);
    EXPECT_EQ(lower.minValue, -3.0);
    setSample(lower, "b", 1.0);
    EXPECT_EQ(currentValue(lower), 0.0);
    EXPECT_EQ(lower.minValue, -3.0);
    setSample(lower, "a", 11.0);
    EXPECT_EQ(currentValue(lower), 10.0);
}

}  // namespace
}  // namespace tavisto
