#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "panel/meter_panel.h"
#include "render/frame.h"
#include "sampling/sample_history.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/placed_meter.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

using testing::drawPlaced;
using testing::drawSampledPlaced;
using testing::PlacedMeter;
using testing::sampleMeter;

using platform::TaskbarTheme;
using testing::ClearToTransparent;
using testing::FillRectangle;
using testing::OutlineRectangle;
using testing::RecordingSurface;
using testing::ScrollArea;

constexpr Argb kRed = 0xFFFF0000;
constexpr Argb kRedEdge = 0xFFFF7F7F;
constexpr Argb kBlue = 0xFF0000FF;

MeterCounter counterInRange(double minValue, double maxValue, bool dynamicMax = false) {
    MeterCounter counter;
    counter.color = parseColour(u"#FF0000");
    counter.minValue = minValue;
    counter.maxValue = maxValue;
    counter.dynamicMaxValue = dynamicMax;
    counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
    return counter;
}

// A graph laid out in the horizontal band (time along x) or the vertical one (along y).
PlacedMeter graphAt(Rect rect, bool horizontalBand, MeterCounter counter,
                    std::u16string style = u"area") {
    PlacedMeter meter;
    meter.meterType = closedSetValue<MeterType>(u"graph", kMeterTypes);
    meter.style = closedSetValue<GraphStyle>(style, kGraphStyles);
    meter.color = parseColour(u"#0000FF");
    meter.placement.rect = rect;
    meter.placement.sideBySide = horizontalBand;
    meter.counters.push_back(std::move(counter));
    return meter;
}

// One tick: the counter's sample becomes `value` and the meter is drawn as a tick draws it.
void tick(PlacedMeter& meter, RecordingSurface& surface, double value,
          TaskbarTheme theme = TaskbarTheme::Dark) {
    sampleMeter(meter, {value});
    drawSampledPlaced(meter, surface, theme);
}

std::vector<double> newestFirst(const SampleHistory& history) {
    std::vector<double> samples;
    for (std::size_t age = 0; age < history.size(); ++age) {
        samples.push_back(history.fromNewest(age));
    }
    return samples;
}

TEST(SampleHistory, KeepsTheNewestSamplesThroughPushesAndResizes) {
    SampleHistory history;
    history.push(1.0);  // no capacity yet: dropped
    EXPECT_EQ(history.size(), 0U);
    history.resize(3);
    for (double value : {2.0, 3.0, 4.0, 5.0}) {
        history.push(value);
    }
    EXPECT_EQ(newestFirst(history), (std::vector<double>{5.0, 4.0, 3.0}));
    history.resize(2);
    EXPECT_EQ(newestFirst(history), (std::vector<double>{5.0, 4.0}));
    history.resize(4);
    history.push(6.0);
    EXPECT_EQ(newestFirst(history), (std::vector<double>{6.0, 5.0, 4.0}));
    history.push(7.0);
    history.push(8.0);
    EXPECT_EQ(newestFirst(history), (std::vector<double>{8.0, 7.0, 6.0, 5.0}));
    history.resize(0);
    EXPECT_EQ(history.size(), 0U);
}

TEST(GraphMeter, HorizontalBandDrawsOldestAtTheLeftWithJoinedEdges) {
    // Three samples in columns 10 to 12 (the outline's right side on the last column, 13),
    // ten value pixels (rows 1 to 10) above the outline's bottom row 11.
    PlacedMeter meter = graphAt({10, 0, 14, 11}, true, counterInRange(0.0, 100.0));
    RecordingSurface ticks;
    for (double value : {20.0, 100.0, 50.0}) {
        tick(meter, ticks, value);
    }
    RecordingSurface full;
    drawPlaced(meter, full, TaskbarTheme::Dark);
    EXPECT_EQ(full.recorded<FillRectangle>(), (std::vector<FillRectangle>{
                                                  {kRed, 10, 9, 1, 2},
                                                  {kRedEdge, 10, 9, 1, 1},
                                                  {kRed, 11, 1, 1, 10},
                                                  {kRedEdge, 11, 1, 1, 8},  // up from 20's level
                                                  {kRed, 12, 6, 1, 5},
                                                  {kRedEdge, 12, 2, 1, 5},  // down from 100's
                                              }));
    EXPECT_EQ(full.recorded<OutlineRectangle>(),
              (std::vector<OutlineRectangle>{{kBlue, 10, 0, 3, 11}}));
}

TEST(GraphMeter, VerticalBandDrawsNewestAtTheBottomRisingRightward) {
    // Three samples in rows 20 to 22, the outline's bottom side on the last row, 23.
    PlacedMeter meter = graphAt({0, 20, 11, 24}, false, counterInRange(0.0, 100.0), u"line");
    RecordingSurface ticks;
    for (double value : {20.0, 100.0, 50.0}) {
        tick(meter, ticks, value);
    }
    RecordingSurface full;
    drawPlaced(meter, full, TaskbarTheme::Dark);
    // Lines only, in the counter's colour; values run from column 1 to column 10.
    EXPECT_EQ(full.recorded<FillRectangle>(),
              (std::vector<FillRectangle>{
                  {kRed, 2, 20, 1, 1}, {kRed, 3, 21, 8, 1}, {kRed, 5, 22, 5, 1}}));
}

