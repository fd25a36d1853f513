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

class GdiplusGraph : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window);
        auto created = GdiplusSurfaceFactory(window.get()).createMemorySurface();
        surface.reset(dynamic_cast<GdiplusMemorySurface*>(created.release()));
        ASSERT_NE(surface, nullptr);
    }

    Window window = testing::createTestWindow(30, 30);
    std::unique_ptr<GdiplusMemorySurface> surface;
};

TEST_F(GdiplusGraph, NewestSampleIsAtTheRightOrAtTheBottomAndOlderOnesMoveAway) {
    tavisto::testing::expectNewestSampleAtTheFarEnd(*surface);
}

TEST_F(GdiplusGraph, ShiftedPixelsAreWhatAFullDrawingGives) {
    tavisto::testing::expectShiftedPixelsAsDrawnInFull(*surface);
}

TEST_F(GdiplusGraph, AutoColoursAreWhiteOnADarkTaskbarAndBlackOnALightOne) {
    tavisto::testing::expectAutoColoursFollowTheTheme(*surface);
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

TEST(TaskbarTheme, OnlyTheColourSetAndHighContrastBroadcastsAnnounceAThemeChange) {
    const struct {
        WPARAM action;
        const wchar_t* area;
        bool announces;
    } cases[] = {
        {0, L"ImmersiveColorSet", true},
        {0, L"Environment", false},
        {0, nullptr, false},
        {SPI_SETHIGHCONTRAST, nullptr, true},
        {SPI_SETNONCLIENTMETRICS, nullptr, false},
    };
    for (const auto& broadcast : cases) {
        EXPECT_EQ(announcesThemeChange(broadcast.action, reinterpret_cast<LPARAM>(broadcast.area)),
                  broadcast.announces)
            << broadcast.action;
    }
}

// With high contrast on, "auto" colours take the brightness of the theme's text: black on
// a contrast theme with dark text, white on one with light text, whatever the taskbar's
// own theme says.
TEST(TaskbarTheme, HighContrastTextBrightnessDecidesTheAutoColour) {
    const struct {
        COLORREF text;
        TaskbarTheme theme;
    } cases[] = {
        {RGB(255, 255, 255), TaskbarTheme::Dark},
        {RGB(255, 255, 0), TaskbarTheme::Dark},
        {RGB(0, 0, 0), TaskbarTheme::Light},
        {RGB(0x3D, 0x3D, 0x3D), TaskbarTheme::Light},
    };
    for (const auto& contrast : cases) {
        EXPECT_EQ(themeForText(contrast.text), contrast.theme) << std::hex << contrast.text;
    }
}

TEST(TaskbarTheme, HighContrastOnOverridesTheTaskbarsTheme) {
    // The taskbar's own theme is set to the other one, so that only the contrast theme's
    // text can give the one expected.
    const TaskbarTheme fromText = themeForText(GetSysColor(COLOR_WINDOWTEXT));
    const TaskbarTheme taskbarOwn =
        fromText == TaskbarTheme::Light ? TaskbarTheme::Dark : TaskbarTheme::Light;
    const LightThemeValue restore;
    ASSERT_TRUE(LightThemeValue::set(taskbarOwn == TaskbarTheme::Light ? 1 : 0));
    HIGHCONTRASTW before{};
    before.cbSize = sizeof(before);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(before), &before, 0));
    HIGHCONTRASTW on = before;
    on.dwFlags |= HCF_HIGHCONTRASTON;
    if (!SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(on), &on, 0)) {
        GTEST_SKIP() << "high contrast cannot be switched on here";
    }
    const TaskbarTheme underContrast = Win32ThemeSettings().taskbarTheme();
    before.dwFlags &= ~static_cast<DWORD>(HCF_HIGHCONTRASTON);
    SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(before), &before, 0);
    EXPECT_EQ(underContrast, fromText);
    EXPECT_EQ(Win32ThemeSettings().taskbarTheme(), taskbarOwn);
}

}  // namespace
}  // namespace tavisto::win32
