#include "render/frame.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "render/layout.h"
#include "render/meters.h"

namespace tavisto {
namespace {

bool referencesUnchanged(const Meter& meter) {
    for (const MeterCounter& counter : meter.counters) {
        for (const auto& [name, reference] : counter.references) {
            // Bit for bit, so that a NaN that stays NaN counts as unchanged.
            if (std::bit_cast<std::uint64_t>(reference.value) !=
                std::bit_cast<std::uint64_t>(reference.drawnValue)) {
                return false;
            }
        }
    }
    return true;
}

void recordDrawnValues(Meter& meter, platform::TaskbarTheme theme) {
    for (MeterCounter& counter : meter.counters) {
        for (auto& [name, reference] : counter.references) {
            reference.drawnValue = reference.value;
        }
    }
    meter.drawn.current = true;
    meter.drawn.theme = theme;
}

bool showsSampledValues(Meter& meter, platform::TaskbarTheme theme) {
    if (!meter.drawn.current || meter.drawn.neighbourDrew || meter.drawn.theme != theme) {
        return false;
    }
    if (referencesUnchanged(meter)) {
        return true;
    }
    // Values that moved may still read the same text or fill the same pixels and
    // degrees: then the meter's pixels are those it would draw with them.
    if (showsLastDrawnLines(meter) || showsLastDrawnShapes(meter)) {
        recordDrawnValues(meter, theme);
        return true;
    }
    return false;
}

}  // namespace

void drawMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    meter.drawn.current = false;
    meter.drawn.neighbourDrew = false;
    if (auto canvas = surface.beginDrawing()) {
        canvas->clearToTransparent(drawnArea(meter));
        recordDrawnValues(meter, theme);
    }
    switch (meter.meterType) {
        case MeterType::Column:
            if (meter.drawsColumns) {
                drawColumnVariant(meter, surface, theme);
            } else {
                drawBarVariant(meter, surface, theme);
            }
            break;
        case MeterType::Pie:
            drawPieMeter(meter, surface, theme);
            break;
        case MeterType::Text:
            drawTextMeter(meter, surface, theme);
            break;
        case MeterType::Indicator:
            drawIndicatorMeter(meter, surface, theme);
            break;
        case MeterType::Graph:
            drawGraphMeter(meter, surface, theme);
            break;
        case MeterType::Unknown:
            break;  // any other type leaves the rectangle transparent
    }
}

bool drawSampledMeter(Meter& meter, platform::MemorySurface& surface,
                      platform::TaskbarTheme theme) {
    if (meter.meterType == MeterType::Graph) {
        // Before the newest sample: whether the picture holds only alike columns, which
        // no earlier neighbour drew over since.
        const bool neighbourDrew = std::exchange(meter.drawn.neighbourDrew, false);
        const bool pictureAlike = !neighbourDrew && graphDrawsEverySampleAlike(meter);
        recordGraphSamples(meter);
        switch (shiftGraphMeter(meter, surface, theme, pictureAlike)) {
            case GraphShift::Shifted:
                return true;
            case GraphShift::Unchanged:
                return false;
            case GraphShift::NeedsDrawing:
                break;
        }
    } else if (showsSampledValues(meter, theme)) {
        return false;
    }
    drawMeter(meter, surface, theme);
    return true;
}

bool drawSampledMeters(std::vector<std::unique_ptr<Meter>>& meters,
                       platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    bool drew = false;
    for (auto& meter : meters) {
        if (drawSampledMeter(*meter, surface, theme)) {
            drew = true;
            for (Meter* later : meter->drawn.laterNeighbours) {
                later->drawn.neighbourDrew = true;
            }
        }
    }
    return drew;
}

void redrawFrame(PanelModel& model, const Rect& client, platform::MemorySurface& surface,
                 platform::TaskbarTheme theme) {
    // An empty client area keeps the previous back buffer, which is drawn into.
    surface.replaceBackBuffer(client.width(), client.height());
    for (auto& [rate, meters] : model.metersByRate) {
        for (auto& meter : meters) {
            drawMeter(*meter, surface, theme);
        }
    }
}

}  // namespace tavisto
