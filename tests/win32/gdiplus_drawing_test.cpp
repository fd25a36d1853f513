// Meters drawn through the GDI+ surface into its 32-bit DIB, checked pixel by pixel.
// Checks keep two pixels away from shape edges, where anti-aliasing blends.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/configuration_loader.h"
#include "core/text_conversion.h"
#include "platform/win32/gdiplus_surface.h"
#include "render/frame.h"
#include "support/placed_meter.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using tavisto::testing::drawPlaced;
using tavisto::testing::PlacedMeter;
using tavisto::testing::SampledCounter;
using tavisto::testing::setCounters;

constexpr std::uint32_t kTransparent = 0x00000000;
constexpr std::uint32_t kOpaqueRed = 0xFFFF0000;
constexpr std::uint32_t kOpaqueGreen = 0xFF00FF00;

std::uint32_t alphaOf(std::uint32_t pixel) {
    return pixel >> 24;
}

// A counter parsed from its configuration, whose references all hold `value`.
SampledCounter counterFrom(const char* json, double value) {
    return SampledCounter{{parseCounter(nlohmann::json::parse(json))}, value};
}

PlacedMeter meterOf(const char* type, Rect rect, std::int32_t width,
                    const std::vector<SampledCounter>& counters) {
    PlacedMeter meter;
    meter.meterType = closedSetValue<MeterType>(
        std::u16string(type, type + std::char_traits<char>::length(type)), kMeterTypes);
    meter.placement.rect = rect;
    meter.width = width;
    meter.color = parseColour(u"#0000FF");
    setCounters(meter, counters);
    return meter;
}

class GdiplusDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window);
        auto created = GdiplusSurfaceFactory(window.get()).createMemorySurface();
        surface.reset(dynamic_cast<GdiplusMemorySurface*>(created.release()));
        ASSERT_NE(surface, nullptr);
        ASSERT_TRUE(surface->replaceBackBuffer(100, 40));
    }

    // Pixels of the rectangle [left, right) × [top, bottom) that are not transparent.
    int paintedIn(int left, int top, int right, int bottom) const {
        int painted = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                painted += alphaOf(surface->pixel(x, y)) != 0 ? 1 : 0;
            }
        }
        return painted;
    }

    Window window = testing::createTestWindow(100, 40);
    std::unique_ptr<GdiplusMemorySurface> surface;
};

TEST_F(GdiplusDrawing, NewBackBufferIsTransparentAndReplacementFollowsTheSize) {
    EXPECT_EQ(paintedIn(0, 0, 100, 40), 0);
    EXPECT_FALSE(surface->replaceBackBuffer(0, 40));
    EXPECT_EQ(surface->width(), 100);  // the previous buffer stays
    ASSERT_TRUE(surface->replaceBackBuffer(30, 20));
    EXPECT_EQ(surface->width(), 30);
    EXPECT_EQ(surface->height(), 20);
}

TEST_F(GdiplusDrawing, ColumnFillsUpwardFromTheBottomInsideItsOutline) {
    // Range 0 to 100, value 50, bar length 28: a 14-pixel column from the bottom (35).
    PlacedMeter column = meterOf("column", {10, 5, 22, 35}, 12,
                                 {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                                            "minValue": 0, "maxValue": 100})json",
                                              50.0)});
    column.placement.barLength = 28.0;
    drawPlaced(column, *surface, platform::TaskbarTheme::Dark);

    EXPECT_EQ(surface->pixel(15, 24), kOpaqueRed);
    EXPECT_EQ(surface->pixel(15, 32), kOpaqueRed);
    EXPECT_EQ(surface->pixel(15, 18), kTransparent);  // above the column, inside the outline
    EXPECT_EQ(surface->pixel(15, 8), kTransparent);
    // The outline is blue on the meter's left edge and nothing is drawn beyond it.
    EXPECT_EQ(surface->pixel(10, 15) & 0xFF0000FF, 0xFF0000FF);
    EXPECT_EQ(paintedIn(0, 0, 8, 40), 0);
    EXPECT_EQ(paintedIn(25, 0, 100, 40), 0);
    EXPECT_EQ(paintedIn(0, 0, 100, 3), 0);
    EXPECT_EQ(paintedIn(0, 38, 100, 40), 0);
}

