#include "platform/win32/taskbar_theme.h"

namespace tavisto::win32 {

platform::TaskbarTheme themeForText(COLORREF text) noexcept {
    // Perceived brightness (ITU-R BT.601 weights), out of 255.
    const unsigned brightness =
        (299U * GetRValue(text) + 587U * GetGValue(text) + 114U * GetBValue(text)) / 1000U;
    return brightness < 128U ? platform::TaskbarTheme::Light : platform::TaskbarTheme::Dark;
}

platform::TaskbarTheme Win32ThemeSettings::taskbarTheme() const {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0) {
        return themeForText(GetSysColor(COLOR_WINDOWTEXT));
    }
    DWORD light = 0;
    DWORD size = sizeof(light);
    const LSTATUS status = RegGetValueW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
        L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
    return status == ERROR_SUCCESS && light != 0 ? platform::TaskbarTheme::Light
                                                 : platform::TaskbarTheme::Dark;
}

bool announcesThemeChange(WPARAM action, LPARAM area) noexcept {
    if (action == SPI_SETHIGHCONTRAST) {
        return true;
    }
    // The broadcast names the changed area in lParam; a theme switch sends this one.
    const auto* name = reinterpret_cast<const wchar_t*>(area);
    return name != nullptr && lstrcmpiW(name, L"ImmersiveColorSet") == 0;
}

}  // namespace tavisto::win32
