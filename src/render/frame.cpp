#include "render/frame.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "render/layout.h"
#include "render/meters.h"

namespace tavisto {
namespace {

// What a meter draws into: its rectangle, and also its own width measured from its left
// edge, which text lines and the pie use even where a stacked group is narrower than
// the meter. Clearing all of it keeps the previous frame from showing through there.
Rect drawnArea(const Meter& meter) {
    Rect area = meter.rect;
    const std::int64_t extentRight = std::int64_t{area.left} + meterExtent(meter);
    area.right = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        extentRight, area.right, std::numeric_limits<std::int32_t>::max()));
    return area;
}

}  // namespace

void drawMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    if (auto canvas = surface.beginDrawing()) {
        canvas->clearToTransparent(drawnArea(meter));
    }
    // Meter types are matched exactly; any other type leaves the rectangle transparent.
    if (meter.meterType == u"column") {
        if (meter.orientation == u"horizontal" || meter.sideBySide) {
            drawColumnVariant(meter, surface, theme);
        } else {
            drawBarVariant(meter, surface, theme);
        }
    } else if (meter.meterType == u"pie") {
        drawPieMeter(meter, surface, theme);
    } else if (meter.meterType == u"text") {
        drawTextMeter(meter, surface, theme);
    } else if (meter.meterType == u"indicator") {
        drawIndicatorMeter(meter, surface, theme);
    } else if (meter.meterType == u"graph") {
        drawGraphMeter(meter, surface, theme);
    }
}

void drawSampledMeter(Meter& meter, platform::MemorySurface& surface,
                      platform::TaskbarTheme theme) {
    if (meter.meterType == u"graph") {
        recordGraphSamples(meter);
        if (shiftGraphMeter(meter, surface, theme)) {
            return;
        }
    }
    drawMeter(meter, surface, theme);
}

void rebuildFrame(PanelModel& model, bool horizontalBand, platform::BandWindow& window,
                  platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const Rect client = window.clientRect();
    layoutPanel(model, horizontalBand, client, window);
    // An empty client area keeps the previous back buffer, which is drawn into.
    surface.replaceBackBuffer(client.width(), client.height());
    for (auto& [rate, meters] : model.metersByRate) {
        for (auto& meter : meters) {
            drawMeter(*meter, surface, theme);
        }
    }
}

}  // namespace tavisto
