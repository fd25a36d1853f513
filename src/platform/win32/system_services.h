#pragma once
// The small system services of the engine: screen DPI, the Windows 10 test, the
// performance information record, the user's locale and the band window's client area.

#include <windows.h>

#include "platform/platform.h"

namespace tavisto::win32 {

// LOGPIXELSX and LOGPIXELSY of the screen's DC; with a window, the DPI of the monitor
// the window is on, for a per-monitor aware process (GetDpiForWindow, Windows 10 1607
// and later; the screen's DC where it is missing).
class Win32Screen final : public platform::Screen {
  public:
    explicit Win32Screen(HWND window = nullptr) : window_(window) {}
    platform::ScreenDpi dpi() const override;

  private:
    HWND window_;
};

// VerifyVersionInfoW: major 10, minor 0, service pack 0, each greater or equal.
class Win32SystemVersion final : public platform::SystemVersion {
  public:
    bool isWindows10OrLater() const override;
};

// GlobalMemoryStatusEx for physical memory alone, else K32GetPerformanceInfo; a failed
// call gives an all-zero record. The logical processors are counted once.
class Win32SystemPerformance final : public platform::SystemPerformance {
  public:
    Win32SystemPerformance();
    platform::PerformanceRecord read(platform::PerformanceScope scope) override;

  private:
    std::uint64_t pageSize_ = 0;
    std::uint32_t logicalProcessors_ = 0;
};

// The user locale's separators (GetLocaleInfoEx), each kept to the longest Windows
// allows, "." and "," where the call fails; the display languages as
// userDisplayLanguages reads them.
class Win32UserLocale final : public platform::UserLocale {
  public:
    platform::NumberSeparators numberSeparators() const override;
    std::vector<std::string> preferredLanguages() const override;
};

// Whether a WM_SETTINGCHANGE with this area announces a change of the user's locale.
bool announcesLocaleChange(LPARAM area) noexcept;

class Win32BandWindow final : public platform::BandWindow {
  public:
    explicit Win32BandWindow(HWND window) : window_(window) {}
    Rect clientRect() const override;
    void invalidate(const Rect& area) override;

  private:
    HWND window_;
};

}  // namespace tavisto::win32
