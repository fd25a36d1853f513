#include "platform/win32/band_window_platform.h"

namespace tavisto::win32 {

BandWindowPlatform::BandWindowPlatform(HWND window, DpiSource dpi)
    : window_(window),
      screen_(dpi == DpiSource::WindowMonitor ? window : nullptr),
      bandWindow_(window),
      timers_(window),
      tooltips_(window),
      surfaces_(window) {}

platform::PlatformServices BandWindowPlatform::services() {
    return {screen_,   systemVersion_, *counterQueries_, systemPerformance_, bandWindow_, timers_,
            tooltips_, surfaces_,      theme_,            platform::steadyClock()};
}

}  // namespace tavisto::win32
