// Graph meters and "auto" colours drawn through the GDI+ surface, checked pixel by
// pixel, and the taskbar theme read from the user's personalisation settings.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/taskbar_theme.h"
#include "support/graph_scenes.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using platform::TaskbarTheme;
using tavisto::testing::graphForPixels;
using tavisto::testing::kGraphRed;
using tavisto::testing::paintedRed;
using tavisto::testing::pixelsOf;
using tavisto::testing::tickGraph;

class GdiplusGraph : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window);
        auto created = GdiplusSurfaceFactory(window.get()).createMemorySurface();
        surface.reset(dynamic_cast<GdiplusMemorySurface*>(created.release()));
        ASSERT_NE(surface, nullptr);
        ASSERT_TRUE(surface->replaceBackBuffer(30, 30));
    }

    Window window = testing::createTestWindow(30, 30);
    std::unique_ptr<GdiplusMemorySurface> surface;
};

TEST_F(GdiplusGraph, NewestSampleIsAtTheRightOrAtTheBottomAndOlderOnesMoveAway) {
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
        ASSERT_TRUE(surface->replaceBackBuffer(30, 30));
        Meter meter = graphForPixels(c.rect, c.horizontalBand, u"area", {u"#FF0000"});
        for (int tick = 0; tick < 8; ++tick) {
            tickGraph(meter, *surface, 0.0);
        }
        tickGraph(meter, *surface, 100.0);
        EXPECT_TRUE(paintedRed(surface->pixel(c.x, c.y)));
        EXPECT_EQ(surface->pixel(c.x + c.dx, c.y + c.dy), 0U);
        tickGraph(meter, *surface, 100.0);
        EXPECT_EQ(surface->pixel(c.x, c.y), kGraphRed);
        EXPECT_TRUE(paintedRed(surface->pixel(c.x + c.dx, c.y + c.dy)));
        EXPECT_EQ(surface->pixel(c.x + 2 * c.dx, c.y + 2 * c.dy), 0U);
    }
}

TEST_F(GdiplusGraph, ShiftedPixelsAreWhatAFullDrawingGives) {
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
        ASSERT_TRUE(surface->replaceBackBuffer(30, 30));
        Meter meter = graphForPixels(c.rect, c.horizontalBand, c.style, {u"#FF0000", u"#00FF00"});
        tavisto::testing::tickWave(meter, *surface, 23);
        const auto shifted = pixelsOf(*surface, c.rect);
        drawMeter(meter, *surface, TaskbarTheme::Dark);
        EXPECT_EQ(shifted, pixelsOf(*surface, c.rect));
    }
}

TEST_F(GdiplusGraph, AutoColoursAreWhiteOnADarkTaskbarAndBlackOnALightOne) {
    const std::pair<TaskbarTheme, Argb> themes[] = {{TaskbarTheme::Dark, 0xFFFFFFFF},
                                                    {TaskbarTheme::Light, 0xFF000000}};
    for (const auto& [theme, expected] : themes) {
        ASSERT_TRUE(surface->replaceBackBuffer(30, 30));
        Meter meter = graphForPixels({2, 2, 12, 22}, true, u"area", {u"auto"});
        meter.color = u"auto";
        tickGraph(meter, *surface, 100.0, theme);
        EXPECT_EQ(surface->pixel(11, 12), expected);  // the area
        EXPECT_EQ(surface->pixel(2, 12), expected);   // the outline
        EXPECT_EQ(surface->pixel(20, 12), 0U);
    }
}

constexpr const wchar_t* kPersonalize =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

// Sets or deletes the user's light-theme value for one test and puts back what was there.
class LightThemeValue {
  public:
    LightThemeValue() {
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegGetValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme", RRF_RT_REG_DWORD,
                         nullptr, &value, &size) == ERROR_SUCCESS) {
            saved_ = value;
        }
    }
    ~LightThemeValue() {
        if (saved_) {
            set(*saved_);
        } else {
            remove();
        }
    }
    LightThemeValue(const LightThemeValue&) = delete;
    LightThemeValue& operator=(const LightThemeValue&) = delete;

    static bool set(DWORD value) {
        return RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme", REG_DWORD,
                               &value, sizeof(value)) == ERROR_SUCCESS;
    }
    static void remove() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme");
    }

  private:
    std::optional<DWORD> saved_;
};

TEST(TaskbarTheme, FollowsTheSystemLightThemeValueAndIsDarkWithoutIt) {
    const LightThemeValue restore;
    const Win32ThemeSettings settings;
    ASSERT_TRUE(LightThemeValue::set(1));
    EXPECT_EQ(settings.taskbarTheme(), TaskbarTheme::Light);
    ASSERT_TRUE(LightThemeValue::set(0));
    EXPECT_EQ(settings.taskbarTheme(), TaskbarTheme::Dark);
    LightThemeValue::remove();  // as on Windows 7 and 8
    EXPECT_EQ(settings.taskbarTheme(), TaskbarTheme::Dark);
}

TEST(TaskbarTheme, OnlyTheColourSetBroadcastAnnouncesAThemeChange) {
    EXPECT_TRUE(announcesThemeChange(reinterpret_cast<LPARAM>(L"ImmersiveColorSet")));
    EXPECT_FALSE(announcesThemeChange(reinterpret_cast<LPARAM>(L"Environment")));
    EXPECT_FALSE(announcesThemeChange(0));
}

}  // namespace
}  // namespace tavisto::win32
