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

// A counter as loaded with the samples the sampler keeps for it.
struct Sampled {
    explicit Sampled(const char* json)
        : counter(parseCounter(nlohmann::json::parse(json))), samples(unsampled(counter)) {}

    double current() { return currentValue(counter, samples); }

    MeterCounter counter;
    CounterSamples samples;
};

void setSample(Sampled& sampled, const std::string& name, double value) {
    const auto reference = sampled.counter.references.find(name);
    ASSERT_NE(reference, sampled.counter.references.end()) << name;
    sampled.samples.references
        .at(static_cast<std::size_t>(std::distance(sampled.counter.references.begin(), reference)))
        .value = value;
}

TEST(CounterValue, WithoutReferencesIsZeroMovedIntoTheRange) {
    Sampled plain(R"json({"counterPath": "\\Processor(_Total)\\% processor time"})json");
    ASSERT_TRUE(plain.counter.references.empty());
    EXPECT_EQ(plain.current(), 0.0);

    Sampled raised(R"json({"counterPath": "1 + 1", "minValue": 5})json");
    EXPECT_EQ(raised.current(), 5.0);
    EXPECT_EQ(raised.samples.minValue, 5.0);
}

TEST(CounterValue, OneReferenceEvaluatesItsArithmeticAndAloneGivesTheBareSample) {
    Sampled ratio(
        R"json({"counterPath": "(PERFORMANCE_INFORMATION.CommitTotal) / (PERFORMANCE_INFORMATION.CommitTotal)"})json");
    ASSERT_EQ(ratio.counter.expressionText, "a / a");
    setSample(ratio, "a", 7.0);
    EXPECT_EQ(ratio.current(), 1.0);

    Sampled scaled(R"json({"counterPath": "(\\Memory\\Available Bytes) / 1048576"})json");
    setSample(scaled, "a", 2097152.0);
    EXPECT_EQ(scaled.current(), 2.0);

    Sampled kelvin(R"json({"counterPath": "(\\Thermal Zone Information(*)\\Temperature) - 273.15"})json");
    setSample(kelvin, "a", 315.15);
    EXPECT_NEAR(kelvin.current(), 42.0, 1e-9);

    Sampled broken(R"json({"counterPath": "(\\Memory\\Available Bytes) ?"})json");
    setSample(broken, "a", 3.0);
    EXPECT_EQ(broken.current(), 3.0);

    Sampled unsampled(
        R"json({"counterPath": "(\\Memory\\Available Bytes)", "minValue": 0, "maxValue": 1
    })json");
    setSample(unsampled, "a", std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(unsampled.current()));
    EXPECT_EQ(unsampled.samples.minValue, 0.0);
    EXPECT_EQ(unsampled.samples.maxValue, 1.0);
}

TEST(CounterValue, SeveralReferencesEvaluateTheExpressionOnTheLatestSamples) {
    Sampled product(R"json({"counterPath": "(\\A\\B) * (\\C\\D)"})json");
    ASSERT_EQ(product.counter.expressionText, "a * b");
    setSample(product, "a", 3.0);
    setSample(product, "b", 4.0);
    EXPECT_EQ(product.current(), 12.0);
    setSample(product, "b", 5.0);
    EXPECT_EQ(product.current(), 15.0);

    Sampled mixed(
        R"json({"counterPath": "100 * (PERFORMANCE_INFORMATION.ProcessCount) / (\\System\\Threads)"
    })json");
    ASSERT_EQ(mixed.counter.expressionText, "100 * b / a");
    setSample(mixed, "a", 400.0);
    setSample(mixed, "b", 2.0);
    EXPECT_EQ(mixed.current(), 0.5);
}

TEST(CounterValue, ExpressionIsCompiledOnceForItsOwnCounter) {
    Sampled original(R"json({"counterPath": "(\\A\\B) - (\\C\\D)"})json");
    setSample(original, "a", 10.0);
    setSample(original, "b", 4.0);
    ASSERT_EQ(original.current(), 6.0);

    const std::size_t before = testing::allocationCount();
    for (int round = 0; round < 100; ++round) {
        setSample(original, "a", round);
        EXPECT_EQ(original.current(), round - 4.0);
    }
    EXPECT_EQ(testing::allocationCount(), before);

    // A copy reads its own samples, not the ones the original was compiled over.
    Sampled copy = original;
    setSample(copy, "a", 100.0);
    EXPECT_EQ(copy.current(), 96.0);
    EXPECT_EQ(original.current(), 95.0);
    copy = original;
    setSample(copy, "b", 1.0);
    EXPECT_EQ(copy.current(), 98.0);

    // A text that changed is compiled again.
    original.counter.expressionText = "a + b";
    EXPECT_EQ(original.current(), 103.0);
}

