#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text_conversion.h"
#include "platform/linux/cairo_surface.h"
#include "render/frame.h"
#include "support/placed_meter.h"

namespace tavisto {
namespace {

using testing::drawPlaced;
using testing::PlacedMeter;
using testing::SampledCounter;
using testing::setCounters;

using platform::CairoSurface;

constexpr Argb kGreen = 0xFF00FF00;
constexpr Argb kBlue = 0xFF0000FF;

std::uint32_t alphaOf(Argb pixel) {
    return pixel >> 24;
}

SampledCounter counterAt(double value, std::u16string units = u"") {
    SampledCounter counter;
    counter.color = parseColour(u"#00FF00");
    counter.units = closedSetValue<CounterUnits>(units, kCounterUnits);
    counter.minValue = 0.0;
    counter.maxValue = 100.0;
    counter.font = u"Arial";
    counter.fontSize = 14;
    counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
    counter.sample = value;
    return counter;
}

PlacedMeter meterAt(std::u16string type, Rect rect, std::int32_t width,
                    const SampledCounter& counter) {
    PlacedMeter meter;
    meter.meterType = closedSetValue<MeterType>(type, kMeterTypes);
    meter.placement.rect = rect;
    meter.width = width;
    meter.placement.barLength = rect.height() - 2.0;
    meter.color = parseColour(u"#0000FF");
    setCounters(meter, {counter});
    return meter;
}

// Whether any pixel of the area [left, right) x [top, bottom) has some alpha.
bool anyInk(const CairoSurface& surface, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (alphaOf(surface.pixel(x, y)) != 0) {
                return true;
            }
        }
    }
    return false;
}

TEST(CairoSurface, BackBufferStartsTransparentAndKeepsItsSizeOnEmptyRequests) {
    CairoSurface surface;
    EXPECT_EQ(surface.beginDrawing(), nullptr);
    ASSERT_TRUE(surface.replaceBackBuffer(12, 8));
    EXPECT_FALSE(surface.replaceBackBuffer(0, 8));
    EXPECT_FALSE(surface.replaceBackBuffer(12, -1));
    EXPECT_EQ(surface.width(), 12);
    EXPECT_EQ(surface.height(), 8);
    EXPECT_FALSE(anyInk(surface, 0, 0, 12, 8));
}

TEST(CairoSurface, FullColumnFillsItsPixelsAndTheOutlineRunsThroughRightAndBottom) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(24, 40));
    PlacedMeter meter = meterAt(u"column", Rect{5, 5, 15, 35}, 10, counterAt(100.0));
    drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
    // A full bar is 28 high: rows 7 to 34, columns 5 to 14.
    EXPECT_EQ(surface.pixel(10, 7), kGreen);
    EXPECT_EQ(surface.pixel(14, 34), kGreen);
    EXPECT_EQ(surface.pixel(10, 20), kGreen);
    // Between the top of the bar and the outline.
    EXPECT_EQ(surface.pixel(10, 6), 0U);
    // The outline covers columns 5 and 15 and rows 5 and 35.
    EXPECT_EQ(surface.pixel(5, 20), kBlue);
    EXPECT_EQ(surface.pixel(15, 20), kBlue);
    EXPECT_EQ(surface.pixel(10, 5), kBlue);
    EXPECT_EQ(surface.pixel(10, 35), kBlue);
    EXPECT_FALSE(anyInk(surface, 0, 0, 5, 40));
    EXPECT_FALSE(anyInk(surface, 16, 0, 24, 40));
    EXPECT_FALSE(anyInk(surface, 0, 36, 24, 40));
}

TEST(CairoSurface, HalfPieFillsTheRightHalfOfTheCircle) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(40, 40));
    PlacedMeter meter = meterAt(u"pie", Rect{0, 0, 30, 30}, 30, counterAt(50.0));
    drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface.pixel(22, 15), kGreen);
    EXPECT_EQ(surface.pixel(16, 4), kGreen);
    EXPECT_EQ(surface.pixel(16, 26), kGreen);
    EXPECT_EQ(surface.pixel(8, 15), 0U);
    EXPECT_EQ(surface.pixel(13, 4), 0U);
    // The circular outline passes through the top of the box, not through its corners.
    EXPECT_GT(alphaOf(surface.pixel(15, 0)), 0x80U);
    EXPECT_EQ(surface.pixel(1, 1), 0U);
    EXPECT_FALSE(anyInk(surface, 32, 0, 40, 40));
    EXPECT_FALSE(anyInk(surface, 0, 32, 40, 40));
}

