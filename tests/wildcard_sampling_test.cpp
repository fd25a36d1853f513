// Sampling of wildcard counters and of counters that could not be added, on the
// fake platform.

#include <gtest/gtest.h>

#include <memory>
#include <array>
#include <set>
#include <vector>
#include <string>

#include <nlohmann/json.hpp>

#include "panel/meter_panel.h"
#include "sampling/rate_query.h"
#include "support/allocation_count.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"

namespace tavisto {
namespace {

using testing::ScriptedInstance;

constexpr char16_t kProcessors[] = u"\\Processor(*)\\% Processor Time";
constexpr char16_t kReceived[] = u"\\Network Interface(*)\\Bytes Received/sec";
constexpr char16_t kSent[] = u"\\Network Interface(*)\\Bytes Sent/sec";
constexpr char16_t kGpu[] = u"\\GPU Engine(*engtype_3D)\\Utilization Percentage";

// One column meter per counter text, all at the given rate.
std::string panelOf(std::initializer_list<const char*> counterPaths, int rate = 1000) {
    nlohmann::json meters = nlohmann::json::array();
    for (const char* path : counterPaths) {
        meters.push_back({{"meterType", "column"},
                          {"width", 10},
                          {"refreshRate", rate},
                          {"counters", {{{"counterPath", path}}}}});
    }
    return nlohmann::json{{"meterGroups", {{{"name", "g"}, {"meters", meters}}}}}.dump();
}

class WildcardSampling : public ::testing::Test {
  protected:
    std::unique_ptr<MeterPanel> make(const std::string& text) {
        return std::make_unique<MeterPanel>(platform.services(), std::string(text),
                                            BandDirection::Horizontal);
    }

    // The samples of the counter of the meter at `index` among the meters of `rate`.
    const CounterSamples& counter(MeterPanel& panel, std::size_t index, std::uint64_t rate = 1000) {
        return testing::samplesOf(panel, rate, index);
    }