TEST(GraphMeter, TickLeavesAGraphOfAlikeSamplesUntouched) {
    // Four samples, ten value pixels: 50 and 52 both fill 5, 56 fills 6.
    struct Case {
        const char* name;
        std::vector<double> earlier;
        double newest;
        bool neighbourDrew;
        bool draws;
    };
    const Case cases[] = {
        {"alike samples across the graph", {50, 50, 50, 50}, 50, false, false},
        {"values that fill the same pixels", {50, 52, 50, 50}, 52, false, false},
        {"a sample that fills more", {50, 50, 50, 50}, 56, false, true},
        {"an older sample that differs", {56, 50, 50, 50}, 50, false, true},
        {"a history not yet across the graph", {50, 50}, 50, false, true},
        {"a neighbour drew over it", {50, 50, 50, 50}, 50, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlacedMeter meter = graphAt({0, 0, 5, 11}, true, counterInRange(0.0, 100.0));
        RecordingSurface surface;
        for (double value : c.earlier) {
            tick(meter, surface, value);
        }
        surface.log.clear();
        meter.frame.neighbourDrew = c.neighbourDrew;
        sampleMeter(meter, {c.newest});
        EXPECT_EQ(drawSampledPlaced(meter, surface, TaskbarTheme::Dark), c.draws);
        EXPECT_EQ(surface.recorded<ScrollArea>().size(), c.draws ? 1U : 0U);
        EXPECT_EQ(surface.log.empty(), !c.draws);
    }
    // A graph one sample long shows the newest sample alone.
    PlacedMeter single = graphAt({0, 0, 2, 11}, true, counterInRange(0.0, 100.0));
    RecordingSurface surface;
    tick(single, surface, 50);
    sampleMeter(single, {56});
    EXPECT_TRUE(drawSampledPlaced(single, surface, TaskbarTheme::Dark));
}

TEST(GraphMeter, DynamicMaximumFallsWhenTheLargestSampleScrollsOut) {
    PlacedMeter meter = graphAt({0, 0, 4, 11}, true, counterInRange(0.0, 50.0, true), u"line");
    struct Step {
        double value;
        bool shifted;  // the range stayed, so the pixels were shifted
        int lineTop;   // the newest sample's line: from its previous level to its own
        int lineHeight;
    };
    const Step steps[] = {
        {100.0, false, 1, 1},  // first drawing; the maximum rises to 100
        {10.0, true, 2, 9},    // 1 of 10 pixels, joined to 100's level
        {10.0, true, 10, 1},
        {10.0, false, 9, 1},  // 100 scrolled out: back to 50 (2 pixels), all redrawn
        {40.0, true, 3, 6},
    };
    RecordingSurface surface;
    for (const Step& step : steps) {
        surface.log.clear();
        tick(meter, surface, step.value);
        EXPECT_EQ(surface.recorded<ScrollArea>().size(), step.shifted ? 1U : 0U) << step.value;
        EXPECT_EQ(surface.recorded<ClearToTransparent>().size(), step.shifted ? 0U : 1U);
        const auto fills = surface.recorded<FillRectangle>();
        ASSERT_FALSE(fills.empty());
        EXPECT_EQ(fills.back(), (FillRectangle{kRed, 2, step.lineTop, 1, step.lineHeight}))
            << step.value;
    }
    // The maximum sampling keeps is left as configured.
    EXPECT_EQ(meter.samples.counters[0].maxValue, 50.0);
}

TEST(GraphMeter, RelayoutResizesTheHistoryKeepingTheNewestWithoutSampling) {
    PlacedMeter meter = graphAt({0, 0, 6, 11}, true, counterInRange(0.0, 100.0));
    RecordingSurface surface;
    for (double value : {10.0, 20.0, 30.0, 40.0, 50.0}) {
        tick(meter, surface, value);
    }
    meter.placement.rect = Rect{0, 0, 4, 11};
    drawPlaced(meter, surface, TaskbarTheme::Dark);
    drawPlaced(meter, surface, TaskbarTheme::Dark);
    EXPECT_EQ(newestFirst(meter.samples.counters[0].history),
              (std::vector<double>{50.0, 40.0, 30.0}));
    // A new place is drawn in full at the next tick.
    surface.log.clear();
    meter.placement.rect = Rect{4, 0, 8, 11};
    tick(meter, surface, 60.0);
    EXPECT_EQ(surface.recorded<ScrollArea>().size(), 0U);
    EXPECT_EQ(surface.recorded<ClearToTransparent>().size(), 1U);
}

TEST(GraphMeter, ThemeChangeRedrawsEveryAutoColour) {
    MeterCounter counter = counterInRange(0.0, 100.0);
    counter.color = parseColour(u"auto");
    PlacedMeter meter = graphAt({0, 0, 3, 11}, true, counter, u"line");
    meter.color = parseColour(u"auto");
    RecordingSurface surface;
    tick(meter, surface, 50.0, TaskbarTheme::Dark);
    surface.log.clear();
    tick(meter, surface, 50.0, TaskbarTheme::Light);
    EXPECT_EQ(surface.recorded<ScrollArea>().size(), 0U);
    for (const FillRectangle& fill : surface.recorded<FillRectangle>()) {
        EXPECT_EQ(fill.color, 0xFF000000U);
    }
    EXPECT_EQ(surface.recorded<OutlineRectangle>().at(0).color, 0xFF000000U);
}

TEST(ColorConversion, AutoIsWhiteOnADarkTaskbarAndBlackOnALightOne) {
    struct Case {
        const char16_t* text;
        TaskbarTheme theme;
        Argb expected;
    };
    const Case cases[] = {
        {u"auto", TaskbarTheme::Dark, 0xFFFFFFFF},
        {u"auto", TaskbarTheme::Light, 0xFF000000},
        {u"#123456", TaskbarTheme::Light, 0xFF123456},
        // Matched exactly: any other spelling is an ordinary colour text without digits.
        {u"Auto", TaskbarTheme::Light, 0xFFFFFFFF},
        {u"auto ", TaskbarTheme::Light, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseColour(c.text).on(c.theme), c.expected);
    }
}

TEST(GraphConfiguration, StyleDefaultsToAreaAndMustBeAString) {
    const LoadContext context{};
    PanelModel model;
    nlohmann::json document = nlohmann::json::parse(R"({"meterGroups": [{"meters": [
        {"meterType": "graph", "width": 40}, {"meterType": "graph", "style": "line"}]}]})");
    loadModel(document, context, model);
    ASSERT_EQ(model.meters.size(), 2u);
    EXPECT_EQ(model.meters[0].style, GraphStyle::Area);
    EXPECT_EQ(model.meters[1].style, GraphStyle::Line);

    PanelModel failed;
    nlohmann::json wrong =
        nlohmann::json::parse(R"({"meterGroups": [{"meters": [{"style": 1}]}]})");
    EXPECT_THROW(loadModel(wrong, context, failed), nlohmann::json::type_error);
}