TEST(CairoSurface, TextLineIsRightAlignedAndCentredInItsSlice) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(120, 40));
    PlacedMeter meter = meterAt(u"text", Rect{10, 5, 90, 29}, 80, counterAt(42.0, u"percent"));
    drawPlaced(meter, surface, platform::TaskbarTheme::Dark);
    // "42%" at 14 pixels is far narrower than 80: ink only near the right edge.
    EXPECT_TRUE(anyInk(surface, 65, 5, 90, 29));
    EXPECT_FALSE(anyInk(surface, 0, 0, 50, 40));
    EXPECT_FALSE(anyInk(surface, 90, 0, 120, 40));
    // Centred vertically: clear of the slice's top and bottom rows.
    EXPECT_FALSE(anyInk(surface, 0, 0, 120, 8));
    EXPECT_FALSE(anyInk(surface, 0, 27, 120, 40));
}

TEST(CairoSurface, TextIsClippedToItsLayoutRectangle) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(60, 40));
    auto canvas = surface.beginDrawing();
    ASSERT_NE(canvas, nullptr);
    auto font = canvas->createFont(u"Arial", 30.0F);
    ASSERT_NE(font, nullptr);
    // One glyph wider and taller than the rectangle.
    canvas->drawString(u"W", *font, kGreen, RectF{10, 10, 20, 10}, platform::TextAlignment::Near,
                       platform::TextAlignment::Near);
    canvas.reset();
    EXPECT_TRUE(anyInk(surface, 10, 10, 30, 20));
    EXPECT_FALSE(anyInk(surface, 0, 0, 60, 10));
    EXPECT_FALSE(anyInk(surface, 0, 20, 60, 40));
    EXPECT_FALSE(anyInk(surface, 30, 0, 60, 40));
}

TEST(CairoSurface, UnknownFontFamilyFallsBackToSansSerif) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(60, 20));
    auto canvas = surface.beginDrawing();
    auto font = canvas->createFont(u"No Such Family Anywhere", 12.0F);
    ASSERT_NE(font, nullptr);
    canvas->drawString(u"ok", *font, kGreen, RectF{0, 0, 60, 20}, platform::TextAlignment::Near,
                       platform::TextAlignment::Near);
    EXPECT_EQ(canvas->createFont(u"Arial", 0.0F), nullptr);
    canvas.reset();
    EXPECT_TRUE(anyInk(surface, 0, 0, 30, 20));
}

TEST(CairoSurface, ClearReachesTheRightColumnAndBottomRowOnly) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    auto canvas = surface.beginDrawing();
    canvas->fillRectangle(kGreen, 0, 0, 10, 10);
    canvas->clearToTransparent(InclusiveRect{2, 2, 5, 6});
    canvas.reset();
    EXPECT_EQ(surface.pixel(2, 2), 0U);
    EXPECT_EQ(surface.pixel(5, 6), 0U);
    EXPECT_EQ(surface.pixel(6, 6), kGreen);
    EXPECT_EQ(surface.pixel(5, 7), kGreen);
    EXPECT_EQ(surface.pixel(1, 2), kGreen);
}

TEST(CairoSurface, EmptyAndOversizedShapesLeaveThePixelsAlone) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    auto canvas = surface.beginDrawing();
    canvas->fillRectangle(kGreen, 2, 8, 5, -4);
    canvas->fillRectangle(kGreen, 2, 2, 0, 5);
    canvas->fillPie(kGreen, 0, 0, 10, 10, -90.0F, 0.0F);
    canvas->fillRectangle(kGreen, 0, -2147483617, 10, 2147483647);
    canvas.reset();
    EXPECT_FALSE(anyInk(surface, 0, 0, 10, 10));
}

