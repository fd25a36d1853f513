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

TEST(TaskbarTheme, OnlyTheColourSetBroadcastAnnouncesAThemeChange) {
    EXPECT_TRUE(announcesThemeChange(reinterpret_cast<LPARAM>(L"ImmersiveColorSet")));
    EXPECT_FALSE(announcesThemeChange(reinterpret_cast<LPARAM>(L"Environment")));
    EXPECT_FALSE(announcesThemeChange(0));
}

}  // namespace
}  // namespace tavisto::win32
