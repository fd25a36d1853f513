#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_text.h"
#include "core/failure_sink.h"
#include "panel/meter_panel.h"
#include "panel/panel_engine.h"
#include "panel/panel_view.h"
#include "render/spoken_values.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

using nlohmann::json;

constexpr const char* kTwoRates = R"json({"meterGroups": [{"name": "cpu", "meters": [
    {"meterType": "column", "width": 10, "refreshRate": 1000,
     "counters": [{"counterPath": "(\\Processor(_Total)\\% Processor Time)",
                   "minValue": 0, "maxValue": 100, "dynamicMaxValue": true}]},
    {"meterType": "column", "width": 12, "refreshRate": 250,
     "counters": [{"counterPath": "(\\Memory\\Pages/sec) + (PERFORMANCE_INFORMATION.ThreadCount)",
                   "minValue": 0, "maxValue": 100}]}]}]})json";

class Panel : public ::testing::Test {
  protected:
    Panel() { platform.surfaces = &recording; }

    std::unique_ptr<MeterPanel> make(const std::string& text,
                                     BandDirection direction = BandDirection::Horizontal) {
        return std::make_unique<MeterPanel>(platform.services(), text, direction);
    }

    testing::RecordingSurface& surface() { return *recording.last; }

    std::vector<InclusiveRect> clearedAreas() {
        std::vector<InclusiveRect> areas;
        for (const auto& clear : surface().recorded<testing::ClearToTransparent>()) {
            areas.push_back(clear.area);
        }
        return areas;
    }

    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory recording;
};

// The same counter shown by several meters of a rate is added and read once.
TEST_F(Panel, APathNamedAgainAtARateIsAddedOnce) {
    platform.counterQueries.script(u"\\A\\b", {7});
    const auto panel = make(R"json({"meterGroups": [{"meters": [
        {"meterType": "text", "width": 10, "refreshRate": 100,
         "counters": [{"counterPath": "(\\A\\b)"}, {"counterPath": "(\\A\\b) * 2"}]},
        {"meterType": "column", "width": 10, "refreshRate": 100,
         "counters": [{"counterPath": "(\\A\\b)", "maxValue": 100}]}]}]})json");
    EXPECT_EQ(platform.counterQueries.pathsOf(panel->queryOf(100)),
              std::vector<std::u16string>{u"\\A\\b"});
    EXPECT_EQ(panel->samples()[0].counters[1].references[0].value, 7);
    EXPECT_EQ(panel->samples()[1].counters[0].references[0].value, 7);
}

// Views of one engine, one per taskbar: what a counter costs is paid once however many
// show it, each view draws in its own window at its own scale, and a view that goes or
// comes changes no query.
TEST_F(Panel, ViewsOfOneEngineShareItsQueriesAndSamples) {
    platform.counterQueries.script(u"\\A\\b", {10, 20, 30});
    PanelEngine engine({platform.systemVersion, platform.counterQueries, platform.systemPerformance,
                        platform.sensors, platform.timers, platform.locale, platform.clock},
                       nullptr);
    testing::FakeBandWindow wide;
    wide.client = Rect{0, 0, 300, 40};
    testing::FakeScreen large;
    large.dpiValue = {144, 144};
    const auto view = [&](platform::Screen& screen, platform::BandWindow& window) {
        return std::make_unique<PanelView>(
            PanelView::Services{screen, window, platform.tooltips, recording, platform.theme},
            engine, BandDirection::Horizontal);
    };
    auto primary = view(platform.screen, platform.window);
    ASSERT_EQ(engine.load(R"json({"meterGroups": [{"meters": [
        {"meterType": "graph", "width": 20, "refreshRate": 100,
         "counters": [{"counterPath": "(\\A\\b)", "maxValue": 100}]}]}]})json"),
              "");
    auto secondary = view(large, wide);
    ASSERT_TRUE(platform.timers.fire(100));

    EXPECT_EQ(platform.counterQueries.opened, 1);
    EXPECT_EQ(platform.counterQueries.addAttempts.at(u"\\A\\b"), 1);
    EXPECT_EQ(platform.timers.setCount(), 1u);
    EXPECT_EQ(primary->layout().meters[0].extent, 20);
    EXPECT_EQ(secondary->layout().meters[0].extent, 30);
    // The history keeps what the longest graph shows; each view drew the new sample.
    EXPECT_EQ(engine.samples()[0].counters[0].history.capacity(), 29u);
    EXPECT_FALSE(wide.invalidations.empty());
    EXPECT_FALSE(platform.window.invalidations.empty());

    secondary.reset();
    EXPECT_EQ(engine.samples()[0].counters[0].history.capacity(), 19u);
    EXPECT_EQ(engine.samples()[0].counters[0].history.size(), 2u);
    platform.window.invalidations.clear();
    ASSERT_TRUE(platform.timers.fire(100));
    EXPECT_FALSE(platform.window.invalidations.empty());
    EXPECT_EQ(platform.counterQueries.opened, 1);
}

