#include "preview/preview_render.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <utility>

#include "config/configuration_values.h"
#include "panel/meter_panel.h"
#include "platform/linux/cairo_surface.h"
#include "preview/headless_platform.h"
#include "preview/model_printer.h"
#include "render/band_metrics.h"

namespace tavisto::preview {
namespace {

// A dark taskbar, as Windows 10 and 11 draw it by default, and a light one.
constexpr Argb kDarkTaskbar = 0xFF202020;
constexpr Argb kLightTaskbar = 0xFFEEEEEE;
// Sizes of a taskbar at 96 DPI: the height of a horizontal one and the width of a
// vertical one.
constexpr std::int32_t kTaskbarHeight = 40;
constexpr std::int32_t kTaskbarWidth = 62;
// Ticks run before each picture, so that the dynamic ranges and the waves have moved
// and history graphs show a stretch of history.
constexpr int kTicks = 40;

struct Band {
    const char* fileName;
    const char* description;
    BandDirection direction;
};

}  // namespace

int renderBands(std::string text, const std::string& source, int dpi, platform::TaskbarTheme theme,
                const std::string& folder, std::ostream& out, std::ostream& err) {
    const bool light = theme == platform::TaskbarTheme::Light;
    FixedScreen screen(dpi);
    NotWindows systemVersion;
    DemoCounters counters;
    DemoPerformance performance;
    DemoSensors sensors;
    PreviewWindow window;
    ManualTimers timers;
    HeadlessTooltips tooltips;
    platform::CairoSurfaceFactory surfaces;
    FixedTheme taskbarTheme(theme);
    EnglishLocale locale;
    // The rounds of the timers take a second each, so that an alert's "for" can pass.
    ManualClock clock;
    const platform::PlatformServices services{
        screen, systemVersion, counters, performance, sensors,
        window, timers,        tooltips, surfaces,    taskbarTheme,
        locale, clock};

    const double scale = platform::dpiScaleOf({dpi, dpi});
    const std::int32_t thickness[2] = {platform::scaledPixels(kTaskbarWidth, scale),
                                       platform::scaledPixels(kTaskbarHeight, scale)};
    window.client = Rect{0, 0, 4096, thickness[1]};
    std::string error;
    auto panel = MeterPanel::create(services, std::move(text), BandDirection::Horizontal, error);
    if (!panel) {
        err << source << ": " << error << "\n";
        return 1;
    }
    out << source << " at " << dpi << " DPI (scale " << panel->dpiScale() << ")\n";
    printModel(out, panel->model(), panel->layout());

    out << "rendering with demo counter values (a deterministic wave per counter; live "
           "counters are not read on Linux)\n";
    const Band darkBands[] = {{"band.png", "horizontal band", BandDirection::Horizontal},
                              {"band-vertical.png", "vertical band", BandDirection::Vertical}};
    const Band lightBands[] = {
        {"band-light.png", "horizontal band, light taskbar", BandDirection::Horizontal},
        {"band-vertical-light.png", "vertical band, light taskbar", BandDirection::Vertical}};
    const auto& bands = light ? lightBands : darkBands;
    for (const Band& band : bands) {
        // Lay out once in a long band to learn its length, then size the band to it.
        const bool horizontal = band.direction == BandDirection::Horizontal;
        const std::int32_t across = thickness[horizontal ? 1 : 0];
        window.client = horizontal ? Rect{0, 0, 4096, across} : Rect{0, 0, across, 4096};
        panel->relayout(band.direction);
        const std::int32_t length =
            std::max(bandLength(panel->model(), panel->layout(), band.direction), 1);
        window.client = horizontal ? Rect{0, 0, length, across} : Rect{0, 0, across, length};
        panel->relayout(band.direction);
        for (int tick = 0; tick < kTicks; ++tick) {
            clock.now += 1000;
            timers.fireAll();
        }
        const auto& surface = dynamic_cast<const platform::CairoSurface&>(panel->surface());
        const std::string path = (std::filesystem::path(folder) / band.fileName).string();
        if (!surface.writePng(path, light ? kLightTaskbar : kDarkTaskbar)) {
            err << path << ": cannot write the picture\n";
            return 1;
        }
        out << "wrote " << path << " (" << window.client.width() << " x " << window.client.height()
            << ", " << band.description << ")\n";
    }
    return 0;
}

}  // namespace tavisto::preview
