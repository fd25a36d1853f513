#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "panel/meter_panel.h"
#include "render/frame.h"
#include "render/layout.h"
#include "support/fake_platform.h"
#include "support/placed_meter.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

using testing::drawPlaced;
using testing::PlacedMeter;
using testing::SampledCounter;
using testing::setCounters;

using testing::BeginDrawing;
using testing::ClearToTransparent;
using testing::EndDrawing;
using testing::FillPie;
using testing::FillRectangle;
using testing::Primitive;
using testing::RecordingSurface;

SampledCounter counterAt(double value) {
    SampledCounter counter;
    counter.color = parseColour(u"#FF0000");
    counter.minValue = 0.0;
    counter.maxValue = 100.0;
    counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
    counter.sample = value;
    return counter;
}

PlacedMeter meterOfType(std::u16string type) {
    PlacedMeter meter;
    meter.meterType = closedSetValue<MeterType>(type, kMeterTypes);
    meter.placement.rect = Rect{10, 0, 20, 30};
    meter.width = 10;
    meter.placement.barLength = 28.0;
    meter.color = parseColour(u"#FFFFFF");
    setCounters(meter, {counterAt(50.0)});
    return meter;
}

TEST(DrawMeter, UnknownTypesOnlyClearTheRectangle) {
    for (const char16_t* type : {u"Column", u"PIE", u"gauge", u"", u"text "}) {
        RecordingSurface surface;
        PlacedMeter meter = meterOfType(type);
        drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
        EXPECT_EQ(surface.log, (std::vector<Primitive>{
                                   BeginDrawing{}, ClearToTransparent{InclusiveRect{10, 0, 20, 30}},
                                   EndDrawing{}}));
    }
}

TEST(DrawMeter, ClearsBeforeDrawingTheKnownTypes) {
    for (const char16_t* type : {u"column", u"pie", u"text", u"indicator"}) {
        RecordingSurface surface;
        PlacedMeter meter = meterOfType(type);
        drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
        ASSERT_GE(surface.log.size(), 5U);
        EXPECT_EQ(surface.log[1], (Primitive{ClearToTransparent{InclusiveRect{10, 0, 20, 30}}}));
        EXPECT_EQ(surface.log[2], Primitive{EndDrawing{}});
        EXPECT_EQ(surface.log[3], Primitive{BeginDrawing{}});
    }
    RecordingSurface pie;
    PlacedMeter meter = meterOfType(u"pie");
    drawPlaced(meter, pie, platform::TaskbarTheme::Dark);
    EXPECT_EQ(pie.recorded<FillPie>().size(), 1U);
}

TEST(DrawMeter, ClearCoversTextLinesThatReachPastANarrowStackedGroup) {
    // Stacked in a group 36 wide, a text meter 64 wide draws its lines 64 wide from the
    // group's left edge; what is drawn there must be cleared by the next drawing.
    RecordingSurface surface;
    PlacedMeter meter = meterOfType(u"text");
    meter.counters[0].units = closedSetValue<CounterUnits>(u"percent", kCounterUnits);
    meter.placement.rect = Rect{13, 20, 49, 84};
    meter.width = 64;
    meter.placement.sideBySide = false;
    drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{13, 20, 77, 84}}}));
    const auto lines = surface.recorded<testing::DrawString>();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].layout, (RectF{13, 20, 64, 64}));

    // A meter narrower than its stacked group clears just its rectangle.
    RecordingSurface narrowSurface;
    meter.width = 20;
    drawPlaced(meter, narrowSurface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(narrowSurface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{13, 20, 49, 84}}}));
}