// Numbers are written as the user's locale writes them, read at the load and again when
// the locale changes; a change that leaves them alone draws nothing.
TEST_F(Panel, TheLocalesSeparatorsAreReadAtLoadAndWhenTheLocaleChanges) {
    platform.counterQueries.script(u"\\A\\b", {1234.5});
    platform.locale.numbers = {u",", u"."};
    PanelEngine engine({platform.systemVersion, platform.counterQueries, platform.systemPerformance,
                        platform.sensors, platform.timers, platform.locale, platform.clock},
                       nullptr);
    const PanelView view(
        PanelView::Services{platform.screen, platform.window, platform.tooltips, recording,
                            platform.theme},
        engine, BandDirection::Horizontal);
    ASSERT_EQ(engine.load(R"json({"meterGroups": [{"name": "Disk", "meters": [
        {"meterType": "text", "width": 60, "refreshRate": 100, "counters": [
            {"counterPath": "(\\A\\b)", "units": "count", "decimals": 1,
             "minValue": 0, "maxValue": 100000}]}]}]})json"),
              "");
    const auto lastLine = [&] { return surface().recorded<testing::DrawString>().back().text; };
    EXPECT_EQ(lastLine(), u"1.234,5");
    ASSERT_EQ(platform.tooltips.live().size(), 1u);
    EXPECT_EQ(platform.tooltips.live()[0]->text(), u"Disk\n1.234,5");

    platform.locale.numbers = {};
    platform.window.invalidations.clear();
    engine.localeChanged();
    EXPECT_EQ(lastLine(), u"1,234.5");
    EXPECT_EQ(platform.tooltips.live()[0]->text(), u"Disk\n1,234.5");
    EXPECT_FALSE(platform.window.invalidations.empty());

    const std::size_t drawn = surface().recorded<testing::DrawString>().size();
    platform.window.invalidations.clear();
    engine.localeChanged();
    EXPECT_EQ(surface().recorded<testing::DrawString>().size(), drawn);
    EXPECT_TRUE(platform.window.invalidations.empty());
}

TEST_F(Panel, DpiScaleIsTheMeanOfBothScreenAxes) {
    platform.screen.dpiValue = {144, 96};
    EXPECT_EQ(make("{}")->dpiScale(), 1.25);
    platform.screen.dpiValue = {144, 144};
    EXPECT_EQ(make("{}")->dpiScale(), 1.5);
}

// A monitor of another scale lays the same model out again: nothing is added to the
// queries again, and a graph keeps the samples it has.
TEST_F(Panel, ANewScaleLaysOutAgainWithoutReloading) {
    platform.window.client = Rect{0, 0, 200, 30};
    platform.counterQueries.script(u"\\A\\b", {10, 20, 30, 40});
    const auto panel = make(R"json({"meterGroups": [{"meters": [
        {"meterType": "graph", "width": 20, "refreshRate": 100,
         "counters": [{"counterPath": "(\\A\\b)", "maxValue": 100}]}]}]})json");
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(platform.timers.fire(100));
    }
    const std::size_t kept = panel->samples()[0].counters[0].history.size();
    ASSERT_GE(kept, 3u);
    const int opened = platform.counterQueries.opened;
    const auto adds = platform.counterQueries.addAttempts;

    platform.screen.dpiValue = {144, 144};
    panel->relayout(BandDirection::Horizontal);
    EXPECT_EQ(panel->dpiScale(), 1.5);
    EXPECT_EQ(panel->layout().meters[0].extent, 30);
    EXPECT_EQ(platform.counterQueries.opened, opened);
    EXPECT_EQ(platform.counterQueries.addAttempts, adds);
    EXPECT_EQ(panel->samples()[0].counters[0].history.size(), kept);
}

