// A counter's largest instances ("top"): ranking, grouping processes by program, naming
// a process id by its program, and what the meters make of the list.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/text_conversion.h"
#include "panel/meter_panel.h"
#include "render/spoken_values.h"
#include "sampling/counter_instances.h"
#include "support/allocation_count.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"

namespace tavisto {
namespace {

using nlohmann::json;
using testing::ScriptedInstance;
using Collection = std::vector<ScriptedInstance>;

constexpr char16_t kProcessTime[] = u"\\Process(*)\\% Processor Time";
constexpr char16_t kGpuEngine[] = u"\\GPU Engine(*)\\Utilization Percentage";
constexpr char16_t kNetwork[] = u"\\Network Interface(*)\\Bytes Total/sec";

std::u16string engineOf(int pid, std::u16string_view type) {
    return u"pid_" + utf8ToUtf16(std::to_string(pid)) +
           u"_luid_0x00000000_0x0000F814_phys_0_eng_0_engtype_" + std::u16string(type);
}

// "chrome 30, code 30": the list as names and whole values.
std::string listed(const TopInstances& top) {
    std::string text;
    for (const RankedInstance& instance : top.listed()) {
        text += (text.empty() ? "" : ", ") + utf16ToUtf8(instance.name) + ' ' +
                std::to_string(static_cast<long long>(instance.value));
    }
    return text;
}

TEST(TopInstances, RanksGroupsAndNamesAsTaskManagerCounts) {
    const Collection processes = {{u"_Total", 400}, {u"Idle", 300},    {u"chrome", 10},
                                  {u"chrome#1", 15}, {u"chrome#2", 5}, {u"code", 30},
                                  {u"zsh", 30},      {u"bash", 1},     {u"lost", 90, false}};
    const struct Case {
        const char* what;
        const char16_t* path;
        std::uint8_t top;
        bool byProgram;
        InstanceCombine groupCombine;
        std::vector<Collection> ticks;
        std::vector<std::string> expected;  // one per tick
    } cases[] = {
        {"programs, equal values by name", kProcessTime, 3, true, InstanceCombine::Sum,
         {processes},
         {"chrome 30, code 30, zsh 30"}},
        {"each instance by its own name", kProcessTime, 3, false, InstanceCombine::Sum,
         {processes},
         {"code 30, zsh 30, chrome#1 15"}},
        {"instances that appear and vanish", kProcessTime, 2, true, InstanceCombine::Sum,
         {{{u"a", 1}, {u"b", 2}}, {{u"b", 2}, {u"c", 50}, {u"c#1", 1}}, {{u"a", 3}}, {}},
         {"b 2, a 1", "c 51, b 2", "a 3", ""}},
        {"only \\Process loses its #", kNetwork, 2, true, InstanceCombine::Sum,
         {{{u"Ethernet #2", 5}, {u"Ethernet", 3}, {u"Wi-Fi #12", 4}}},
         {"Ethernet #2 5, Wi-Fi #12 4"}},
        {"GPU engines by process, named by program", kGpuEngine, 2, true, InstanceCombine::Max,
         {{{engineOf(7, u"3D"), 20},
           {engineOf(7, u"Copy"), 40},
           {engineOf(9, u"3D"), 30},
           {engineOf(11, u"3D"), 1}}},
         {"game 40, pid 9 30"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        InstanceSelection selection;
        selection.top = test.top;
        selection.byProgram = test.byProgram;
        selection.groupCombine = test.groupCombine;
        const CompiledSelection compiled(selection, test.path);
        testing::FakeSensors names;
        names.processNames = {{7, u"game"}};
        InstanceMemo memo;
        TopInstances top;
        top.ranked.resize(test.top);
        for (std::size_t tick = 0; tick < test.ticks.size(); ++tick) {
            std::vector<platform::CounterInstance> view;
            for (const ScriptedInstance& instance : test.ticks[tick]) {
                view.push_back({instance.name, instance.value, instance.valid});
            }
            std::size_t steps = kClassificationStepsPerTick;
            ASSERT_TRUE(combineInstances(view, compiled, memo, steps));
            rankInstances(view, compiled, memo, names, top);
            EXPECT_EQ(listed(top), test.expected[tick]) << "tick " << tick;
        }
    }
}

TEST(TopInstances, AProcessIsNamedOnceWhileItLastsAndAskedAgainAfterItEnds) {
    InstanceSelection selection;
    selection.top = 1;
    const CompiledSelection compiled(selection, kGpuEngine);
    testing::FakeSensors names;
    names.processNames = {{7, u"game"}};
    InstanceMemo memo;
    TopInstances top;
    top.ranked.resize(1);
    const std::u16string running = engineOf(7, u"3D");
    const std::u16string other = engineOf(8, u"3D");
    const struct {
        std::vector<platform::CounterInstance> instances;
        int reads;  // asked so far
    } ticks[] = {
        {{{running, 5, true}}, 1},
        {{{running, 6, true}}, 1},
        {{{other, 1, true}}, 2},  // 7 ended
        {{{running, 6, true}}, 3},  // a new process 7 may be another program
    };
    for (const auto& tick : ticks) {
        std::size_t steps = kClassificationStepsPerTick;
        ASSERT_TRUE(combineInstances(tick.instances, compiled, memo, steps));
        rankInstances(tick.instances, compiled, memo, names, top);
        EXPECT_EQ(names.processNameReads, tick.reads);
    }
    EXPECT_EQ(listed(top), "game 6");
}

class TopInstancesOnFakePlatform : public ::testing::Test {
  protected:
    void start(const std::string& meterType, const json& counter) {
        const json document = {{"meterGroups",
                                {{{"name", "Busiest"},
                                  {"meters",
                                   {{{"meterType", meterType},
                                     {"width", 60},
                                     {"refreshRate", 1000},
                                     {"counters", {counter}}}}}}}}};
        panel.reset();  // its timers go before the next panel's are set
        panel = std::make_unique<MeterPanel>(platform.services(), document.dump(),
                                             BandDirection::Horizontal);
    }

    testing::FakePlatform platform;
    std::unique_ptr<MeterPanel> panel;
};

// Task Manager's figure: a process's processor time over the logical processors.
const json kTaskManagerProcessor = {
    {"name", "CPU"},
    {"counterPath", "(\\Process(*)\\% Processor Time) / (SYSTEM_INFO.NumberOfProcessors)"},
    {"units", "percent"},
    {"minValue", 0},
    {"maxValue", 100},
    {"instances", {{"top", 3}}}};

TEST_F(TopInstancesOnFakePlatform, EachListedInstanceIsValuedByTheCountersTextAndSpoken) {
    platform.systemPerformance.record.logicalProcessors = 4;
    platform.counterQueries.scriptInstances(
        kProcessTime,
        {{{u"_Total", 400}, {u"Idle", 200}, {u"chrome", 100}, {u"chrome#1", 60}, {u"code", 40}}});
    const struct {
        const char* meterType;
        const char* spoken;
    } cases[] = {
        {"text", "CPU chrome 40%, code 10%"},
        {"column", "CPU 50% (chrome 40%, code 10%)"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.meterType);
        start(test.meterType, kTaskManagerProcessor);
        ASSERT_TRUE(platform.timers.fire(1000));
        EXPECT_EQ(listed(testing::samplesOf(*panel, 1000).top), "chrome 40, code 10");
        const auto groups = testing::spokenGroupsOf(*panel);
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(utf16ToUtf8(groups[0].value), test.spoken);
    }
}

TEST_F(TopInstancesOnFakePlatform, StableTicksOverFiveHundredProcessesAllocateNothing) {
    platform.systemPerformance.record.logicalProcessors = 8;
    Collection processes;
    for (int number = 0; number < 500; ++number) {
        processes.push_back({u"program" + utf8ToUtf16(std::to_string(number % 100)) +
                                 (number < 100 ? u"" : u"#" + utf8ToUtf16(std::to_string(number))),
                             static_cast<double>(number % 37)});
    }
    platform.counterQueries.scriptInstances(kProcessTime, {processes, processes});
    json counter = kTaskManagerProcessor;
    counter["instances"]["top"] = 5;
    start("text", counter);
    panel->tick(1000);
    panel->tick(1000);  // the second collection: the same names in new strings
    platform.window.invalidations.reserve(100);
    const std::size_t before = testing::allocationCount();
    for (int tick = 0; tick < 20; ++tick) {
        panel->tick(1000);
    }
    EXPECT_EQ(testing::allocationCount() - before, 0u);
    EXPECT_EQ(testing::samplesOf(*panel, 1000).top.count, 5u);
}

}  // namespace
}  // namespace tavisto