constexpr const char* kGraphPanel = R"json({"meterGroups": [{"maxHeight": 11, "meters": [
    {"meterType": "graph", "width": 4, "refreshRate": 1000, "color": "auto",
     "counters": [{"counterPath": "(\\Processor(_Total)\\% Processor Time)", "color": "auto",
                   "minValue": 0, "maxValue": 100}]}]}]})json";

TEST(GraphPanel, OnlyTicksSampleAndRelayoutReadsTheTheme) {
    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory surfaces;
    platform.surfaces = &surfaces;
    platform.window.client = Rect{0, 0, 20, 11};
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {25.0, 75.0});
    MeterPanel panel(platform.services(), std::string(kGraphPanel), BandDirection::Horizontal);
    const SampleHistory& history = testing::samplesOf(panel, 1000).history;
    EXPECT_EQ(newestFirst(history), (std::vector<double>{25.0}));  // the first tick of start

    platform.theme.theme = TaskbarTheme::Light;
    surfaces.last->log.clear();
    panel.relayout(BandDirection::Horizontal);
    EXPECT_EQ(newestFirst(history), (std::vector<double>{25.0}));
    EXPECT_EQ(surfaces.last->recorded<OutlineRectangle>(),
              (std::vector<OutlineRectangle>{{0xFF000000U, 0, 0, 3, 11}}));

    ASSERT_TRUE(platform.timers.fire(1000));
    EXPECT_EQ(newestFirst(history), (std::vector<double>{75.0, 25.0}));
}

// A graph given no width, or one pixel (its outline), has no room for a sample: it keeps
// ticking, keeps no history and draws its outline alone.
TEST(GraphPanel, GraphWithoutRoomForASampleKeepsTicking) {
    for (const char* width : {"", R"("width": 1,)"}) {
        SCOPED_TRACE(width);
        testing::FakePlatform platform;
        testing::RecordingSurfaceFactory surfaces;
        platform.surfaces = &surfaces;
        platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {10, 20, 30});
        MeterPanel panel(
            platform.services(),
            std::string(R"json({"meterGroups": [{"meters": [{"meterType": "graph", )json") + width +
                R"json( "refreshRate": 1000, "counters": [{"counterPath":
                         "(\\Processor(_Total)\\% Processor Time)"}]}]}]})json",
            BandDirection::Horizontal);
        for (int tick = 0; tick < 3; ++tick) {
            surfaces.last->log.clear();
            ASSERT_TRUE(platform.timers.fire(1000));
            EXPECT_TRUE(surfaces.last->recorded<ScrollArea>().empty());
            EXPECT_EQ(surfaces.last->recorded<OutlineRectangle>().size(), 1U);
        }
        EXPECT_EQ(testing::samplesOf(panel, 1000).history.size(), 0U);
    }
}

}  // namespace
}  // namespace tavisto