TEST_F(GdiplusDrawing, StackedCountersOfABarContinueRightward) {
    // Bar variant: values 30 and 40 of 100 over a bar length of 50 give 15 and 20 pixels.
    PlacedMeter bar = meterOf("column", {0, 10, 60, 22}, 12,
                              {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                                         "minValue": 0, "maxValue": 100})json",
                                           30.0),
                               counterFrom(R"json({"counterPath": "(\\T\\b)", "color": "#00FF00",
                                         "minValue": 0, "maxValue": 100})json",
                                           40.0)});
    bar.placement.barLength = 50.0;
    bar.placement.drawsColumns = false;
    bar.placement.sideBySide = false;
    drawPlaced(bar, *surface, platform::TaskbarTheme::Dark);

    EXPECT_EQ(surface->pixel(7, 16), kOpaqueRed);
    EXPECT_EQ(surface->pixel(25, 16), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(45, 16), kTransparent);
    EXPECT_EQ(paintedIn(63, 0, 100, 40), 0);
}

TEST_F(GdiplusDrawing, PieSectorsRunClockwiseFromTwelveOClock) {
    // 25 of 100 sweeps the upper right quarter, 50 of 100 then the lower half.
    const PlacedMeter pie =
        meterOf("pie", {0, 0, 28, 28}, 28,
                {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                         "minValue": 0, "maxValue": 100})json",
                             25.0),
                 counterFrom(R"json({"counterPath": "(\\T\\b)", "color": "#00FF00",
                         "minValue": 0, "maxValue": 100})json",
                             50.0)});
    PlacedMeter drawn = pie;
    drawPlaced(drawn, *surface, platform::TaskbarTheme::Dark);

    EXPECT_EQ(surface->pixel(19, 8), kOpaqueRed);
    EXPECT_EQ(surface->pixel(14, 21), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(8, 21), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(8, 8), kTransparent);  // the empty upper left quarter
    EXPECT_EQ(surface->pixel(1, 1), kTransparent);  // the corner outside the circle
    EXPECT_EQ(paintedIn(31, 0, 100, 40), 0);
    EXPECT_EQ(paintedIn(0, 31, 100, 40), 0);
}

TEST_F(GdiplusDrawing, TextIsRightAlignedInItsSlice) {
    PlacedMeter text =
        meterOf("text", {0, 0, 90, 40}, 90,
                {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                                          "units": "percent", "minValue": 0, "maxValue": 100,
                                          "fontSize": 14})json",
                             100.0),
                 counterFrom(R"json({"counterPath": "(\\T\\b)", "units": "none"})json", 5.0)});
    drawPlaced(text, *surface, platform::TaskbarTheme::Dark);

    // "100%" at the right end of the upper slice; the lower counter shows nothing.
    EXPECT_GT(paintedIn(60, 0, 90, 20), 20);
    EXPECT_EQ(paintedIn(0, 0, 40, 40), 0);
    EXPECT_EQ(paintedIn(0, 20, 100, 40), 0);
    EXPECT_EQ(paintedIn(91, 0, 100, 40), 0);
    // The most opaque pixel of the text is pure red.
    std::uint32_t strongest = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 60; x < 90; ++x) {
            if (alphaOf(surface->pixel(x, y)) > alphaOf(strongest)) {
                strongest = surface->pixel(x, y);
            }
        }
    }
    EXPECT_EQ(strongest, kOpaqueRed);
}

