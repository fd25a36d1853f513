// Sampling of wildcard counters and of counters that could not be added, on the
// fake platform.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "panel/meter_panel.h"
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
    EXPECT_EQ(counter(*panel, 1).references.at(0).counter, 0u);
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

TEST_F(WildcardSampling, FailedAddIsRetriedAfterTenSecondsOfTicksAndThenRead) {
    platform.counterQueries.failAddingFirst(kGpu, 2);
    platform.counterQueries.scriptInstances(
        kGpu, {{{u"pid_4_engtype_3D", 12.0}, {u"pid_8_engtype_3D", 30.0}}});
    const auto panel =
        make(panelOf({R"((\GPU Engine(*engtype_3D)\Utilization Percentage))"}, 2500));
    auto& attempts = platform.counterQueries.addAttempts[kGpu];
    EXPECT_EQ(attempts, 1);  // the add at start failed
    const CounterSamples& gpu = counter(*panel, 0, 2500);
    // Four ticks of 2.5 s make ten seconds: no retry before the fourth tick after start.
    for (int tick = 1; tick <= 3; ++tick) {
        ASSERT_TRUE(platform.timers.fire(2500));
        EXPECT_EQ(attempts, 1) << "tick " << tick;
        EXPECT_EQ(gpu.value, 0.0);
    }
    ASSERT_TRUE(platform.timers.fire(2500));
    EXPECT_EQ(attempts, 2);  // failed again
    for (int tick = 5; tick <= 7; ++tick) {
        ASSERT_TRUE(platform.timers.fire(2500));
        EXPECT_EQ(attempts, 2) << "tick " << tick;
    }
    ASSERT_TRUE(platform.timers.fire(2500));
    EXPECT_EQ(attempts, 3);
    EXPECT_NE(gpu.references.at(0).counter, 0u);
    EXPECT_EQ(gpu.value, 42.0);
    // Once added it is never added again, so no handle is ever replaced or leaked.
    for (int tick = 0; tick < 20; ++tick) {
        ASSERT_TRUE(platform.timers.fire(2500));
    }
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(platform.counterQueries.liveCounters(), 1u);
    panel->stop();
    EXPECT_EQ(platform.counterQueries.liveCounters(), 0u);
}

TEST_F(WildcardSampling, QueryThatCannotOpenIsOpenedAgainWithTheAddRetries) {
    platform.counterQueries.openFailuresLeft = 2;
    platform.counterQueries.scriptInstances(kGpu, {{{u"pid_4_engtype_3D", 12.0}}});
    const auto panel =
        make(panelOf({R"((\GPU Engine(*engtype_3D)\Utilization Percentage))"}, 5000));
    EXPECT_EQ(panel->queriesByRate().at(5000), 0u);
    const std::pair<int, double> ticks[] = {{1, 0.0}, {2, 0.0}, {3, 0.0}, {4, 12.0}};
    for (const auto& [tick, shown] : ticks) {  // a retry every 2 ticks; the first fails
        ASSERT_TRUE(platform.timers.fire(5000));
        EXPECT_EQ(counter(*panel, 0, 5000).value, shown) << "tick " << tick;
    }
    EXPECT_EQ(platform.counterQueries.openQueries(),
              std::set<platform::QueryHandle>{panel->queriesByRate().at(5000)});
}

TEST_F(WildcardSampling, ARetryRoundAddsOneCounterPerTick) {
    const std::u16string absent[] = {u"\\A(x)\\C", u"\\B(y)\\C", u"\\C(z)\\C"};
    for (const auto& path : absent) {
        platform.counterQueries.failAdding(path);
    }
    // 60 s ticks: every tick is past the retry period.
    const auto panel = make(panelOf({R"((\A(x)\C) + (\B(y)\C))", R"((\C(z)\C))"}, 60000));
    auto& attempts = platform.counterQueries.addAttempts;
    ASSERT_TRUE(platform.timers.fire(60000));
    EXPECT_EQ((std::array{attempts[absent[0]], attempts[absent[1]], attempts[absent[2]]}),
              (std::array{2, 1, 1}));
    platform.counterQueries.allowAdding(absent[1]);
    ASSERT_TRUE(platform.timers.fire(60000));
    ASSERT_TRUE(platform.timers.fire(60000));
    EXPECT_EQ((std::array{attempts[absent[0]], attempts[absent[1]], attempts[absent[2]]}),
              (std::array{2, 2, 2}));
    EXPECT_EQ(platform.counterQueries.liveCounters(), 1u);
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