TEST_F(Panel, StartOpensOneQueryAndOneTimerPerRate) {
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {40});
    const auto panel = make(kTwoRates);
    const auto fast = panel->queryOf(250);
    const auto slow = panel->queryOf(1000);
    EXPECT_LT(fast, slow);  // opened in ascending rate order
    EXPECT_EQ(platform.counterQueries.pathsOf(slow),
              std::vector<std::u16string>{u"\\Processor(_Total)\\% Processor Time"});
    // Only the performance-counter reference is added; the field is read per tick.
    EXPECT_EQ(platform.counterQueries.pathsOf(fast),
              std::vector<std::u16string>{u"\\Memory\\Pages/sec"});
    EXPECT_EQ(platform.timers.setCalls, (std::vector<std::uint64_t>{250, 1000}));
    EXPECT_EQ(platform.timers.elapseOf(250), 250u);
    EXPECT_EQ(platform.timers.elapseOf(1000), 1000u);
    // Start runs one tick per rate at once.
    EXPECT_EQ(platform.counterQueries.collections(fast), 1);
    EXPECT_EQ(platform.counterQueries.collections(slow), 1);
    EXPECT_EQ(platform.systemPerformance.reads, 1);
    EXPECT_EQ(testing::sampleOf(*panel, 1000), 40.0);
}

TEST_F(Panel, TickSamplesAndRedrawsOnlyItsOwnRate) {
    platform.counterQueries.script(u"\\Memory\\Pages/sec", {1, 50, 3});
    platform.systemPerformance.record.threadCount = 10;
    const auto panel = make(kTwoRates);
    const std::size_t slowMeter = panel->model().rates.at(1000)[0];
    const std::size_t fastMeter = panel->model().rates.at(250)[0];
    surface().log.clear();
    platform.window.invalidations.clear();

    ASSERT_TRUE(platform.timers.fire(250));
    const Rect fastRect = panel->layout().of(fastMeter).rect;
    EXPECT_EQ(clearedAreas(), (std::vector<InclusiveRect>{
                                  {fastRect.left, fastRect.top, fastRect.right, fastRect.bottom}}));
    EXPECT_NE(fastRect, panel->layout().of(slowMeter).rect);
    EXPECT_EQ(testing::sampleOf(*panel, 250, 0, 0, "a"), 50.0);
    EXPECT_EQ(testing::sampleOf(*panel, 250, 0, 0, "b"), 10.0);
    EXPECT_EQ(platform.counterQueries.collections(panel->queryOf(1000)), 1);
    // One invalidation of the whole client area per tick.
    EXPECT_EQ(platform.window.invalidations, std::vector<Rect>{platform.window.client});
}

TEST_F(Panel, FailedReadsStoreZero) {
    platform.counterQueries.failAdding(u"\\Memory\\Pages/sec");
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {55});
    platform.counterQueries.failReading(u"\\Processor(_Total)\\% Processor Time");
    const auto panel = make(kTwoRates);
    EXPECT_EQ(testing::sampleOf(*panel, 1000), 0.0);
    EXPECT_EQ(testing::sampleOf(*panel, 250), 0.0);
}

