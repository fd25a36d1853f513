#pragma once
// The taskbar's light or dark theme, from the user's personalisation settings.

#include <windows.h>

#include "platform/platform.h"

namespace tavisto::win32 {

// "SystemUsesLightTheme" under the user's personalisation key: 1 is a light taskbar.
// Systems without the value (Windows 7 and 8, early Windows 10) have a dark one.
class Win32ThemeSettings final : public platform::ThemeSettings {
  public:
    platform::TaskbarTheme taskbarTheme() const override;
};

// Whether a WM_SETTINGCHANGE with this lParam announces a change of the colour theme.
bool announcesThemeChange(LPARAM settingChangeParameter) noexcept;

}  // namespace tavisto::win32
