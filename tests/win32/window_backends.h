#pragma once
// Every backend a panel needs in one window of a test, bundled for MeterPanel.

#include <windows.h>

#include <memory>

#include "platform/platform.h"
#include "platform/steady_clock.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/painting.h"
#include "platform/win32/pdh_counter_queries.h"
#include "platform/win32/sensors.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "platform/win32/tooltips.h"
#include "platform/win32/window_timers.h"

namespace tavisto::win32::testing {

// Create it on the window's thread once the window exists, with GDI+ started, and
// destroy the panel that uses it first.
class WindowBackends {
  public:
    // `dpiOfWindow`: the DPI of the window's monitor; else the screen's.
    explicit WindowBackends(HWND window, bool dpiOfWindow = false)
        : screen_(dpiOfWindow ? window : nullptr),
          bandWindow_(window),
          timers_(window),
          tooltips_(window),
          surfaces_(window) {}
    WindowBackends(const WindowBackends&) = delete;
    WindowBackends& operator=(const WindowBackends&) = delete;

    platform::PlatformServices services() {
        return {screen_,   systemVersion_, *counterQueries_, systemPerformance_,
                sensors_,  bandWindow_,    timers_,          tooltips_,
                surfaces_, theme_,         locale_,          platform::steadyClock()};
    }

  private:
    BufferedPaintThread bufferedPaint_;
    Win32Screen screen_;
    Win32SystemVersion systemVersion_;
    std::shared_ptr<PdhCounterQueries> counterQueries_ =
        std::make_shared<PdhCounterQueries>();
    Win32SystemPerformance systemPerformance_;
    Win32Sensors sensors_;
    Win32BandWindow bandWindow_;
    Win32WindowTimers timers_;
    Win32Tooltips tooltips_;
    GdiplusSurfaceFactory surfaces_;
    Win32ThemeSettings theme_;
    Win32UserLocale locale_;
};

}  // namespace tavisto::win32::testing