// A collection that fails leaves the whole rate, fields included, as it last drew:
// reading its counters would give the failed value and blank the meters.
TEST_F(Panel, FailedCollectionKeepsTheRatesLastSamplesAndPixels) {
    platform.counterQueries.script(u"\\Memory\\Pages/sec", {10, 20, 30, 40});
    const struct {
        std::uint32_t threads;
        double pages, threadsShown;
        bool draws;
    } ticks[] = {
        // The start's tick collects first (10 pages, 1 thread).
        {2, 10, 1, false},  // failed: nothing sampled, nothing drawn
        {3, 20, 3, true},  {4, 20, 3, false},
        {5, 20, 3, false}, {6, 30, 6, true},  // the counter goes on from its last good collection
    };
    platform.systemPerformance.record.threadCount = 1;
    const auto panel = make(kTwoRates);
    platform.counterQueries.scriptCollections({false, true, false, false, true});
    for (const auto& tick : ticks) {
        platform.systemPerformance.record.threadCount = tick.threads;
        surface().log.clear();
        ASSERT_TRUE(platform.timers.fire(250));
        EXPECT_EQ(testing::sampleOf(*panel, 250, 0, 0, "a"), tick.pages) << tick.threads;
        EXPECT_EQ(testing::sampleOf(*panel, 250, 0, 0, "b"), tick.threadsShown) << tick.threads;
        EXPECT_EQ(!clearedAreas().empty(), tick.draws) << tick.threads;
    }
}

// A tooltip may ask for its group's text while it goes: the meters it reads are still
// whole then, and once stopped there is nothing left to read. Run under the sanitizers.
TEST_F(Panel, TooltipsThatReadWhileTheyGoSeeWholeMeters) {
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {40});
    platform.tooltips.asksWhileGoing = true;
    const auto panel = make(kTwoRates);
    for (const bool reload : {true, false}) {
        ASSERT_EQ(platform.tooltips.live().size(), 1u);
        const testing::TooltipRecord& going = *platform.tooltips.live()[0];
        const std::u16string before = going.text();
        ASSERT_TRUE(before.starts_with(u"cpu\n40%"));
        if (reload) {
            EXPECT_EQ(panel->reload(kTwoRates, BandDirection::Horizontal), "");
        } else {
            panel->stop();
        }
        EXPECT_FALSE(going.alive);
        EXPECT_EQ(going.textWhileGoing, before);
    }
    EXPECT_TRUE(testing::spokenGroupsOf(*panel).empty());
}

TEST_F(Panel, RatesWithoutReferencesGetNoQueryAndNoTimer) {
    const auto panel = make(R"json({"meterGroups": [{"meters": [
        {"refreshRate": 500, "counters": [{"counterPath": "\\Processor(_Total)\\% Idle Time"}]},
        {"refreshRate": 700}]}]})json");
    EXPECT_EQ(platform.counterQueries.opened, 0);
    EXPECT_TRUE(platform.timers.setCalls.empty());
}

TEST_F(Panel, FieldOnlyCountersAreStillSampledFromOneRecordPerTick) {
    platform.systemPerformance.record.processCount = 42;
    const auto panel = make(R"json({"meterGroups": [{"meters": [{"refreshRate": 100,
        "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.ProcessCount)"},
                     {"counterPath": "(PERFORMANCE_INFORMATION.ThreadCount) / (PERFORMANCE_INFORMATION.ProcessCount)"}]}]}]})json");
    EXPECT_TRUE(platform.timers.isSet(100));
    EXPECT_EQ(platform.counterQueries.opened, 0) << "a rate of fields alone opens no query";
    platform.systemPerformance.record.processCount = 43;
    platform.systemPerformance.record.threadCount = 430;
    platform.timers.fire(100);
    EXPECT_EQ(testing::sampleOf(*panel, 100, 0, 0, "a"), 43.0);
    EXPECT_EQ(testing::sampleOf(*panel, 100, 0, 1, "a"), 430.0);
    EXPECT_EQ(testing::sampleOf(*panel, 100, 0, 1, "b"), 43.0);
    EXPECT_EQ(platform.systemPerformance.reads, 2);
}

