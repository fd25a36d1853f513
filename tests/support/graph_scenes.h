#pragma once
// Graph scenes checked pixel by pixel on every drawing surface (Cairo natively, GDI+
// under Wine). A surface here is a MemorySurface with pixel(x, y) giving 0xAARRGGBB.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/meter_model.h"
#include "platform/drawing.h"
#include "render/frame.h"
#include "support/placed_meter.h"

namespace tavisto::testing {

inline constexpr Argb kGraphRed = 0xFFFF0000;

// Opaque red, or the brighter red of an area's edge.
inline bool paintedRed(std::uint32_t pixel) {
    return (pixel & 0xFFFF0000U) == 0xFFFF0000U;
}

// A graph of one counter per colour, each in the range 0 to 100, laid out in the
// horizontal band (time along x) or the vertical one (time along y).
inline PlacedMeter graphForPixels(Rect rect, bool horizontalBand, std::u16string style,
                                  std::vector<std::u16string> colors) {
    PlacedMeter meter;
    meter.meterType = closedSetValue<MeterType>(u"graph", kMeterTypes);
    meter.style = closedSetValue<GraphStyle>(style, kGraphStyles);
    meter.color = parseColour(u"#0000FF");
    meter.placement.rect = rect;
    meter.placement.sideBySide = horizontalBand;
    for (std::u16string& color : colors) {
        MeterCounter counter;
        counter.color = parseColour(color);
        counter.minValue = 0.0;
        counter.maxValue = 100.0;
        counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
        meter.counters.push_back(std::move(counter));
    }
    return meter;
}

// One tick: every counter's sample becomes `value`, and the meter is drawn as a tick
// draws it.
inline void tickGraph(PlacedMeter& meter, platform::MemorySurface& surface, double value,
                      platform::TaskbarTheme theme = platform::TaskbarTheme::Dark) {
    sampleMeter(meter, std::vector<double>(meter.counters.size(), value));
    drawSampledPlaced(meter, surface, theme);
}

// Uneven samples, counter by counter different, so that lines rise and fall by
// several pixels between neighbours.
inline void tickWave(PlacedMeter& meter, platform::MemorySurface& surface, int ticks) {
    for (int step = 0; step < ticks; ++step) {
        std::vector<double> values;
        double offset = 0.0;
        for (std::size_t index = 0; index < meter.counters.size(); ++index) {
            values.push_back(50.0 + 45.0 * std::sin(0.7 * step + offset));
            offset += 1.9;
        }
        sampleMeter(meter, values);
        drawSampledPlaced(meter, surface, platform::TaskbarTheme::Dark);
    }
}

// The pixels of the area [left, right] x [top, bottom], outline included, row by row.
template <typename Surface>
std::vector<std::uint32_t> pixelsOf(const Surface& surface, const Rect& area) {
    std::vector<std::uint32_t> pixels;
    for (int y = area.top; y <= area.bottom; ++y) {
        for (int x = area.left; x <= area.right; ++x) {
            pixels.push_back(surface.pixel(x, y));
        }
    }
    return pixels;
}

// The newest sample is at the right (horizontal band) or at the bottom (vertical band),
// just inside the outline's far side, and a tick moves the older ones away from that end.
template <typename Surface>
void expectNewestSampleAtTheFarEnd(Surface& surface) {
    struct Case {
        bool horizontalBand;
        Rect rect;
        int x, y;    // a pixel inside the newest sample's area
        int dx, dy;  // one sample older; the other way, the outline's far side
    };
    const Case cases[] = {
        {true, {2, 2, 12, 22}, 10, 12, -1, 0},
        {false, {2, 2, 22, 12}, 12, 10, 0, -1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        PlacedMeter meter = graphForPixels(c.rect, c.horizontalBand, u"area", {u"#FF0000"});
        for (int tick = 0; tick < 8; ++tick) {
            tickGraph(meter, surface, 0.0);
        }
        tickGraph(meter, surface, 100.0);
        // The rise from 0 is the brighter edge, joined to the level before.
        EXPECT_TRUE(paintedRed(surface.pixel(c.x, c.y)));
        EXPECT_EQ(surface.pixel(c.x + c.dx, c.y + c.dy), 0U);
        tickGraph(meter, surface, 100.0);
        EXPECT_EQ(surface.pixel(c.x, c.y), kGraphRed);
        EXPECT_TRUE(paintedRed(surface.pixel(c.x + c.dx, c.y + c.dy)));
        EXPECT_EQ(surface.pixel(c.x + 2 * c.dx, c.y + 2 * c.dy), 0U);
        EXPECT_EQ(surface.pixel(c.x - c.dx, c.y - c.dy), 0xFF0000FFU);
    }
}

// After ticks that shifted the pixels, drawing the whole graph again changes nothing.
template <typename Surface>
void expectShiftedPixelsAsDrawnInFull(Surface& surface) {
    struct Case {
        bool horizontalBand;
        const char16_t* style;
        Rect rect;
    };
    const Case cases[] = {
        {true, u"area", {3, 2, 13, 22}},
        {true, u"line", {3, 2, 13, 22}},
        {false, u"area", {2, 3, 22, 13}},
        {false, u"line", {2, 3, 22, 13}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        PlacedMeter meter =
            graphForPixels(c.rect, c.horizontalBand, c.style, {u"#FF0000", u"#00FF00"});
        // More ticks than the graph is long, so that samples also scroll out.
        tickWave(meter, surface, 23);
        const auto shifted = pixelsOf(surface, c.rect);
        drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
        EXPECT_EQ(shifted, pixelsOf(surface, c.rect));
    }
}

// "auto" is white on a dark taskbar and black on a light one.
template <typename Surface>
void expectAutoColoursFollowTheTheme(Surface& surface) {
    const std::pair<platform::TaskbarTheme, Argb> themes[] = {
        {platform::TaskbarTheme::Dark, 0xFFFFFFFF}, {platform::TaskbarTheme::Light, 0xFF000000}};
    for (const auto& [theme, expected] : themes) {
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        PlacedMeter meter = graphForPixels({2, 2, 12, 22}, true, u"area", {u"auto"});
        meter.color = parseColour(u"auto");
        tickGraph(meter, surface, 100.0, theme);
        EXPECT_EQ(surface.pixel(10, 12), expected);  // the area
        EXPECT_EQ(surface.pixel(2, 12), expected);   // the outline
        EXPECT_EQ(surface.pixel(20, 12), 0U);
    }
}

}  // namespace tavisto::testing