TEST_F(GdiplusDrawing, TextDrawsWithTheLegacyQualityAndWithAnyFontName) {
    // An unknown family falls back to the generic sans-serif one.
    PlacedMeter text = meterOf("text", {0, 0, 90, 40}, 90,
                               {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                                          "units": "bytes/second", "font": "No Such Family",
                                          "fontSize": 14})json",
                                            1500.0)});
    drawPlaced(text, *surface, platform::TaskbarTheme::Dark);

    EXPECT_GT(paintedIn(45, 0, 90, 40), 20);  // "2 KB/s"
    EXPECT_EQ(paintedIn(0, 0, 20, 40), 0);
}

TEST_F(GdiplusDrawing, IndicatorShowsItsTextCentredOnlyWhileTheTriggerHolds) {
    const char* busy = R"json({"counterPath": "(\\T\\a)", "color": "#FF0000", "indicator": "BUSY",
                           "trigger": "> 50", "fontSize": 14})json";
    PlacedMeter quiet = meterOf("indicator", {0, 0, 90, 40}, 90, {counterFrom(busy, 20.0)});
    drawPlaced(quiet, *surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(paintedIn(0, 0, 100, 40), 0);

    PlacedMeter loud = meterOf("indicator", {0, 0, 90, 40}, 90, {counterFrom(busy, 80.0)});
    drawPlaced(loud, *surface, platform::TaskbarTheme::Dark);
    EXPECT_GT(paintedIn(30, 10, 60, 30), 20);
    EXPECT_EQ(paintedIn(0, 0, 20, 40), 0);
    EXPECT_EQ(paintedIn(70, 0, 100, 40), 0);
}

TEST_F(GdiplusDrawing, ClearingCoversTheRightColumnAndBottomRowOfTheRectangle) {
    PlacedMeter background =
        meterOf("column", {0, 0, 60, 40}, 60,
                {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#FF0000",
                                                "minValue": 0, "maxValue": 1})json",
                             1.0)});
    background.placement.barLength = 40.0;
    drawPlaced(background, *surface, platform::TaskbarTheme::Dark);
    ASSERT_EQ(surface->pixel(30, 25), kOpaqueRed);

    // A meter type that matches nothing leaves its cleared rectangle transparent.
    PlacedMeter unknown = meterOf("Column", {10, 10, 20, 20}, 10, {});
    drawPlaced(unknown, *surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(paintedIn(10, 10, 21, 21), 0);
    EXPECT_EQ(surface->pixel(21, 15), kOpaqueRed);
    EXPECT_EQ(surface->pixel(15, 21), kOpaqueRed);
    EXPECT_EQ(surface->pixel(9, 15), kOpaqueRed);
    EXPECT_EQ(surface->pixel(15, 9), kOpaqueRed);
}

// The checks of the Cairo surface's tests, on the same meters, where GDI+ agrees.
TEST_F(GdiplusDrawing, SameFullColumnAsOnCairo) {
    PlacedMeter column = meterOf("column", {5, 5, 15, 35}, 10,
                                 {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#00FF00",
                                                "minValue": 0, "maxValue": 100})json",
                                              100.0)});
    column.placement.barLength = 28.0;
    drawPlaced(column, *surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface->pixel(10, 7), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(14, 34), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(10, 20), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(10, 6), kTransparent);
    EXPECT_EQ(surface->pixel(5, 20), 0xFF0000FFu);
    EXPECT_EQ(surface->pixel(15, 20), 0xFF0000FFu);
    EXPECT_EQ(surface->pixel(10, 5), 0xFF0000FFu);
    EXPECT_EQ(surface->pixel(10, 35), 0xFF0000FFu);
    EXPECT_EQ(paintedIn(0, 0, 5, 40), 0);
    EXPECT_EQ(paintedIn(16, 0, 100, 40), 0);
    EXPECT_EQ(paintedIn(0, 36, 100, 40), 0);
}