TEST(CounterValue, ExpressionThatDoesNotCompileShowsAsZero) {
    // A space after the parenthesis keeps the second path from being a reference.
    Sampled leftover(
        R"json({"counterPath": "(\\A\\B) + (\\C\\D) + ( \\E\\F)", "minValue": -10})json");
    ASSERT_EQ(leftover.counter.references.size(), 2u);
    setSample(leftover, "a", 1.0);
    setSample(leftover, "b", 2.0);
    EXPECT_EQ(leftover.current(), 0.0);

    Sampled unknownName(R"json({"counterPath": "(\\A\\B) + (\\C\\D) + x"})json");
    setSample(unknownName, "a", 1.0);
    EXPECT_EQ(unknownName.current(), 0.0);
}

TEST(CounterValue, DivisionByZeroGivesInfinityOrZeroForNaN) {
    Sampled quotient(R"json({"counterPath": "(\\A\\B) / (\\C\\D)", "maxValue": 100})json");
    setSample(quotient, "a", 1.0);
    setSample(quotient, "b", 0.0);
    EXPECT_EQ(quotient.current(), 100.0);
    EXPECT_EQ(quotient.samples.maxValue, 100.0);
    setSample(quotient, "a", 0.0);
    EXPECT_EQ(quotient.current(), 0.0);
    setSample(quotient, "a", -1.0);
    EXPECT_EQ(quotient.current(), -kInfinity);

    Sampled dynamic(
        R"json({"counterPath": "(\\A\\B) / (\\C\\D)", "maxValue": 100, "dynamicMaxValue": true
    })json");
    setSample(dynamic, "a", 1.0);
    setSample(dynamic, "b", 0.0);
    EXPECT_EQ(dynamic.current(), kInfinity);
    EXPECT_EQ(dynamic.samples.maxValue, kInfinity);
}

TEST(CounterValue, FixedRangeClampsTheValue) {
    Sampled counter(R"json({"counterPath": "(\\A\\B)", "minValue": 0, "maxValue": 100})json");
    setSample(counter, "a", 150.0);
    EXPECT_EQ(counter.current(), 100.0);
    setSample(counter, "a", -3.0);
    EXPECT_EQ(counter.current(), 0.0);
    setSample(counter, "a", 42.5);
    EXPECT_EQ(counter.current(), 42.5);
    EXPECT_EQ(counter.samples.minValue, 0.0);
    EXPECT_EQ(counter.samples.maxValue, 100.0);

    Sampled unbounded(R"json({"counterPath": "(\\A\\B)"
    })json");
    setSample(unbounded, "a", -1e308);
    EXPECT_EQ(unbounded.current(), -1e308);
    EXPECT_EQ(unbounded.samples.minValue, -kInfinity);
    EXPECT_EQ(unbounded.samples.maxValue, kInfinity);
}

TEST(CounterValue, DynamicBoundsOnlyWidenUntilTheNextLoad) {
    const char* json =
        R"json({"counterPath": "(\\A\\B)", "minValue": 0, "maxValue": 100, "dynamicMaxValue": true})json";
    Sampled counter(json);
    setSample(counter, "a", 150.0);
    EXPECT_EQ(counter.current(), 150.0);
    EXPECT_EQ(counter.samples.maxValue, 150.0);
    setSample(counter, "a", 120.0);
    EXPECT_EQ(counter.current(), 120.0);
    EXPECT_EQ(counter.samples.maxValue, 150.0);
    setSample(counter, "a", -5.0);
    EXPECT_EQ(counter.current(), 0.0);
    EXPECT_EQ(counter.samples.minValue, 0.0);

    Sampled reloaded(json);
    setSample(reloaded, "a", 120.0);
    EXPECT_EQ(reloaded.current(), 120.0);
    EXPECT_EQ(reloaded.samples.maxValue, 120.0);

    Sampled lower(
        R"json({"counterPath": "(\\A\\B) - (\\C\\D)", "minValue": 0, "maxValue": 10, "dynamicMinValue": true
    })json");
    setSample(lower, "a", 1.0);
    setSample(lower, "b", 4.0);
    EXPECT_EQ(lower.current(), -3.0);
    EXPECT_EQ(lower.samples.minValue, -3.0);
    setSample(lower, "b", 1.0);
    EXPECT_EQ(lower.current(), 0.0);
    EXPECT_EQ(lower.samples.minValue, -3.0);
    setSample(lower, "a", 11.0);
    EXPECT_EQ(lower.current(), 10.0);
}

}  // namespace
}  // namespace tavisto