TEST(CairoSurface, PixelsArePremultiplied) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(4, 4));
    surface.beginDrawing()->fillRectangle(0x80FF0000, 0, 0, 4, 4);
    const Argb pixel = surface.pixel(1, 1);
    EXPECT_EQ(alphaOf(pixel), 0x80U);
    EXPECT_EQ((pixel >> 16) & 0xFFU, 0x80U);
    EXPECT_EQ(pixel & 0xFFFFU, 0U);
}

TEST(CairoSurface, CompositeLaysTheFrameOverTheBackgroundAndWritesPng) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(6, 4));
    surface.beginDrawing()->fillRectangle(0x80FFFFFF, 0, 0, 3, 4);
    const auto image = surface.composite(0xFF000000);
    ASSERT_NE(image, nullptr);
    const auto* pixels =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(image.get()));
    EXPECT_EQ(pixels[0], 0xFF808080U);
    EXPECT_EQ(pixels[5], 0xFF000000U);

    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("tavisto-composite-" + std::to_string(getpid()) + ".png");
    ASSERT_TRUE(surface.writePng(path.string(), 0xFF000000));
    const platform::CairoSurfaceOwner read(cairo_image_surface_create_from_png(path.c_str()));
    std::filesystem::remove(path);
    ASSERT_EQ(cairo_surface_status(read.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read.get()), 6);
    const auto* readPixels =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(read.get()));
    EXPECT_EQ(readPixels[0] & 0xFFFFFFU, 0x808080U);

    CairoSurface empty;
    EXPECT_EQ(empty.composite(0xFF000000), nullptr);
    EXPECT_FALSE(empty.writePng(path.string(), 0xFF000000));
}

std::vector<Argb> pixelsOf(const CairoSurface& surface) {
    std::vector<Argb> pixels;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            pixels.push_back(surface.pixel(x, y));
        }
    }
    return pixels;
}

TEST(CairoSurfaceFonts, RedrawingWithAKeptFontGivesTheSamePixels) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(120, 40));
    PlacedMeter small = meterAt(u"text", Rect{0, 0, 60, 39}, 60, counterAt(42.0, u"percent"));
    PlacedMeter large = meterAt(u"text", Rect{60, 0, 119, 39}, 60, counterAt(42.0, u"percent"));
    large.counters[0].fontSize = 28;
    drawPlaced(small, surface, platform::TaskbarTheme::Dark);
    drawPlaced(large, surface, platform::TaskbarTheme::Dark);
    const std::vector<Argb> first = pixelsOf(surface);
    ASSERT_TRUE(anyInk(surface, 0, 0, 120, 40));
    // The second drawing finds both fonts kept, each under its own size.
    drawPlaced(small, surface, platform::TaskbarTheme::Dark);
    drawPlaced(large, surface, platform::TaskbarTheme::Dark);
    EXPECT_EQ(surface.resolvedFontCount(), 2U);
    EXPECT_EQ(pixelsOf(surface), first);
}

TEST(CairoSurfaceFonts, EachFamilyAndSizeIsResolvedOnce) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    const std::pair<std::u16string, float> requests[] = {
        {u"Arial", 12.0F},       {u"Arial", 12.0F}, {u"Arial", 14.0F},
        {u"DejaVu Sans", 12.0F}, {u"Arial", 14.0F}, {u"arial", 12.0F},
    };
    for (const auto& [family, size] : requests) {
        // A canvas per request, as every meter drawing opens its own.
        ASSERT_NE(surface.beginDrawing()->createFont(family, size), nullptr);
    }
    EXPECT_EQ(surface.resolvedFontCount(), 4U);
}

TEST(CairoSurfaceFonts, ReplacingTheBackBufferDropsTheFontsNotDrawnWithSinceTheLastOne) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    surface.beginDrawing()->createFont(u"Arial", 12.0F);
    surface.beginDrawing()->createFont(u"Arial", 20.0F);
    // Both were drawn with in the frame just replaced: a reload keeps them.
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    EXPECT_EQ(surface.resolvedFontCount(), 2U);
    surface.beginDrawing()->createFont(u"Arial", 20.0F);
    // A request that keeps the old buffer still lets go of the unused font.
    EXPECT_FALSE(surface.replaceBackBuffer(0, 10));
    EXPECT_EQ(surface.resolvedFontCount(), 1U);
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    EXPECT_EQ(surface.resolvedFontCount(), 0U);
}