// The sensors are read once per tick for every reference of the rate, with no query of
// the performance data; what the machine does not report stays not available through
// arithmetic and is said so, and a value that comes back is shown again.
TEST_F(Panel, SensorsAreReadOncePerTickAndWhatIsMissingIsNotAvailableNotZero) {
    platform::AdapterPerformance gpu;
    gpu.answered = true;
    gpu.temperature = 615;
    platform.sensors.adapters = {gpu};
    platform.sensors.power = platform::PowerStatus{1, 128, 255, 0xFFFFFFFF};
    const auto panel = make(R"json({"meterGroups": [{"name": "Sensors", "meters": [
        {"meterType": "text", "width": 40, "refreshRate": 100, "counters": [
            {"counterPath": "(ADAPTER_PERFDATA.Temperature)", "units": "celsius", "name": "GPU"},
            {"counterPath": "(ADAPTER_PERFDATA.Temperature) - (ADAPTER_PERFDATA.FanRPM)"},
            {"counterPath": "(SYSTEM_POWER_STATUS.BatteryLifePercent) + (SYSTEM_POWER_STATUS.ACLineStatus)",
             "units": "percent", "name": "Battery"}]},
        {"meterType": "indicator", "width": 20, "refreshRate": 100, "counters": [
            {"counterPath": "(SYSTEM_POWER_STATUS.BatteryLifePercent)", "trigger": "< 20",
             "indicator": "LOW"}]}]}]})json");
    EXPECT_EQ(platform.counterQueries.opened, 0);
    const int adapterReads = platform.sensors.adapterReads;
    const int powerReads = platform.sensors.powerReads;
    ASSERT_TRUE(platform.timers.fire(100));
    EXPECT_EQ(platform.sensors.adapterReads - adapterReads, 1);
    EXPECT_EQ(platform.sensors.powerReads - powerReads, 1);
    EXPECT_DOUBLE_EQ(testing::samplesOf(*panel, 100, 0, 0).value, 61.5);
    EXPECT_DOUBLE_EQ(testing::samplesOf(*panel, 100, 0, 1).value, 61.5);
    EXPECT_TRUE(std::isnan(testing::samplesOf(*panel, 100, 0, 2).value));
    // The indicator's trigger never holds on a battery that is not there.
    EXPECT_EQ(testing::spokenGroupsOf(*panel).at(0).value,
              u"GPU 62 \u00B0C, Battery not available");

    // The driver stops answering, then answers again.
    platform.sensors.adapters = {};
    ASSERT_TRUE(platform.timers.fire(100));
    EXPECT_TRUE(std::isnan(testing::samplesOf(*panel, 100, 0, 0).value));
    EXPECT_TRUE(std::isnan(testing::samplesOf(*panel, 100, 0, 1).value));
    platform.sensors.adapters = {gpu};
    ASSERT_TRUE(platform.timers.fire(100));
    EXPECT_DOUBLE_EQ(testing::samplesOf(*panel, 100, 0, 0).value, 61.5);
}

// The full record walks every process: a rate reads it only when one of its fields needs it.
TEST_F(Panel, EachRateReadsOnlyThePerformanceFieldsItNames) {
    using platform::PerformanceScope;
    const auto panel = make(R"json({"meterGroups": [{"meters": [
        {"refreshRate": 250, "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.PhysicalAvailable)"}]},
        {"refreshRate": 500, "counters": [{"counterPath": "(\\Processor(_Total)\\% Idle Time)"}]},
        {"refreshRate": 1000, "counters": [
            {"counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)"},
            {"counterPath": "(PERFORMANCE_INFORMATION.CommitTotal)"}]}]}]})json");
    const struct {
        std::uint64_t rate;
        int reads;
        PerformanceScope scope;
    } ticks[] = {
        {250, 1, PerformanceScope::PhysicalMemory},
        {500, 0, PerformanceScope::PhysicalMemory},
        {1000, 1, PerformanceScope::Everything},
    };
    for (const auto& t : ticks) {
        const int before = platform.systemPerformance.reads;
        platform.systemPerformance.lastScope = PerformanceScope::PhysicalMemory;
        ASSERT_TRUE(platform.timers.fire(t.rate));
        EXPECT_EQ(platform.systemPerformance.reads - before, t.reads) << t.rate;
        EXPECT_EQ(platform.systemPerformance.lastScope, t.scope) << t.rate;
    }
}

