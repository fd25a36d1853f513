// tavisto-preview-gdiplus: renders a configuration through the Windows backends (GDI+
// drawing, buffered painting over a taskbar background) into a PNG file. Counter values
// come from the same deterministic demo source as the Linux preview, so that the two
// pictures can be compared.
//   tavisto-preview-gdiplus configuration.json dpi picture.png

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "config/configuration_values.h"
#include "panel/meter_panel.h"
#include "platform/steady_clock.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_services.h"
#include "platform/win32/tooltips.h"
#include "preview-gdiplus/taskbar_frame.h"
#include "preview/configuration_file.h"
#include "preview/demo_sources.h"
#include "preview/headless_platform.h"
#include "render/band_metrics.h"

namespace {

using namespace tavisto;

// As the Linux preview draws it: a dark taskbar 40 pixels high at 96 DPI, and forty
// ticks before the picture so that dynamic ranges and the waves have moved and
// history graphs show a stretch of history.
constexpr Argb kTaskbarBackground = 0xFF202020;
constexpr std::int32_t kTaskbarHeight = 40;
constexpr int kTicks = 40;
constexpr std::int32_t kLongBand = 4096;

int usage() {
    std::cerr << "usage: tavisto-preview-gdiplus configuration.json dpi picture.png\n";
    return 2;
}

int render(const std::wstring& configuration, int dpi, const std::wstring& picture) {
    std::optional<std::string> text =
        preview::readConfigurationFile(std::filesystem::path(configuration), std::cerr);
    if (!text) {
        return 1;
    }

    const win32::GdiplusSession gdiplus;
    preview::TaskbarFrame frame(kTaskbarBackground);
    if (!gdiplus.started() || !frame.ready()) {
        std::cerr << "cannot start GDI+ or create the preview windows\n";
        return 1;
    }
    const std::int32_t thickness =
        platform::scaledPixels(kTaskbarHeight, platform::dpiScaleOf({dpi, dpi}));
    frame.resizeBand(kLongBand, thickness);

    preview::FixedScreen screen(dpi);
    win32::Win32SystemVersion systemVersion;
    preview::DemoCounters counters;
    preview::DemoPerformance performance;
    preview::DemoSensors sensors;
    win32::Win32BandWindow window(frame.band());
    preview::ManualTimers timers;
    win32::Win32Tooltips tooltips(frame.band());
    win32::GdiplusSurfaceFactory surfaces(frame.band());
    preview::FixedTheme theme(platform::TaskbarTheme::Dark);
    preview::EnglishLocale locale;
    platform::SteadyClock clock;
    const platform::PlatformServices services{screen,   systemVersion, counters, performance,
                                              sensors,  window,        timers,   tooltips,
                                              surfaces, theme,         locale,   clock};

    std::string error;
    auto panel = MeterPanel::create(services, std::move(*text), BandDirection::Horizontal, error);
    if (!panel) {
        std::cerr << "cannot render the band: " << error << "\n";
        return 1;
    }
    // Laid out once in a long band to learn its length, then sized to it.
    const std::int32_t length =
        std::max(bandLength(panel->model(), panel->layout(), BandDirection::Horizontal), 1);
    frame.resizeBand(length, thickness);
    panel->relayout(BandDirection::Horizontal);
    for (int tick = 0; tick < kTicks; ++tick) {
        timers.fireAll();
    }
    if (!frame.writePng(panel->surface(), picture)) {
        std::cerr << std::filesystem::path(picture).string() << ": cannot write the picture\n";
        return 1;
    }
    std::cout << "wrote " << std::filesystem::path(picture).string() << " (" << length << " x "
              << thickness << ", horizontal band, GDI+)\n";
    return 0;
}

}  // namespace

int main() {
    // Wide arguments, so that any file name reaches the program intact.
    int count = 0;
    const tavisto::win32::LocalMemory<LPWSTR*> arguments(
        CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments || count != 4) {
        return usage();
    }
    const std::wstring configuration = arguments.get()[1];
    const std::wstring dpiText = arguments.get()[2];
    const std::wstring picture = arguments.get()[3];

    const std::string digits(dpiText.begin(), dpiText.end());
    int dpi = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), dpi);
    if (failure != std::errc() || end != digits.data() + digits.size() || dpi <= 0 || dpi > 960) {
        return usage();
    }
    return render(configuration, dpi, picture);
}