TEST(DrawMeter, ColumnVariantFollowsOrientationOrSideBySide) {
    // Side by side in a vertical band: not forced, but the group's orientation says so.
    RecordingSurface across;
    PlacedMeter sideBySideInVerticalBand = meterOfType(u"column");
    sideBySideInVerticalBand.placement.drawsColumns = true;
    sideBySideInVerticalBand.placement.sideBySide = false;
    drawPlaced(sideBySideInVerticalBand, across, platform::TaskbarTheme::Dark);
    EXPECT_EQ(across.recorded<FillRectangle>(),
              (std::vector<FillRectangle>{{0xFFFF0000, 10, 16, 10, 14}}));

    RecordingSurface stackedSurface;
    PlacedMeter stacked = meterOfType(u"column");
    stacked.placement.drawsColumns = false;
    stacked.placement.sideBySide = false;
    drawPlaced(stacked, stackedSurface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(stackedSurface.recorded<FillRectangle>(),
              (std::vector<FillRectangle>{{0xFFFF0000, 10, 0, 14, 10}}));
}

struct LoadedModel {
    explicit LoadedModel(const char* configuration) {
        nlohmann::json document = nlohmann::json::parse(configuration);
        loadModel(document, LoadContext{}, model);
        for (const Meter& meter : model.meters) {
            samples.push_back(initialSamples(meter));
        }
    }
    PanelModel model;
    PanelSamples samples;
    PanelLayout layout;
    FrameCache frames;
};

// What a panel's relayout does: lay out in the client area, rebuild the frame cache,
// then draw it all anew.
void rebuildFrame(LoadedModel& loaded, BandDirection direction, platform::BandWindow& window,
                  platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    layoutPanel(loaded.model, direction, window.clientRect(), 1.0, loaded.layout, window);
    rebuildFrameCache(loaded.model, loaded.layout, loaded.frames);
    redrawFrame(loaded.model, loaded.samples, loaded.layout, loaded.frames, window.clientRect(),
                surface, DrawSettings{theme});
}

constexpr const char* kTwoRates = R"({"meterGroups": [{"maxHeight": 30, "meters": [
    {"meterType": "column", "width": 10, "refreshRate": 2000},
    {"meterType": "pie", "width": 20, "refreshRate": 500},
    {"meterType": "column", "width": 30, "refreshRate": 2000}]}]})";

TEST(RebuildFrame, LaysOutThenDrawsEveryMeterInRateOrderIntoANewBuffer) {
    LoadedModel loaded(kTwoRates);
    testing::FakeBandWindow window;
    window.client = Rect{0, 0, 120, 30};
    RecordingSurface surface;
    rebuildFrame(loaded, BandDirection::Horizontal, window, surface, platform::TaskbarTheme::Dark);

    EXPECT_EQ(surface.backBufferRequests, (std::vector<std::pair<int, int>>{{120, 30}}));
    EXPECT_EQ(surface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{10, 0, 30, 30}},
                                               {InclusiveRect{0, 0, 10, 30}},
                                               {InclusiveRect{30, 0, 60, 30}}}));
    EXPECT_EQ(window.invalidations, (std::vector<Rect>{{0, 0, 60, 30}}));
}

TEST(RebuildFrame, EmptyClientAreaKeepsThePreviousBufferAndStillDraws) {
    LoadedModel loaded(kTwoRates);
    testing::FakeBandWindow window;
    RecordingSurface surface;
    window.client = Rect{0, 0, 120, 30};
    rebuildFrame(loaded, BandDirection::Horizontal, window, surface, platform::TaskbarTheme::Dark);
    window.client = Rect{0, 0, 0, 30};
    rebuildFrame(loaded, BandDirection::Horizontal, window, surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface.backBufferRequests, (std::vector<std::pair<int, int>>{{120, 30}, {0, 30}}));
    EXPECT_EQ(surface.backBufferWidth, 120);
    EXPECT_EQ(surface.recorded<ClearToTransparent>().size(), 6U);
}

TEST(RebuildFrame, VerticalBandPlacesMetersAnew) {
    LoadedModel loaded(kTwoRates);
    testing::FakeBandWindow window;
    window.client = Rect{0, 0, 40, 200};
    RecordingSurface surface;
    rebuildFrame(loaded, BandDirection::Vertical, window, surface, platform::TaskbarTheme::Dark);
    // 60 does not fit across 40: the group is turned on its side, 30 across at round(5).
    EXPECT_EQ(surface.backBufferRequests, (std::vector<std::pair<int, int>>{{40, 200}}));
    EXPECT_EQ(surface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{5, 10, 35, 30}},
                                               {InclusiveRect{5, 0, 35, 10}},
                                               {InclusiveRect{5, 30, 35, 60}}}));
}

constexpr const char* kNamedGroups = R"json({"meterGroups": [
    {"name": "CPU", "maxHeight": 30, "meters": [
        {"meterType": "column", "width": 10, "refreshRate": 1000,
         "counters": [{"counterPath": "(\\Processor(_Total)\\% Processor Time)",
                       "minValue": 0, "maxValue": 100}]}]},
    {"name": "Disk", "maxHeight": 30, "meters": [
        {"meterType": "text", "width": 40, "refreshRate": 2000,
         "counters": [{"counterPath": "(\\PhysicalDisk(_Total)\\Disk Bytes/sec)",
                       "units": "bytes/second"}]}]}]})json";