TEST(CairoSurfaceFonts, KeptFontsAreBounded) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(10, 10));
    const auto canvas = surface.beginDrawing();
    for (std::size_t size = 1; size <= platform::kMaxResolvedFonts + 5; ++size) {
        ASSERT_NE(canvas->createFont(u"Arial", static_cast<float>(size)), nullptr);
    }
    EXPECT_EQ(surface.resolvedFontCount(), platform::kMaxResolvedFonts);
}

TEST(CairoSurfaceFonts, AFontStillDrawsAfterTheSurfaceLetGoOfIt) {
    CairoSurface surface;
    ASSERT_TRUE(surface.replaceBackBuffer(60, 20));
    const auto font = surface.beginDrawing()->createFont(u"Arial", 14.0F);
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(surface.replaceBackBuffer(60, 20));
    ASSERT_TRUE(surface.replaceBackBuffer(60, 20));
    ASSERT_EQ(surface.resolvedFontCount(), 0U);
    surface.beginDrawing()->drawString(u"ok", *font, kGreen, RectF{0, 0, 60, 20},
                                       platform::TextAlignment::Near,
                                       platform::TextAlignment::Near);
    EXPECT_TRUE(anyInk(surface, 0, 0, 30, 20));
}

// Single lines on fresh 160 x 30 surfaces in one 14-pixel font.
class CairoLines : public ::testing::Test {
  protected:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 30;

    void SetUp() override { ASSERT_TRUE(scratch.replaceBackBuffer(1, 1)); }

    // The pixels of a fresh surface after `draw`.
    template <typename Draw>
    std::vector<Argb> pixelsAfter(Draw draw) {
        CairoSurface surface;
        EXPECT_TRUE(surface.replaceBackBuffer(kWidth, kHeight));
        const auto canvas = surface.beginDrawing();
        draw(*canvas, *canvas->createFont(u"Arial", 14.0F));
        return pixelsOf(surface);
    }

    float measured(std::u16string_view text) {
        const auto canvas = scratch.beginDrawing();
        return canvas->measureString(text, *canvas->createFont(u"Arial", 14.0F));
    }

    std::vector<Argb> lineOf(std::u16string_view text, const RectF& layout,
                             platform::TextAlignment alignment) {
        return pixelsAfter([&](platform::Canvas& canvas, const platform::Font& font) {
            canvas.drawLine(text, font, kGreen, layout, alignment);
        });
    }

    // The longest start of the text, cut between characters, that fits the width
    // followed by "…", with the "…".
    std::u16string expectedCut(std::u16string_view text, float width) {
        std::u16string cut = u"…";
        for (std::size_t end = 0; end < text.size();) {
            end += text[end] >= 0xD800 && text[end] < 0xDC00 ? 2U : 1U;
            std::u16string longer = std::u16string(text.substr(0, end)) + u"…";
            if (measured(longer) > width) {
                break;
            }
            cut = std::move(longer);
        }
        return cut;
    }

    // Pixels with ink outside the layout, whose edges lie on whole pixels.
    static int inkOutside(const std::vector<Argb>& pixels, const RectF& layout) {
        const auto left = static_cast<int>(layout.x);
        const auto top = static_cast<int>(layout.y);
        const int right = left + static_cast<int>(layout.width);
        const int bottom = top + static_cast<int>(layout.height);
        int outside = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inside = x >= left && x < right && y >= top && y < bottom;
                const Argb pixel = pixels[static_cast<std::size_t>(y * kWidth + x)];
                outside += !inside && alphaOf(pixel) != 0 ? 1 : 0;
            }
        }
        return outside;
    }

    static bool anyInkIn(const std::vector<Argb>& pixels) {
        return std::any_of(pixels.begin(), pixels.end(),
                           [](Argb pixel) { return alphaOf(pixel) != 0; });
    }

    CairoSurface scratch;  // for measuring
};