TEST_F(GdiplusDrawing, SameHalfPieAsOnCairo) {
    PlacedMeter pie = meterOf("pie", {0, 0, 30, 30}, 30,
                              {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#00FF00",
                                             "minValue": 0, "maxValue": 100})json",
                                           50.0)});
    drawPlaced(pie, *surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface->pixel(22, 15), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(16, 4), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(16, 26), kOpaqueGreen);
    EXPECT_EQ(surface->pixel(8, 15), kTransparent);
    EXPECT_EQ(surface->pixel(13, 4), kTransparent);
    EXPECT_GT(alphaOf(surface->pixel(15, 0)), 0x80U);
    EXPECT_EQ(surface->pixel(1, 1), kTransparent);
    EXPECT_EQ(paintedIn(32, 0, 100, 40), 0);
    EXPECT_EQ(paintedIn(0, 32, 100, 40), 0);
}

TEST_F(GdiplusDrawing, SameTextLineAsOnCairo) {
    PlacedMeter text = meterOf("text", {10, 5, 90, 29}, 80,
                               {counterFrom(R"json({"counterPath": "(\\T\\a)", "color": "#00FF00",
                                              "units": "percent", "minValue": 0,
                                              "maxValue": 100, "fontSize": 14})json",
                                            42.0)});
    drawPlaced(text, *surface, platform::TaskbarTheme::Dark);
    EXPECT_GT(paintedIn(65, 5, 90, 29), 0);
    EXPECT_EQ(paintedIn(0, 0, 50, 40), 0);
    EXPECT_EQ(paintedIn(90, 0, 100, 40), 0);
    EXPECT_EQ(paintedIn(0, 0, 100, 8), 0);
    EXPECT_EQ(paintedIn(0, 27, 100, 40), 0);
}

TEST_F(GdiplusDrawing, SamePremultipliedPixelsAsOnCairo) {
    auto canvas = surface->beginDrawing();
    ASSERT_NE(canvas, nullptr);
    canvas->fillRectangle(0x80FF0000, 50, 0, 4, 4);
    canvas.reset();
    EXPECT_EQ(surface->pixel(51, 1), 0x80800000u);
}

TEST_F(GdiplusDrawing, EmptyShapesLeaveThePixelsAlone) {
    auto canvas = surface->beginDrawing();
    ASSERT_NE(canvas, nullptr);
    canvas->fillRectangle(kOpaqueGreen, 2, 8, 5, -4);
    canvas->fillRectangle(kOpaqueGreen, 2, 2, 0, 5);
    canvas->fillPie(kOpaqueGreen, 0, 0, 10, 10, -90.0F, 0.0F);
    canvas.reset();
    EXPECT_EQ(paintedIn(0, 0, 100, 40), 0);
}

std::vector<std::uint32_t> pixelsOf(const GdiplusMemorySurface& surface) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            pixels.push_back(surface.pixel(x, y));
        }
    }
    return pixels;
}

TEST_F(GdiplusDrawing, RedrawingWithKeptFontsGivesTheSamePixels) {
    PlacedMeter text = meterOf("text", {0, 0, 99, 39}, 100,
                               {counterFrom(R"json({"counterPath": "(\\T\\a)", "units": "percent",
                                              "minValue": 0, "maxValue": 100,
                                              "fontSize": 10})json",
                                            42.0),
                                counterFrom(R"json({"counterPath": "(\\T\\a)", "units": "percent",
                                              "minValue": 0, "maxValue": 100,
                                              "fontSize": 18})json",
                                            42.0)});
    drawPlaced(text, *surface, platform::TaskbarTheme::Dark);
    const std::vector<std::uint32_t> first = pixelsOf(*surface);
    ASSERT_GT(paintedIn(0, 0, 100, 40), 0);
    drawPlaced(text, *surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface->resolvedFontCount(), 2U);
    EXPECT_EQ(pixelsOf(*surface), first);
}