struct RunningPanel {
    RunningPanel() {
        platform.window.client = Rect{0, 0, 100, 30};
        platform.surfaces = &surfaces;
        platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {25.0, 75.0});
        platform.counterQueries.script(u"\\PhysicalDisk(_Total)\\Disk Bytes/sec", {1000.0, 1500.0});
    }
    RecordingSurface& surface() { return *surfaces.last; }
    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory surfaces;
};

TEST(PanelDrawing, TooltipsAreReplacedByAReloadAndFollowEveryLayout) {
    RunningPanel running;
    MeterPanel panel(running.platform.services(), std::string(kNamedGroups),
                     BandDirection::Horizontal);
    ASSERT_EQ(panel.reload(std::string(kNamedGroups), BandDirection::Horizontal), "");

    const auto live = running.platform.tooltips.live();
    ASSERT_EQ(live.size(), 2U);
    EXPECT_EQ(running.platform.tooltips.created.size(), 4U);
    EXPECT_TRUE(live[0]->text().starts_with(u"CPU\n"));
    EXPECT_EQ(live[0]->area, (Rect{0, 0, 10, 30}));
    EXPECT_TRUE(live[1]->text().starts_with(u"Disk\n"));
    EXPECT_EQ(live[1]->area, (Rect{10, 0, 50, 30}));

    running.platform.window.client = Rect{0, 0, 100, 50};
    panel.relayout(BandDirection::Horizontal);
    EXPECT_EQ(live[0]->area, (Rect{0, 10, 10, 40}));
    EXPECT_EQ(live[1]->area, (Rect{10, 10, 50, 40}));

    panel.stop();
    EXPECT_TRUE(running.platform.tooltips.live().empty());
}

TEST(PanelDrawing, GroupWithoutTooltipIsStillLaidOutAndDrawn) {
    RunningPanel running;
    running.platform.tooltips.failCreation = true;
    MeterPanel panel(running.platform.services(), std::string(kNamedGroups),
                     BandDirection::Horizontal);
    ASSERT_EQ(panel.tooltips().size(), 2U);
    EXPECT_EQ(panel.tooltips()[0], nullptr);
    EXPECT_EQ(panel.layout().groups[1].rect, (Rect{10, 0, 50, 30}));
    EXPECT_FALSE(running.surface().log.empty());
}

TEST(PanelDrawing, ResizeRedrawsEveryMeterInABufferOfTheNewSize) {
    RunningPanel running;
    MeterPanel panel(running.platform.services(), std::string(kNamedGroups),
                     BandDirection::Horizontal);
    RecordingSurface& surface = running.surface();
    surface.log.clear();
    running.platform.window.client = Rect{0, 0, 80, 40};
    panel.relayout(BandDirection::Horizontal);
    EXPECT_EQ(surface.backBufferRequests.back(), (std::pair<int, int>{80, 40}));
    // Centred in the taller band: top round(20 - 15) = 5.
    EXPECT_EQ(surface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{0, 5, 10, 35}},
                                               {InclusiveRect{10, 5, 50, 35}}}));
}

TEST(PanelDrawing, TickRedrawsOnlyTheMetersOfItsRate) {
    RunningPanel running;
    MeterPanel panel(running.platform.services(), std::string(kNamedGroups),
                     BandDirection::Horizontal);
    RecordingSurface& surface = running.surface();
    surface.log.clear();
    ASSERT_TRUE(running.platform.timers.fire(1000));
    EXPECT_EQ(surface.recorded<ClearToTransparent>(),
              (std::vector<ClearToTransparent>{{InclusiveRect{0, 0, 10, 30}}}));
    // Second sample of the processor counter: 75 of 100 over a bar of 28 is 21.
    EXPECT_EQ(surface.recorded<FillRectangle>(),
              (std::vector<FillRectangle>{{0xFFFFFFFF, 0, 9, 10, 21}}));

    surface.log.clear();
    ASSERT_TRUE(running.platform.timers.fire(2000));
    const auto lines = surface.recorded<testing::DrawString>();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].text, u"2 KB/s");
}

