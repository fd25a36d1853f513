#pragma once
// The taskbar's light or dark theme, from the user's personalisation settings.

#include <windows.h>

#include "platform/platform.h"

namespace tavisto::win32 {

// "SystemUsesLightTheme" under the user's personalisation key: 1 is a light taskbar.
// Systems without the value (Windows 7 and 8, early Windows 10) have a dark one. With
// high contrast on, the contrast theme's text colour decides instead: "auto" colours are
// black where that text is dark and white where it is light, as the theme's text is.
class Win32ThemeSettings final : public platform::ThemeSettings {
  public:
    platform::TaskbarTheme taskbarTheme() const override;
};

// Whether a WM_SETTINGCHANGE with these parameters announces a change of the colour
// theme or of high contrast.
bool announcesThemeChange(WPARAM action, LPARAM area) noexcept;

// The theme whose "auto" colour reads on a background behind text of this colour: light
// (black "auto") for dark text, dark (white "auto") for light text.
platform::TaskbarTheme themeForText(COLORREF text) noexcept;

}  // namespace tavisto::win32
