// Choosing and combining the instances of wildcard counters ("instances"), on the fake
// platform and on instance tables.

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "core/text_conversion.h"
#include "core/wildcard_match.h"
#include "panel/meter_panel.h"
#include "sampling/counter_instances.h"
#include "support/allocation_count.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"

namespace tavisto {
namespace {

using nlohmann::json;
using testing::ScriptedInstance;
using Collection = std::vector<ScriptedInstance>;

constexpr char16_t kGpu[] = u"\\GPU Engine(*)\\Utilization Percentage";
const json kGpuFormula = json::parse(
    R"j({"groupBy": {"from": "luid_", "to": "_engtype"}, "groupCombine": "sum", "combine": "max"})j");

std::u16string decimal(int number) {
    const std::string text = std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

// A "GPU Engine" instance name.
std::u16string engine(int pid, std::u16string_view luid, int number, std::u16string_view type) {
    return u"pid_" + decimal(pid) + u"_luid_0x00000000_" + std::u16string(luid) + u"_phys_0_eng_" +
           decimal(number) + u"_engtype_" + std::u16string(type);
}

class InstanceSelectionOnFakePlatform : public ::testing::Test {
  protected:
    // A panel of one column meter with the counter, sampled every second.
    const CounterSamples& start(const json& counter) {
        const json document = {{"meterGroups",
                                {{{"meters",
                                   {{{"meterType", "column"},
                                     {"width", 10},
                                     {"refreshRate", 1000},
                                     {"counters", {counter}}}}}}}}};
        panel = std::make_unique<MeterPanel>(platform.services(), document.dump(),
                                             BandDirection::Horizontal);
        return testing::samplesOf(*panel, 1000);
    }

    const CounterSamples& startWildcard(const std::u16string& path, const json& instances) {
        std::string utf8(path.begin(), path.end());
        return start({{"counterPath", "(" + utf8 + ")"}, {"instances", instances}});
    }

    testing::FakePlatform platform;
    std::unique_ptr<MeterPanel> panel;
};

TEST_F(InstanceSelectionOnFakePlatform, NamesThatAppearVanishAndMoveAreFollowed) {
    const std::u16string a0 = engine(1, u"0x0000F814", 0, u"3D");
    const std::u16string b0 = engine(2, u"0x0000F814", 0, u"3D");
    const std::u16string a1 = engine(1, u"0x0000F814", 1, u"Copy");
    platform.counterQueries.scriptInstances(kGpu, {
                                                      {{a0, 50.0}},
                                                      {{a0, 50.0}, {b0, 30.0}, {a1, 70.0}},
                                                      {{b0, 30.0}, {a1, 10.0}},
                                                      {{a1, 10.0}, {a0, 45.0}, {b0, 30.0}},
                                                      {},
                                                  });
    const CounterSamples& gpu = startWildcard(kGpu, kGpuFormula);
    for (const double expected : {50.0, 80.0, 30.0, 75.0}) {
        EXPECT_EQ(gpu.value, expected);
        ASSERT_TRUE(platform.timers.fire(1000));
    }
    EXPECT_EQ(gpu.value, 0.0);
}

TEST_F(InstanceSelectionOnFakePlatform, StableTicksOverTwoThousandInstancesAllocateNothing) {
    Collection instances;
    for (int pid = 0; pid < 500; ++pid) {
        for (int number = 0; number < 4; ++number) {
            instances.push_back(
                {engine(pid, u"0x0000F814", number, u"3D"), number == 2 ? 0.1 : 0.01});
        }
    }
    platform.counterQueries.scriptInstances(kGpu, {instances, instances});
    json selection = kGpuFormula;
    selection["exclude"] = json::array({"pid_4??_*", "*eng_3*"});
    const CounterSamples& gpu = startWildcard(kGpu, selection);
    panel->tick(1000);  // the second collection: the same names in new strings
    platform.window.invalidations.reserve(100);
    const std::size_t before = testing::allocationCount();
    for (int tick = 0; tick < 20; ++tick) {
        panel->tick(1000);
    }
    EXPECT_EQ(testing::allocationCount() - before, 0u);
    // Engine 2 of the 400 processes not excluded.
    EXPECT_NEAR(gpu.value, 40.0, 1e-9);
}

std::vector<platform::CounterInstance> viewOf(const Collection& collection) {
    std::vector<platform::CounterInstance> view;
    for (const ScriptedInstance& instance : collection) {
        view.push_back({instance.name, instance.value, instance.valid});
    }
    return view;
}

TEST(InstanceSelection, EveryCombinationOnNoneOneAndManyInstances) {
    const Collection none = {{u"_Total", 9.0}};
    const Collection one = {{u"a", 7.0}};
    const Collection many = {
        {u"a", 10.0}, {u"b", 40.0}, {u"c", 25.0}, {u"d", 99.0, false}, {u"_Total", 75.0}};
    // Groups by the text before "#": x = {4, 8}, y = {6}, z = {no value}.
    const Collection grouped = {
        {u"x", 4.0}, {u"y", 6.0}, {u"x#1", 8.0}, {u"z", 1.0, false}, {u"0,_Total", 3.0}};
    struct Case {
        InstanceCombine combine;
        double onNone, onOne, onMany;
        // Grouped: this combination within groups, then summed; then summed, then this.
        double withinGroups, overGroups;
    } cases[] = {
        {InstanceCombine::Sum, 0.0, 7.0, 75.0, 18.0, 18.0},
        {InstanceCombine::Max, 0.0, 7.0, 40.0, 14.0, 12.0},
        {InstanceCombine::Min, 0.0, 7.0, 10.0, 10.0, 6.0},
        {InstanceCombine::Average, 0.0, 7.0, 25.0, 12.0, 9.0},
        {InstanceCombine::Count, 0.0, 1.0, 4.0, 4.0, 3.0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(static_cast<int>(test.combine));
        InstanceSelection selection;
        selection.combine = test.combine;
        const auto combined = [&selection](const Collection& instances) {
            InstanceMemo memo;
            std::size_t steps = kClassificationStepsPerTick;
            return combineInstances(viewOf(instances), CompiledSelection(selection), memo, steps)
                .value_or(-1.0);
        };
        EXPECT_EQ(combined({}), test.onNone);
        EXPECT_EQ(combined(none), test.onNone);
        EXPECT_EQ(combined(one), test.onOne);
        EXPECT_EQ(combined(many), test.onMany);

        selection.grouped = true;
        selection.groupTo = u"#";
        selection.groupCombine = test.combine;
        selection.combine = InstanceCombine::Sum;
        EXPECT_EQ(combined(grouped), test.withinGroups);
        selection.groupCombine = InstanceCombine::Sum;
        selection.combine = test.combine;
        EXPECT_EQ(combined(grouped), test.overGroups);
    }
}

TEST(InstanceSelection, PatternsMatchLikeCounterPathsWhateverTheCase) {
    struct Case {
        std::u16string_view pattern, name;
        bool matched;
    } cases[] = {
        {u"chrome", u"Chrome", true},
        {u"chrome", u"chrome#1", false},
        {u"chrome#*", u"chrome#12", true},
        {u"*hyper-v*", u"Hyper-V Virtual Ethernet Adapter", true},
        {u"eth?", u"eth0", true},
        {u"eth?", u"eth", false},
        {u"*a*b", u"aXbYb", true},
        {u"*a*b", u"aXbYc", false},
        {u"*", u"", true},
        {u"", u"", true},
        {u"?", u"", false},
        {u"a**?*z", u"abz", true},
        {u"\u00c9T\u00c9", u"\u00e9t\u00e9", true},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(matchesWildcard(test.pattern, test.name), test.matched)
            << std::string(test.pattern.begin(), test.pattern.end()) << " / "
            << std::string(test.name.begin(), test.name.end());
    }
}

// Thousands of new long names against long patterns are classified a budget of steps
// at a time: the value comes once every name is classified, and is the one a single
// unbounded pass gives.
TEST(InstanceSelection, NewNamesBeyondATicksStepsWaitForTheNextTicks) {
    std::vector<std::u16string> names;
    Collection collection;
    for (int i = 0; i < 2000; ++i) {
        names.push_back(std::u16string(250, u'a') + utf8ToUtf16(std::to_string(i)));
    }
    for (const auto& name : names) {
        collection.push_back({name, 1.0});
    }
    InstanceSelection selection;
    selection.include.clear();
    for (int i = 0; i < 31; ++i) {
        selection.include.push_back(u"*" + std::u16string(30, u'a') + u"b*");
    }
    selection.include.push_back(u"*7");
    const CompiledSelection compiled(selection);

    InstanceMemo unbounded;
    std::size_t plenty = std::numeric_limits<std::size_t>::max();
    const std::optional<double> whole =
        combineInstances(viewOf(collection), compiled, unbounded, plenty);
    ASSERT_EQ(whole, 200.0);  // the names ending in 7

    InstanceMemo memo;
    int ticks = 0;
    std::optional<double> value;
    while (!value && ticks < 100) {
        ++ticks;
        std::size_t steps = kClassificationStepsPerTick;
        value = combineInstances(viewOf(collection), compiled, memo, steps);
    }
    EXPECT_GT(ticks, 1) << "classified in one tick";
    EXPECT_EQ(value, whole);
}

TEST(InstanceSelection, HostilePatternsTakeBoundedSteps) {
    const std::u16string name(4096, u'a');
    std::u16string manyStars;
    for (int i = 0; i < 127; ++i) {
        manyStars += u"*a";
    }
    manyStars += u"b";  // never matches: every star would backtrack in a naive matcher
    // Each run between stars reads the name at most once: a long literal after a star
    // is never compared again from every position.
    const struct {
        std::u16string pattern;
        std::size_t runs;
    } hostile[] = {
        {manyStars, 127},
        {std::u16string(kMaxInstancePatternLength, u'?'), 1},
        {std::u16string(kMaxInstancePatternLength - 1, u'*') + u"b", 1},
        {u"*" + std::u16string(kMaxInstancePatternLength - 2, u'a') + u"b", 1},
        {u"*" + std::u16string(kMaxInstancePatternLength - 3, u'a') + u"b*", 1},
        {u"*" + std::u16string(100, u'a') + u"*" + std::u16string(100, u'a') + u"?b*", 2},
    };
    for (const auto& [pattern, runs] : hostile) {
        const WildcardMatch match = matchWildcardCounted(pattern, name);
        EXPECT_FALSE(match.matched);
        EXPECT_LE(match.steps, (runs + 1) * (name.size() + 1) + pattern.size());
    }
    // However many stars there are, only the last one is returned to: two steps a character.
    const WildcardMatch stars = matchWildcardCounted(std::u16string(255, u'*') + u"a", name);
    EXPECT_TRUE(stars.matched);
    EXPECT_LE(stars.steps, 2 * name.size() + 256);
}

// The documented examples, run on the instance tables their text states.
std::string documentedExample(const std::string& marker) {
    std::ifstream file(std::string(TAVISTO_SOURCE_DIR) + "/docs/COUNTERS.md");
    std::string found;
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("{ \"counterPath\"") && line.find("\"instances\"") != line.npos &&
            line.find(marker) != line.npos) {
            EXPECT_TRUE(found.empty()) << "two examples hold " << marker;
            found = line;
        }
    }
    return found;
}

TEST_F(InstanceSelectionOnFakePlatform, DocumentedExamplesGiveTheirStatedValues) {
    // Engines are "luid_..._eng_N"; a value that could not be formed counts nowhere.
    const Collection oneAdapter = {
        {engine(1, u"0x0000F814", 0, u"3D"), 25.0},
        {engine(2, u"0x0000F814", 0, u"3D"), 35.0},
        {engine(1, u"0x0000F814", 1, u"Copy"), 10.0},
        {engine(3, u"0x0000F814", 2, u"VideoDecode"), 80.0, false},
    };
    const Collection twoAdapters = {
        {engine(1, u"0x0000F814", 0, u"3D"), 40.0},
        {engine(2, u"0x0000F814", 0, u"3D"), 20.0},
        {engine(3, u"0x0001A2B3", 0, u"3D"), 30.0},
        {engine(3, u"0x0001A2B3", 1, u"Copy"), 5.0},
    };
    struct Case {
        std::string marker;
        std::u16string path;
        Collection instances;
        double expected;
    } cases[] = {
        {R"("groupCombine": "sum")", kGpu, oneAdapter, 60.0},
        {R"("groupCombine": "sum")", kGpu, twoAdapters, 60.0},  // the busier, not the sum
        {"0x0001A2B3_*", kGpu, twoAdapters, 30.0},
        {"Processor Utility",
         u"\\Processor Information(*)\\% Processor Utility",
         {{u"0,0", 20.0}, {u"0,1", 95.0}, {u"0,2", 40.0}, {u"0,_Total", 52.0}, {u"_Total", 52.0}},
         95.0},
        {"chrome",
         u"\\Process(chrome*)\\Working Set - Private",
         {{u"chrome", 300e6}, {u"chrome#1", 200e6}, {u"chromedriver", 50e6}},
         500e6},
        {"Bytes Received",
         u"\\Network Interface(*)\\Bytes Received/sec",
         {{u"Intel[R] Ethernet Connection I219-V", 1000.0},
          {u"Hyper-V Virtual Ethernet Adapter", 1000.0},
          {u"TAP-Windows Adapter V9", 400.0}},
         1000.0},
        {"ID Process",
         u"\\Process(*)\\ID Process",
         {{u"Idle", 0.0}, {u"System", 4.0}, {u"explorer", 5120.0}, {u"_Total", 0.0}},
         3.0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.marker);
        const std::string line = documentedExample(test.marker);
        ASSERT_FALSE(line.empty());
        platform.counterQueries.scriptInstances(test.path, {test.instances});
        EXPECT_EQ(start(json::parse(line)).value, test.expected) << line;
    }
}

}  // namespace
}  // namespace tavisto
