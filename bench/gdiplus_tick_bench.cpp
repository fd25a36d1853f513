// The band's tick on the GDI+ surface (run under Wine by scripts/bench-wine): rounds of
// every rate of a configuration with the surface's kept fonts, and with every line also
// creating and deleting its font family and font, as each drawing did before fonts were
// kept. Prints CPU and wall time per round and their ratio.
//   gdiplus_tick_bench configuration.json [seconds per variant]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration_text.h"
#include "panel/meter_panel.h"
#include "platform/steady_clock.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/gdiplus_surface.h"
#include "preview/demo_sources.h"
#include "preview/headless_platform.h"
#include "render/band_metrics.h"
#include "windows_cpu_time.h"

namespace {

using namespace tavisto;
namespace gdip = Gdiplus::DllExports;

// Creates and deletes the family and the font of a line the way every drawing did
// before the surface kept its fonts.
void createAndDeleteFont(std::u16string_view family, float sizePixels) {
    const std::wstring name(family.begin(), family.end());
    Gdiplus::GpFontFamily* named = nullptr;
    if (gdip::GdipCreateFontFamilyFromName(name.c_str(), nullptr, &named) != Gdiplus::Ok) {
        named = nullptr;
    }
    Gdiplus::GpFontFamily* const used = named != nullptr ? named : win32::sansSerifFamily().family;
    Gdiplus::GpFont* font = nullptr;
    if (used != nullptr && gdip::GdipCreateFont(used, sizePixels, Gdiplus::FontStyleRegular,
                                                Gdiplus::UnitPixel, &font) == Gdiplus::Ok) {
        gdip::GdipDeleteFont(font);
    }
    if (named != nullptr) {
        gdip::GdipDeleteFontFamily(named);
    }
}

class FontCreatingCanvas final : public platform::Canvas {
  public:
    explicit FontCreatingCanvas(std::unique_ptr<platform::Canvas> target)
        : target_(std::move(target)) {}
    void clearToTransparent(const InclusiveRect& area) override {
        target_->clearToTransparent(area);
    }
    void scrollArea(const Rect& area, int dx, int dy) override {
        target_->scrollArea(area, dx, dy);
    }
    void setQuality(platform::RenderQuality quality) override { target_->setQuality(quality); }
    void fillRectangle(Argb color, int x, int y, int width, int height) override {
        target_->fillRectangle(color, x, y, width, height);
    }
    void outlineRectangle(Argb color, int x, int y, int width, int height) override {
        target_->outlineRectangle(color, x, y, width, height);
    }
    void fillPie(Argb color, int x, int y, int width, int height, float startAngle,
                 float sweepAngle) override {
        target_->fillPie(color, x, y, width, height, startAngle, sweepAngle);
    }
    void outlineEllipse(Argb color, int x, int y, int width, int height) override {
        target_->outlineEllipse(color, x, y, width, height);
    }
    std::unique_ptr<platform::Font> createFont(std::u16string_view family,
                                               float sizePixels) override {
        createAndDeleteFont(family, sizePixels);
        return target_->createFont(family, sizePixels);
    }
    void drawString(std::u16string_view text, const platform::Font& font, Argb color,
                    const RectF& layout, platform::TextAlignment alignment,
                    platform::TextAlignment lineAlignment) override {
        target_->drawString(text, font, color, layout, alignment, lineAlignment);
    }
    float measureString(std::u16string_view text, const platform::Font& font) override {
        return target_->measureString(text, font);
    }
    void drawLine(std::u16string_view text, const platform::Font& font, Argb color,
                  const RectF& layout, platform::TextAlignment alignment) override {
        target_->drawLine(text, font, color, layout, alignment);
    }

  private:
    std::unique_ptr<platform::Canvas> target_;
};

class FontCreatingSurface final : public platform::MemorySurface {
  public:
    explicit FontCreatingSurface(std::unique_ptr<platform::MemorySurface> target)
        : target_(std::move(target)) {}
    bool replaceBackBuffer(int width, int height) override {
        return target_->replaceBackBuffer(width, height);
    }
    std::unique_ptr<platform::Canvas> beginDrawing() override {
        auto canvas = target_->beginDrawing();
        if (!canvas) {
            return nullptr;
        }
        return std::make_unique<FontCreatingCanvas>(std::move(canvas));
    }