TEST_F(Panel, TimerIdentifierKeepsTheFullRateAndElapseSaturates) {
    const auto panel = make(R"json({"meterGroups": [{"meters": [
        {"refreshRate": 4294967296, "counters": [{"counterPath": "(\\A\\B)"}]},
        {"refreshRate": 4294967396, "counters": [{"counterPath": "(\\A\\B)"}]},
        {"refreshRate": 4294967295, "counters": [{"counterPath": "(\\A\\B)"}]},
        {"counters": [{"counterPath": "(\\A\\B)"}]}]}]})json");
    const struct {
        std::uint64_t rate;
        std::uint32_t elapse;
    } timers[] = {{4294967296u, 4294967295u},
                  {4294967396u, 4294967295u},
                  {4294967295u, 4294967295u},
                  {0, 0}};  // no "refreshRate": the shortest
    for (const auto& timer : timers) {
        EXPECT_TRUE(platform.timers.isSet(timer.rate)) << timer.rate;
        EXPECT_EQ(platform.timers.elapseOf(timer.rate), timer.elapse) << timer.rate;
    }
}

TEST_F(Panel, StopKillsOneTimerPerRateAndClosesEveryQuery) {
    const auto panel = make(R"json({"meterGroups": [{"name": "g", "meters": [
        {"refreshRate": 300}, {"refreshRate": 100, "counters": [{"counterPath": "(\\A\\B)"}]}]}]})json");
    const std::size_t buffersBefore = surface().backBufferRequests.size();
    panel->stop();
    EXPECT_EQ(platform.timers.killCalls, (std::vector<std::uint64_t>{100, 300}));
    EXPECT_FALSE(platform.timers.isSet(100));
    EXPECT_TRUE(platform.counterQueries.openQueries().empty());
    EXPECT_TRUE(panel->model().groups.empty());
    EXPECT_TRUE(panel->model().meters.empty());
    EXPECT_TRUE(platform.tooltips.live().empty());
    // Stop lays out the empty panel on a new, empty back buffer.
    EXPECT_EQ(surface().backBufferRequests.size(), buffersBefore + 1);
    EXPECT_FALSE(platform.timers.fire(100));
}

TEST_F(Panel, ReloadReplacesTooltipsQueriesAndDynamicRanges) {
    const std::u16string processor = u"\\Processor(_Total)\\% Processor Time";
    platform.counterQueries.script(processor, {150});
    const auto panel = make(kTwoRates);
    const auto maximum = [&] { return testing::samplesOf(*panel, 1000).maxValue; };
    EXPECT_EQ(maximum(), 150.0);  // widened by the first tick's sample
    EXPECT_EQ(platform.tooltips.created.size(), 1u);

    platform.counterQueries.script(processor, {50});
    EXPECT_EQ(panel->reload(std::string(kTwoRates), BandDirection::Horizontal), "");
    EXPECT_EQ(maximum(), 100.0);
    EXPECT_EQ(platform.tooltips.created.size(), 2u);
    EXPECT_EQ(platform.tooltips.live().size(), 1u);
    // No query of the previous configuration is left open.
    EXPECT_EQ(platform.counterQueries.openQueries().size(), 2u);
    EXPECT_EQ(platform.counterQueries.closed, 2);
}

TEST_F(Panel, DocumentThatFailsToLoadKeepsTheLastConfigurationRunning) {
    platform.counterQueries.script(u"\\Memory\\Pages/sec", {5, 6, 7, 8});
    const auto panel = make(kTwoRates);
    const std::string error =
        panel->reload(std::string(R"json({"meterGroups": [{"name": "new"}, {"enabled": 1}]})json"),
                      BandDirection::Horizontal);
    EXPECT_EQ(error, "[json.exception.type_error.302] type must be boolean, but is number");

    ASSERT_EQ(panel->model().groups.size(), 1u);
    EXPECT_EQ(panel->model().groups[0].name, u"cpu");
    ASSERT_EQ(platform.tooltips.live().size(), 1u);
    EXPECT_TRUE(platform.tooltips.live()[0]->text().starts_with(u"cpu\n"));
    EXPECT_EQ(platform.counterQueries.openQueries().size(), 2u);
    ASSERT_TRUE(platform.timers.fire(250));
    EXPECT_GT(testing::sampleOf(*panel, 250), 0.0);
    EXPECT_FALSE(surface().recorded<testing::FillRectangle>().empty());

    EXPECT_EQ(panel->reload(std::string(R"json({"meterGroups": [{"name": "new"}]})json"),
                            BandDirection::Horizontal),
              "");
    ASSERT_EQ(panel->model().groups.size(), 1u);
    EXPECT_EQ(panel->model().groups[0].name, u"new");
    EXPECT_TRUE(platform.counterQueries.openQueries().empty());
    EXPECT_FALSE(platform.timers.isSet(250));
}