// Two columns side by side share the column between them: each one's drawing reaches
// its right edge, which is the next one's left edge.
constexpr const char* kNeighbours = R"json({"meterGroups": [{"name": "pair", "meters": [
    {"meterType": "column", "width": 10, "refreshRate": 1000,
     "counters": [{"counterPath": "(\\T\\first)", "minValue": 0, "maxValue": 100}]},
    {"meterType": "column", "width": 10, "refreshRate": 1000,
     "counters": [{"counterPath": "(\\T\\second)", "minValue": 0, "maxValue": 100}]}]}]})json";

TEST(PanelDrawing, TickDrawsOnlyWhatChangedAndTheLaterNeighboursOfWhatDrew) {
    const InclusiveRect first{0, 0, 10, 30};
    const InclusiveRect second{10, 0, 20, 30};
    struct Case {
        const char* name;
        std::vector<double> firstValues;
        std::vector<double> secondValues;
        std::vector<InclusiveRect> cleared;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"unchanged values draw nothing", {10, 10}, {20, 20}, {}},
        {"a NaN that stays NaN is unchanged", {nan, nan}, {20, 20}, {}},
        {"a change after its neighbour draws alone", {10, 10}, {20, 30}, {second}},
        {"a change draws its later neighbour after it", {10, 15}, {20, 20}, {first, second}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningPanel running;
        running.platform.counterQueries.script(u"\\T\\first", c.firstValues);
        running.platform.counterQueries.script(u"\\T\\second", c.secondValues);
        MeterPanel panel(running.platform.services(), std::string(kNeighbours),
                         BandDirection::Horizontal);
        running.surface().log.clear();
        running.platform.window.invalidations.clear();

        ASSERT_TRUE(running.platform.timers.fire(1000));
        std::vector<InclusiveRect> cleared;
        for (const auto& clear : running.surface().recorded<ClearToTransparent>()) {
            cleared.push_back(clear.area);
        }
        EXPECT_EQ(cleared, c.cleared);
        EXPECT_EQ(running.platform.window.invalidations.size(), c.cleared.empty() ? 0U : 1U);
    }
}

TEST(PanelDrawing, TickLeavesMetersThatLookTheSameAsTheyAre) {
    // One meter per rate; bars are 28 pixels long.
    constexpr const char* kKinds = R"json({"meterGroups": [{"name": "kinds", "meters": [
        {"meterType": "text", "width": 40, "refreshRate": 1000,
         "counters": [{"counterPath": "(\\T\\rate)", "units": "bytes/second"}]},
        {"meterType": "indicator", "width": 40, "refreshRate": 2000,
         "counters": [{"counterPath": "(\\T\\load)", "indicator": "HIGH", "trigger": "> 90"}]},
        {"meterType": "column", "width": 10, "refreshRate": 3000,
         "counters": [{"counterPath": "(\\T\\column)", "minValue": 0, "maxValue": 100}]},
        {"meterType": "pie", "width": 30, "refreshRate": 4000,
         "counters": [{"counterPath": "(\\T\\pie)", "minValue": 0, "maxValue": 100}]}]}]})json";
    struct Case {
        const char* name;
        std::u16string path;
        std::uint64_t rate;
        std::vector<double> values;
        bool draws;
    };
    const Case cases[] = {
        {"a rate that still reads 2 KB/s", u"\\T\\rate", 1000, {1500, 1700}, false},
        {"a rate that now reads 3 KB/s", u"\\T\\rate", 1000, {1500, 2600}, true},
        {"an indicator that stays off", u"\\T\\load", 2000, {10, 20}, false},
        {"an indicator that comes on", u"\\T\\load", 2000, {10, 95}, true},
        {"a column that still fills 14 pixels", u"\\T\\column", 3000, {50, 50.5}, false},
        {"a column that now fills 17", u"\\T\\column", 3000, {50, 60}, true},
        {"a sector that still spans 180 degrees", u"\\T\\pie", 4000, {50, 50.1}, false},
        {"a sector that now spans 216", u"\\T\\pie", 4000, {50, 60}, true},
        {"a sector that goes from a few degrees to none", u"\\T\\pie", 4000, {0.1, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningPanel running;
        running.platform.counterQueries.script(c.path, c.values);
        MeterPanel panel(running.platform.services(), std::string(kKinds),
                         BandDirection::Horizontal);
        running.surface().log.clear();

        ASSERT_TRUE(running.platform.timers.fire(c.rate));
        EXPECT_EQ(running.surface().log.empty(), !c.draws);
    }
}

}  // namespace
}  // namespace tavisto