    testing::FakePlatform platform;
};

TEST_F(WildcardSampling, InstancesAreSummedWithTheTotalLeftOut) {
    platform.counterQueries.scriptInstances(
        kProcessors, {{{u"0", 20.0}, {u"1", 60.0}, {u"_Total", 40.0}, {u"2", 99.0, false}}});
    const auto panel = make(panelOf({R"((\Processor(*)\% Processor Time))"}));
    EXPECT_EQ(counter(*panel, 0).value, 80.0);
    // Single paths keep their single read.
    EXPECT_EQ(platform.counterQueries.reads, 0);
}

TEST_F(WildcardSampling, InstancesThatComeAndGoAreFollowedAtEachCollection) {
    platform.counterQueries.scriptInstances(
        kReceived,
        {{{u"eth0", 100.0}}, {{u"eth0", 100.0}, {u"usb0", 50.0}}, {{u"usb0", 70.0}}, {}});
    const auto panel = make(panelOf({R"((\Network Interface(*)\Bytes Received/sec))"}));
    const CounterSamples& received = counter(*panel, 0);
    EXPECT_EQ(received.value, 100.0);
    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(received.value, 150.0);
    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(received.value, 70.0);
    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(received.value, 0.0);  // nothing matches any more
}

TEST_F(WildcardSampling, WildcardWithoutInstancesOrWithoutCounterReadsZero) {
    platform.counterQueries.scriptInstances(kReceived, {{}});
    platform.counterQueries.failAdding(kGpu);
    const auto panel = make(panelOf({R"((\Network Interface(*)\Bytes Received/sec))",
                                     R"((\GPU Engine(*engtype_3D)\Utilization Percentage))"}));
    EXPECT_EQ(counter(*panel, 0).value, 0.0);
    EXPECT_EQ(platform.counterQueries.liveCounters(), 1u);
    EXPECT_EQ(counter(*panel, 1).value, 0.0);
}

TEST_F(WildcardSampling, WildcardSumsTakePartInExpressions) {
    platform.counterQueries.scriptInstances(kReceived, {{{u"eth0", 300.0}, {u"wlan0", 100.0}}});
    platform.counterQueries.scriptInstances(kSent, {{{u"eth0", 24.0}, {u"wlan0", 76.0}}});
    platform.counterQueries.script(u"\\Memory\\Available Bytes", {2.0});
    platform.systemPerformance.record.threadCount = 1000;
    const auto panel = make(panelOf(
        {R"(((\Network Interface(*)\Bytes Received/sec) + (\Network Interface(*)\Bytes Sent/sec)) / (\Memory\Available Bytes) + (PERFORMANCE_INFORMATION.ThreadCount))"}));
    EXPECT_EQ(counter(*panel, 0).value, (400.0 + 100.0) / 2.0 + 1000.0);
}

TEST(AddRetries, ComeSoonThenLessOften) {
    const std::pair<std::uint32_t, std::uint64_t> delays[] = {
        {1, 1000}, {2, 2000}, {3, 4000}, {4, 8000}, {5, 10000}, {40, 10000}};
    for (const auto& [failures, delay] : delays) {
        EXPECT_EQ(addRetryDelayMilliseconds(failures), delay) << failures << " failures";
    }
}

// Retries follow the clock: ticks every half second try again only when a retry is
// due, and a long pause between ticks (ticks skipped) makes the next one try at once.
TEST_F(WildcardSampling, FailedAddIsRetriedOnTheClockAndThenRead) {
    platform.counterQueries.failAddingFirst(kGpu, 4);
    platform.counterQueries.scriptInstances(
        kGpu, {{{u"pid_4_engtype_3D", 12.0}, {u"pid_8_engtype_3D", 30.0}}});
    const std::uint64_t start = platform.clock.now;
    const auto panel =
        make(panelOf({R"((\GPU Engine(*engtype_3D)\Utilization Percentage))"}, 500));
    auto& attempts = platform.counterQueries.addAttempts[kGpu];
    std::vector<std::uint64_t> triedAt;
    for (std::uint64_t after = 500; after <= 15000; after += 500) {
        const int before = attempts;
        platform.clock.now = start + after;
        ASSERT_TRUE(platform.timers.fire(500));
        if (attempts != before) {
            triedAt.push_back(after);
        }
    }
    EXPECT_EQ(triedAt, (std::vector<std::uint64_t>{1000, 3000, 7000, 15000}));
    EXPECT_EQ(counter(*panel, 0, 500).value, 42.0);
    // Once added it is never added again, so no handle is ever replaced or leaked.
    for (int tick = 0; tick < 20; ++tick) {
        platform.clock.now += 20000;
        ASSERT_TRUE(platform.timers.fire(500));
    }
    EXPECT_EQ(attempts, 5);
    EXPECT_EQ(platform.counterQueries.liveCounters(), 1u);
    panel->stop();
    EXPECT_EQ(platform.counterQueries.liveCounters(), 0u);
}

TEST_F(WildcardSampling, QueryThatCannotOpenIsOpenedAgainOnTheSameSchedule) {
    platform.counterQueries.openFailuresLeft = 2;
    platform.counterQueries.scriptInstances(kGpu, {{{u"pid_4_engtype_3D", 12.0}}});
    const auto panel =
        make(panelOf({R"((\GPU Engine(*engtype_3D)\Utilization Percentage))"}, 5000));
    EXPECT_EQ(panel->queryOf(5000), 0u);
    // Failed at start; 1 s later fails again; 2 s after that it opens.
    const std::pair<std::uint64_t, double> ticks[] = {
        {900, 0.0}, {100, 0.0}, {1900, 0.0}, {100, 12.0}};
    for (const auto& [wait, shown] : ticks) {
        platform.clock.now += wait;
        ASSERT_TRUE(platform.timers.fire(5000));
        EXPECT_EQ(counter(*panel, 0, 5000).value, shown) << "after " << wait << " ms";
    }
    EXPECT_EQ(platform.counterQueries.openQueries(),
              std::set<platform::QueryHandle>{panel->queryOf(5000)});
}

// Adds in one tick stop once they took long: the counters added so far are collected
// and shown, and the rest are added at the next ticks.
TEST_F(WildcardSampling, SlowAddsAreSpreadOverTicks) {
    platform.counterQueries.script(u"\\A(x)\\C", {1.0});
    platform.counterQueries.script(u"\\B(y)\\C", {2.0});
    platform.counterQueries.script(u"\\C(z)\\C", {4.0});
    platform.counterQueries.slowAddClock = &platform.clock;
    platform.counterQueries.addMilliseconds = 3000;
    const auto panel = make(panelOf({R"((\A(x)\C))", R"((\B(y)\C))", R"((\C(z)\C))"}));
    const auto shown = [&] {
        return std::array{counter(*panel, 0).value, counter(*panel, 1).value,
                          counter(*panel, 2).value};
    };
    EXPECT_EQ(shown(), (std::array{1.0, 0.0, 0.0}));
    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(shown(), (std::array{1.0, 2.0, 0.0}));
    platform.counterQueries.addMilliseconds = 0;
    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(shown(), (std::array{1.0, 2.0, 4.0}));
}

TEST_F(WildcardSampling, TicksWithStableInstancesAllocateNothing) {
    platform.counterQueries.scriptInstances(kReceived, {{{u"eth0", 10.0}, {u"wlan0", 5.0}}});
    platform.counterQueries.scriptInstances(kProcessors,
                                            {{{u"0", 20.0}, {u"1", 60.0}, {u"_Total", 40.0}}});
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {40.0});
    const auto panel = make(panelOf(
        {R"((\Network Interface(*)\Bytes Received/sec))", R"((\Processor(*)\% Processor Time))",
         R"((\Processor(_Total)\% Processor Time))", "(PERFORMANCE_INFORMATION.ThreadCount)"}));
    platform.window.invalidations.reserve(100);
    const std::size_t before = testing::allocationCount();
    for (int tick = 0; tick < 50; ++tick) {
        panel->tick(1000);
    }
    EXPECT_EQ(testing::allocationCount() - before, 0u);
    EXPECT_EQ(counter(*panel, 0).value, 15.0);
    EXPECT_EQ(counter(*panel, 1).value, 80.0);
}

}  // namespace
}  // namespace tavisto
