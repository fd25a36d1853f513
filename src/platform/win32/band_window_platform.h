#pragma once
// Every backend the engine needs for one band window, bundled for the shell.

#include <windows.h>

#include <memory>

#include "platform/platform.h"
#include "platform/steady_clock.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/painting.h"
#include "platform/win32/pdh_counter_queries.h"
#include "platform/win32/system_services.h"
#include "platform/win32/taskbar_theme.h"
#include "platform/win32/tooltips.h"
#include "platform/win32/window_timers.h"

namespace tavisto::win32 {

// Where the panel's DPI scale comes from: the screen (the desk band, scaled with the
// process that hosts it), or the monitor of the window (a per-monitor aware program).
enum class DpiSource { Screen, WindowMonitor };

// Create it on the band window's thread once the window exists, with GDI+ started.
// Destroy the MeterPanel that uses its services first, then this object, both on the
// window's thread and no later than WM_DESTROY: the panel's timers and tooltip
// windows belong to the window, and a stale window handle may be reused.
class BandWindowPlatform {
  public:
    BandWindowPlatform(HWND window, DpiSource dpi = DpiSource::Screen);
    BandWindowPlatform(const BandWindowPlatform&) = delete;
    BandWindowPlatform& operator=(const BandWindowPlatform&) = delete;

    platform::PlatformServices services();
    HWND window() const { return window_; }
    // Shared with the collector, whose thread makes every call of it and may outlive this.
    const std::shared_ptr<PdhCounterQueries>& counterQueries() { return counterQueries_; }

  private:
    HWND window_;
    BufferedPaintThread bufferedPaint_;
    Win32Screen screen_;
    Win32SystemVersion systemVersion_;
    std::shared_ptr<PdhCounterQueries> counterQueries_ = std::make_shared<PdhCounterQueries>();
    Win32SystemPerformance systemPerformance_;
    Win32BandWindow bandWindow_;
    Win32WindowTimers timers_;
    Win32Tooltips tooltips_;
    GdiplusSurfaceFactory surfaces_;
    Win32ThemeSettings theme_;
};

}  // namespace tavisto::win32