TEST_F(GdiplusDrawing, ReplacingTheBackBufferDropsTheFontsNotDrawnWithSinceTheLastOne) {
    const auto kept = surface->beginDrawing()->createFont(u"Arial", 12.0F);
    ASSERT_NE(kept, nullptr);
    surface->beginDrawing()->createFont(u"Arial", 20.0F);
    surface->beginDrawing()->createFont(u"Arial", 20.0F);
    EXPECT_EQ(surface->resolvedFontCount(), 2U);
    ASSERT_TRUE(surface->replaceBackBuffer(100, 40));
    EXPECT_EQ(surface->resolvedFontCount(), 2U);
    surface->beginDrawing()->createFont(u"Arial", 20.0F);
    EXPECT_FALSE(surface->replaceBackBuffer(0, 40));
    EXPECT_EQ(surface->resolvedFontCount(), 1U);
    ASSERT_TRUE(surface->replaceBackBuffer(100, 40));
    EXPECT_EQ(surface->resolvedFontCount(), 0U);
    // The font handed out before still draws.
    surface->beginDrawing()->drawString(u"ok", *kept, kOpaqueGreen, RectF{0, 0, 100, 40},
                                        platform::TextAlignment::Near,
                                        platform::TextAlignment::Near);
    EXPECT_GT(paintedIn(0, 0, 50, 40), 0);
}

// Single lines on a fresh back buffer in one 14-pixel font.
class GdiplusLines : public GdiplusDrawing {
  protected:
    void drawOneLine(std::u16string_view text, const RectF& layout,
                     platform::TextAlignment alignment) {
        ASSERT_TRUE(surface->replaceBackBuffer(100, 40));
        const auto canvas = surface->beginDrawing();
        ASSERT_NE(canvas, nullptr);
        const auto font = canvas->createFont(u"Arial", 14.0F);
        ASSERT_NE(font, nullptr);
        canvas->drawLine(text, *font, kOpaqueGreen, layout, alignment);
    }

    float measured(std::u16string_view text) {
        const auto canvas = surface->beginDrawing();
        const auto font = canvas->createFont(u"Arial", 14.0F);
        return font != nullptr ? canvas->measureString(text, *font) : -1.0F;
    }
};

TEST_F(GdiplusLines, LongLineStaysInsideItsLayout) {
    using platform::TextAlignment;
    const struct {
        Rect layout;
        TextAlignment alignment;
    } cases[] = {
        {{0, 0, 40, 40}, TextAlignment::Near},
        {{30, 10, 80, 30}, TextAlignment::Far},
        {{20, 5, 80, 35}, TextAlignment::Center},
    };
    for (const auto& [layout, alignment] : cases) {
        SCOPED_TRACE(layout.left);
        drawOneLine(u"SearchProtocolHost background indexer",
                    RectF{static_cast<float>(layout.left), static_cast<float>(layout.top),
                          static_cast<float>(layout.width()), static_cast<float>(layout.height())},
                    alignment);
        const int inside = paintedIn(layout.left, layout.top, layout.right, layout.bottom);
        EXPECT_GT(inside, 20);
        EXPECT_EQ(paintedIn(0, 0, 100, 40), inside);
    }
}

// The width measureString gives is room enough: the line is not cut in it.
TEST_F(GdiplusLines, LineInItsMeasuredWidthIsDrawnWhole) {
    for (const std::u16string_view text : {u"CPU 42%", u"12.5 MB/s", u"explorer"}) {
        SCOPED_TRACE(utf16ToUtf8(text));
        const float width = measured(text);
        ASSERT_GT(width, 0.0F);
        ASSERT_LT(width, 90.0F);
        drawOneLine(text, RectF{2, 5, 95, 30}, platform::TextAlignment::Near);
        const std::vector<std::uint32_t> whole = pixelsOf(*surface);
        EXPECT_GT(paintedIn(0, 0, 100, 40), 20);
        drawOneLine(text, RectF{2, 5, width, 30}, platform::TextAlignment::Near);
        EXPECT_EQ(pixelsOf(*surface), whole);
    }
}

}  // namespace
}  // namespace tavisto::win32