  private:
    std::unique_ptr<platform::MemorySurface> target_;
};

class Surfaces final : public platform::SurfaceFactory {
  public:
    explicit Surfaces(bool keepFonts) : keepFonts_(keepFonts) {}
    std::unique_ptr<platform::MemorySurface> createMemorySurface() override {
        // The screen's DC stands in for the band window's.
        auto surface = win32::GdiplusSurfaceFactory(nullptr).createMemorySurface();
        if (!surface || keepFonts_) {
            return surface;
        }
        return std::make_unique<FontCreatingSurface>(std::move(surface));
    }

  private:
    bool keepFonts_;
};

using tavisto::bench::threadCpuSeconds;

double wallSeconds() {
    LARGE_INTEGER frequency{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Timing {
    double cpuMicroseconds = 0.0;
    double wallMicroseconds = 0.0;
};

// Rounds of every rate for about `budget` seconds of wall time.
Timing measure(const std::string& configuration, bool keepFonts, double budget) {
    preview::FixedScreen screen(96);
    preview::NotWindows version;
    preview::DemoCounters counters;
    preview::DemoPerformance performance;
    preview::DemoSensors sensors;
    preview::PreviewWindow window;
    preview::ManualTimers timers;
    preview::HeadlessTooltips tooltips;
    Surfaces surfaces(keepFonts);
    preview::FixedTheme theme(platform::TaskbarTheme::Dark);
    preview::EnglishLocale locale;
    platform::SteadyClock clock;
    const platform::PlatformServices services{screen,   version, counters, performance,
                                              sensors,  window,  timers,   tooltips,
                                              surfaces, theme,   locale,   clock};
    window.client = Rect{0, 0, 8192, 40};
    std::string error;
    const auto panel =
        MeterPanel::create(services, configuration, BandDirection::Horizontal, error);
    if (!panel) {
        std::fprintf(stderr, "cannot load the configuration: %s\n", error.c_str());
        std::exit(1);
    }
    window.client = Rect{
        0, 0, std::max(bandLength(panel->model(), panel->layout(), BandDirection::Horizontal), 1),
        40};
    panel->relayout(BandDirection::Horizontal);
    const auto round = [&] {
        for (const auto& [rate, meters] : panel->model().rates) {
            panel->tick(rate);
        }
    };
    round();
    long rounds = 0;
    const double cpuStart = threadCpuSeconds();
    const double wallStart = wallSeconds();
    double wall = 0.0;
    do {
        for (int i = 0; i < 20; ++i) {
            round();
        }
        rounds += 20;
        wall = wallSeconds() - wallStart;
    } while (wall < budget);
    const double cpu = threadCpuSeconds() - cpuStart;
    return {cpu * 1e6 / static_cast<double>(rounds), wall * 1e6 / static_cast<double>(rounds)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: gdiplus_tick_bench configuration.json [seconds]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const double budget = argc == 3 ? std::max(std::atof(argv[2]), 0.1) : 3.0;
    const win32::GdiplusSession gdiplus;
    if (!gdiplus.started()) {
        std::fprintf(stderr, "cannot start GDI+\n");
        return 1;
    }
    try {
        const std::string configuration = text.str();
        // Alternating halves, so that a change of load on the machine meets both variants.
        Timing kept, created;
        for (int half = 0; half < 2; ++half) {
            const Timing withKept = measure(configuration, true, budget / 2.0);
            const Timing withCreated = measure(configuration, false, budget / 2.0);
            kept.cpuMicroseconds += withKept.cpuMicroseconds / 2.0;
            kept.wallMicroseconds += withKept.wallMicroseconds / 2.0;
            created.cpuMicroseconds += withCreated.cpuMicroseconds / 2.0;
            created.wallMicroseconds += withCreated.wallMicroseconds / 2.0;
        }
        std::printf("%-34s %12s %12s\n", "round of every rate (GDI+)", "CPU", "wall");
        std::printf("%-34s %10.1fus %10.1fus\n", "fonts kept by the surface", kept.cpuMicroseconds,
                    kept.wallMicroseconds);
        std::printf("%-34s %10.1fus %10.1fus\n", "font created at every line",
                    created.cpuMicroseconds, created.wallMicroseconds);
        std::printf("%-34s %11.2fx %11.2fx\n", "ratio (created / kept)",
                    created.cpuMicroseconds / kept.cpuMicroseconds,
                    created.wallMicroseconds / kept.wallMicroseconds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", argv[1], failure.what());
        return 1;
    }
    return 0;
}