std::string noteOf(const std::string& note) {
    return R"({"meterGroups": [], "note": )" + note + "}";
}

std::string nestedArrays(std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

TEST_F(Panel, TextsTheParseRefusesLeaveTheRunningPanelAsItIs) {
    const auto panel = make(kTwoRates);
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {noteOf(nestedArrays(200000)), kConfigurationTooDeep},
        {noteOf(nestedArrays(kMaxConfigurationNesting)), kConfigurationTooDeep},
        {noteOf('"' + std::string(kMaxConfigurationBytes, 'x') + '"'), kConfigurationTooLarge},
        {R"({"meterGroups": [}")",
         "[json.exception.parse_error.101] parse error at line 1, column 18: syntax error while "
         "parsing value - unexpected '}'; expected '[', '{', or a literal"},
    };
    for (const auto& refused : cases) {
        EXPECT_EQ(panel->reload(refused.text, BandDirection::Horizontal), refused.message);
        // Not even stopped: the groups, their tooltips and the timers are the same.
        ASSERT_EQ(panel->model().groups.size(), 1u);
        EXPECT_EQ(panel->model().groups[0].name, u"cpu");
        EXPECT_EQ(platform.tooltips.created.size(), 1u);
        EXPECT_TRUE(platform.timers.isSet(250));

        std::string error;
        EXPECT_EQ(
            MeterPanel::create(platform.services(), refused.text, BandDirection::Horizontal, error),
            nullptr);
        EXPECT_EQ(error, refused.message);
    }
    // The document itself and the note make the limit exactly.
    EXPECT_EQ(panel->reload(noteOf(nestedArrays(kMaxConfigurationNesting - 1)),
                            BandDirection::Horizontal),
              "");
    EXPECT_TRUE(panel->model().groups.empty());
}

TEST_F(Panel, AnyFileThatLoadsIsRestoredAfterAFailedReload) {
    // Nearly 1 MiB of numbers whose shortest re-print is four times as long.
    std::string text = R"({"meterGroups": [{"name": "kept"}], "note": [1E9)";
    while (text.size() < kMaxConfigurationBytes - 8) {
        text += ",1E9";
    }
    text += "]}";
    const auto panel = make(text);
    ASSERT_GT(json::parse(text).dump().size(), kMaxConfigurationBytes);

    EXPECT_NE(panel->reload(R"({"meterGroups": [{"name": "new"}, {"enabled": 1}]})",
                            BandDirection::Horizontal),
              "");
    ASSERT_EQ(panel->model().groups.size(), 1u);
    EXPECT_EQ(panel->model().groups[0].name, u"kept");
}

TEST_F(Panel, ConstructionThatFailsLeavesNothingBehind) {
    std::string error;
    const auto panel = MeterPanel::create(
        platform.services(),
        std::string(R"json({"meterGroups": [{"name": "ok", "meters": [{"refreshRate": 9,
            "counters": [{"counterPath": "(\\A\\B)"}]}]}, 5]})json"),
        BandDirection::Horizontal, error);
    EXPECT_EQ(panel, nullptr);
    EXPECT_EQ(error,
              "[json.exception.type_error.305] cannot use operator[] with a string argument "
              "with number");
    EXPECT_TRUE(platform.tooltips.live().empty());
    EXPECT_TRUE(platform.counterQueries.openQueries().empty());
    EXPECT_TRUE(platform.timers.setCalls.empty());
}

std::vector<std::string>& sinkReports() {
    static std::vector<std::string> received;
    return received;
}

