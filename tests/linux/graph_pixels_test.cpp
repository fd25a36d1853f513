// Graph meters and "auto" colours drawn by the Cairo surface, checked pixel by pixel.

#include <gtest/gtest.h>

#include "platform/linux/cairo_surface.h"
#include "support/graph_scenes.h"

namespace tavisto {
namespace {

using platform::CairoSurface;
using platform::TaskbarTheme;
using testing::graphForPixels;
using testing::kGraphRed;
using testing::paintedRed;
using testing::pixelsOf;
using testing::tickGraph;

TEST(CairoGraph, NewestSampleIsAtTheRightOrAtTheBottomAndOlderOnesMoveAway) {
    struct Case {
        bool horizontalBand;
        Rect rect;
        int x, y;    // a pixel inside the newest sample's area
        int dx, dy;  // one sample older
    };
    const Case cases[] = {
        {true, {2, 2, 12, 22}, 11, 12, -1, 0},
        {false, {2, 2, 22, 12}, 12, 11, 0, -1},
    };
    for (const Case& c : cases) {
        CairoSurface surface;
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        Meter meter = graphForPixels(c.rect, c.horizontalBand, u"area", {u"#FF0000"});
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
    }
}

TEST(CairoGraph, ShiftedPixelsAreWhatAFullDrawingGives) {
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
        CairoSurface surface;
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        Meter meter = graphForPixels(c.rect, c.horizontalBand, c.style, {u"#FF0000", u"#00FF00"});
        // More ticks than the graph is long, so that samples also scroll out.
        testing::tickWave(meter, surface, 23);
        const auto shifted = pixelsOf(surface, c.rect);
        drawMeter(meter, surface, TaskbarTheme::Dark);
        EXPECT_EQ(shifted, pixelsOf(surface, c.rect));
    }
}

TEST(CairoGraph, AutoColoursAreWhiteOnADarkTaskbarAndBlackOnALightOne) {
    const std::pair<TaskbarTheme, Argb> themes[] = {{TaskbarTheme::Dark, 0xFFFFFFFF},
                                                    {TaskbarTheme::Light, 0xFF000000}};
    for (const auto& [theme, expected] : themes) {
        CairoSurface surface;
        ASSERT_TRUE(surface.replaceBackBuffer(30, 30));
        Meter meter = graphForPixels({2, 2, 12, 22}, true, u"area", {u"auto"});
        meter.color = u"auto";
        tickGraph(meter, surface, 100.0, theme);
        EXPECT_EQ(surface.pixel(11, 12), expected);  // the area
        EXPECT_EQ(surface.pixel(2, 12), expected);   // the outline
        EXPECT_EQ(surface.pixel(20, 12), 0U);
    }
}

}  // namespace
}  // namespace tavisto