// A line that fits is drawn as drawString draws the same text centred across the
// rectangle, or, measured exactly to its width, as in a wider rectangle.
TEST_F(CairoLines, LineThatFitsIsDrawnWhole) {
    using platform::TextAlignment;
    const struct {
        std::u16string_view text;
        RectF layout;
        TextAlignment alignment;
    } cases[] = {
        {u"CPU 42%", {4, 2, 120, 26}, TextAlignment::Near},
        {u"12.5 MB/s", {10, 0, 140, 30}, TextAlignment::Far},
        {u"explorer", {0, 5, 160, 20}, TextAlignment::Center},
    };
    for (const auto& [text, layout, alignment] : cases) {
        SCOPED_TRACE(utf16ToUtf8(text));
        const std::vector<Argb> line = lineOf(text, layout, alignment);
        EXPECT_TRUE(anyInkIn(line));
        EXPECT_EQ(line, pixelsAfter([&](platform::Canvas& canvas, const platform::Font& font) {
                      canvas.drawString(text, font, kGreen, layout, alignment,
                                        TextAlignment::Center);
                  }));
        const RectF exact{layout.x, layout.y, measured(text), layout.height};
        EXPECT_EQ(lineOf(text, exact, TextAlignment::Near),
                  lineOf(text, RectF{exact.x, exact.y, exact.width + 40, exact.height},
                         TextAlignment::Near));
    }
}

TEST_F(CairoLines, LongLineIsCutToTheLongestStartThatFitsWithAnEllipsis) {
    using platform::TextAlignment;
    const std::u16string_view longName = u"SearchProtocolHost background indexer";
    const struct {
        RectF layout;
        TextAlignment alignment;
    } cases[] = {
        {{0, 0, 60, 30}, TextAlignment::Near},
        {{30, 4, 95, 22}, TextAlignment::Far},
        {{12, 6, 130, 18}, TextAlignment::Center},
        {{70, 0, 9, 30}, TextAlignment::Near},  // not even one character fits before "…"
    };
    for (const auto& [layout, alignment] : cases) {
        SCOPED_TRACE(layout.width);
        const std::u16string cut = expectedCut(longName, layout.width);
        ASSERT_LT(cut.size(), longName.size());
        const std::vector<Argb> line = lineOf(longName, layout, alignment);
        EXPECT_TRUE(anyInkIn(line));
        EXPECT_EQ(inkOutside(line, layout), 0);
        EXPECT_EQ(line, lineOf(cut, layout, alignment)) << utf16ToUtf8(cut);
    }
}

// Every width from a few pixels to the whole text's: the cut falls between the two
// halves of a surrogate pair for some of them if it is made in code units.
TEST_F(CairoLines, CutNeverSplitsASurrogatePair) {
    const std::u16string_view text = u"ab\U0001D400\U0001D401\U0001D402\U0001D403cd";
    int cutsAfterAPair = 0;
    for (float width = 8.0F; width < measured(text); width += 1.0F) {
        SCOPED_TRACE(width);
        const RectF layout{0, 0, width, 30};
        const std::u16string cut = expectedCut(text, width);
        cutsAfterAPair += cut.size() >= 3 && cut[cut.size() - 2] >= 0xDC00 ? 1 : 0;
        const std::vector<Argb> line = lineOf(text, layout, platform::TextAlignment::Near);
        ASSERT_TRUE(anyInkIn(line));
        ASSERT_EQ(line, lineOf(cut, layout, platform::TextAlignment::Near));
    }
    EXPECT_GT(cutsAfterAPair, 0);
}

TEST_F(CairoLines, EmptyTextOrLayoutDrawsNothing) {
    const struct {
        std::u16string_view text;
        RectF layout;
    } cases[] = {
        {u"", {0, 0, 160, 30}},
        {u"CPU", {10, 0, 0, 30}},
        {u"CPU", {10, 0, -20, 30}},
        {u"CPU", {10, 5, 100, 0}},
        {u"bad \xD800 text", {0, 0, 160, 30}},
    };
    for (const auto& [text, layout] : cases) {
        SCOPED_TRACE(layout.width);
        EXPECT_FALSE(anyInkIn(lineOf(text, layout, platform::TextAlignment::Center)));
    }
}

}  // namespace
}  // namespace tavisto