void recordSinkReport(std::string_view where, std::string_view what) noexcept {
    sinkReports().push_back(std::string(where) + ": " + std::string(what));
}

// A std::exception is the file's refusal, for the caller to show; anything else is a
// fault, which the failure sink hears of as well.
TEST_F(Panel, ConstructionThatThrowsAnythingButAStandardExceptionIsReported) {
    struct ThrowingSurfaces final : platform::SurfaceFactory {
        bool standard = false;
        std::unique_ptr<platform::MemorySurface> createMemorySurface() override {
            if (standard) {
                throw std::runtime_error("no surface today");
            }
            throw 7;
        }
    } throwing;
    struct Case {
        bool standard;
        std::string error;
        std::vector<std::string> reported;
    };
    const Case cases[] = {
        {true, "no surface today", {}},
        {false, "unknown error", {"creating the panel: an exception that is not a std::exception"}},
    };
    platform.surfaces = &throwing;
    const FailureReporter previous = setFailureReporter(recordSinkReport);
    for (const Case& testCase : cases) {
        sinkReports().clear();
        throwing.standard = testCase.standard;
        std::string error;
        EXPECT_EQ(MeterPanel::create(platform.services(), std::string(kTwoRates),
                                     BandDirection::Horizontal, error),
                  nullptr);
        EXPECT_EQ(error, testCase.error);
        EXPECT_EQ(sinkReports(), testCase.reported) << testCase.error;
    }
    setFailureReporter(previous);
}

TEST_F(Panel, NoPanelWithoutAMemorySurface) {
    struct NoSurfaces final : platform::SurfaceFactory {
        std::unique_ptr<platform::MemorySurface> createMemorySurface() override { return nullptr; }
    } noSurfaces;
    platform.surfaces = &noSurfaces;
    std::string error;
    EXPECT_EQ(MeterPanel::create(platform.services(), std::string(kTwoRates),
                                 BandDirection::Horizontal, error),
              nullptr);
    EXPECT_EQ(error, "the memory drawing surface cannot be created");
    EXPECT_TRUE(platform.tooltips.created.empty());
    EXPECT_TRUE(platform.timers.setCalls.empty());
}

TEST_F(Panel, TeardownReleasesEverything) {
    {
        const auto panel = make(kTwoRates);
        EXPECT_FALSE(platform.tooltips.live().empty());
    }
    EXPECT_TRUE(platform.tooltips.live().empty());
    EXPECT_TRUE(platform.counterQueries.openQueries().empty());
    EXPECT_FALSE(platform.timers.isSet(250));
    EXPECT_FALSE(platform.timers.isSet(1000));
}

TEST_F(Panel, PanelsOnTwoWindowsSharingARateTickOnlyThemselves) {
    testing::FakePlatform other;
    testing::RecordingSurfaceFactory otherSurfaces;
    other.surfaces = &otherSurfaces;
    platform.counterQueries.script(u"\\Memory\\Pages/sec", {1, 2});
    other.counterQueries.script(u"\\Memory\\Pages/sec", {10, 20});
    const auto first = make(kTwoRates);
    const auto second = std::make_unique<MeterPanel>(other.services(), std::string(kTwoRates),
                                                     BandDirection::Horizontal);

    platform.timers.fire(250);
    const auto sample = [](const MeterPanel& panel) { return testing::sampleOf(panel, 250); };
    EXPECT_EQ(sample(*first), 2.0);
    EXPECT_EQ(sample(*second), 10.0);
}

TEST_F(Panel, RelayoutFollowsTheBandDirection) {
    platform.window.client = {0, 0, 40, 200};
    const auto panel =
        make(R"json({"meterGroups": [{"meters": [{"width": 30}, {"width": 30}]}]})json");
    panel->relayout(BandDirection::Vertical);
    EXPECT_EQ(panel->direction(), BandDirection::Vertical);
    EXPECT_EQ(surface().backBufferRequests.back(), (std::pair<int, int>{40, 200}));
    // Sixty pixels of meters do not fit across forty: the group is turned on its side.
    EXPECT_EQ(panel->layout().groups[0].orientation, GroupOrientation::Unknown);
}

}  // namespace
}  // namespace tavisto
