#include "render/frame.h"

#include "render/layout.h"
#include "render/meters.h"

namespace tavisto {

void drawMeter(Meter& meter, platform::MemorySurface& surface) {
    if (auto canvas = surface.beginDrawing()) {
        canvas->clearToTransparent(meter.rect);
    }
    // Meter types are matched exactly; any other type leaves the rectangle transparent.
    if (meter.meterType == u"column") {
        if (meter.orientation == u"horizontal" || meter.sideBySide) {
            drawColumnVariant(meter, surface);
        } else {
            drawBarVariant(meter, surface);
        }
    } else if (meter.meterType == u"pie") {
        drawPieMeter(meter, surface);
    } else if (meter.meterType == u"text") {
        drawTextMeter(meter, surface);
    } else if (meter.meterType == u"indicator") {
        drawIndicatorMeter(meter, surface);
    }
}

void rebuildFrame(PanelModel& model, bool horizontalBand, platform::BandWindow& window,
                  platform::MemorySurface& surface) {
    const Rect client = window.clientRect();
    layoutPanel(model, horizontalBand, client, window);
    // An empty client area keeps the previous back buffer, which is drawn into.
    surface.replaceBackBuffer(client.width(), client.height());
    for (auto& [rate, meters] : model.metersByRate) {
        for (auto& meter : meters) {
            drawMeter(*meter, surface);
        }
    }
}

}  // namespace tavisto
