#include "platform/win32/taskbar_theme.h"

namespace tavisto::win32 {

platform::TaskbarTheme Win32ThemeSettings::taskbarTheme() const {
    DWORD light = 0;
    DWORD size = sizeof(light);
    const LSTATUS status = RegGetValueW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
        L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
    return status == ERROR_SUCCESS && light != 0 ? platform::TaskbarTheme::Light
                                                 : platform::TaskbarTheme::Dark;
}

bool announcesThemeChange(LPARAM settingChangeParameter) noexcept {
    // The broadcast names the changed area in lParam; a theme switch sends this one.
    const auto* area = reinterpret_cast<const wchar_t*>(settingChangeParameter);
    return area != nullptr && lstrcmpiW(area, L"ImmersiveColorSet") == 0;
}

}  // namespace tavisto::win32
