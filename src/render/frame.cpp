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

bool referencesUnchanged(const Meter& meter, const MeterFrame& frame) {
    std::size_t position = 0;
    for (const MeterCounter& counter : meter.counters) {
        for (const auto& [name, reference] : counter.references) {
            // Bit for bit, so that a NaN that stays NaN counts as unchanged.
            if (position == frame.drawnValues.size() ||
                std::bit_cast<std::uint64_t>(reference.value) !=
                    std::bit_cast<std::uint64_t>(frame.drawnValues[position++])) {
                return false;
            }
        }
    }
    return true;
}

// Within the capacity the frame entry was given: no allocation at a tick.
void recordDrawnValues(const Meter& meter, MeterFrame& frame, platform::TaskbarTheme theme) {
    frame.drawnValues.clear();
    for (const MeterCounter& counter : meter.counters) {
        for (const auto& [name, reference] : counter.references) {
            frame.drawnValues.push_back(reference.value);
        }
    }
    frame.current = true;
    frame.theme = theme;
}

// Whether the meter's pixels are those it would draw with the values just sampled.
bool showsSampledValues(Meter& meter, const MeterPlacement& placement, const MeterFrame& frame,
                        platform::TaskbarTheme theme) {
    if (!frame.current || frame.neighbourDrew || frame.theme != theme) {
        return false;
    }
    // Values that moved may still read the same text or fill the same pixels and
    // degrees.
    return referencesUnchanged(meter, frame) || showsLastDrawnLines(meter, frame) ||
           showsLastDrawnShapes(meter, placement, frame);
}

}  // namespace

void drawMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
               platform::MemorySurface& surface, const DrawSettings& settings) {
    frame.current = false;
    frame.neighbourDrew = false;
    if (auto canvas = surface.beginDrawing()) {
        canvas->clearToTransparent(drawnArea(meter, placement));
        recordDrawnValues(meter, frame, settings.theme);
    }
    switch (meter.meterType) {
        case MeterType::Column:
            if (placement.drawsColumns) {
                drawColumnVariant(meter, placement, frame, surface, settings.theme);
            } else {
                drawBarVariant(meter, placement, frame, surface, settings.theme);
            }
            break;
        case MeterType::Pie:
            drawPieMeter(meter, placement, frame, surface, settings.theme);
            break;
        case MeterType::Text:
            drawTextMeter(meter, placement, frame, surface, settings);
            break;
        case MeterType::Indicator:
            drawIndicatorMeter(meter, placement, frame, surface, settings);
            break;
        case MeterType::Graph:
            drawGraphMeter(meter, placement, frame, surface, settings.theme);
            break;
        case MeterType::Unknown:
            break;  // any other type leaves the rectangle transparent
    }
}

bool drawSampledMeter(Meter& meter, const MeterPlacement& placement, MeterFrame& frame,
                      platform::MemorySurface& surface, const DrawSettings& settings) {
    if (meter.meterType == MeterType::Graph) {
        // Before the newest sample: whether the picture holds only alike columns, which
        // no earlier neighbour drew over since.
        const bool neighbourDrew = std::exchange(frame.neighbourDrew, false);
        const bool pictureAlike =
            !neighbourDrew && graphDrawsEverySampleAlike(meter, placement, frame);
        recordGraphSamples(meter, placement);
        switch (shiftGraphMeter(meter, placement, frame, surface, settings.theme, pictureAlike)) {
            case GraphShift::Shifted:
                return true;
            case GraphShift::Unchanged:
                return false;
            case GraphShift::NeedsDrawing:
                break;
        }
    } else if (showsSampledValues(meter, placement, frame, settings.theme)) {
        // The pixels are those of the new values: they are now what the meter shows.
        recordDrawnValues(meter, frame, settings.theme);
        return false;
    }
    drawMeter(meter, placement, frame, surface, settings);
    return true;
}

bool drawSampledMeters(std::vector<std::unique_ptr<Meter>>& meters, const PanelLayout& layout,
                       FrameCache& frames, platform::MemorySurface& surface,
                       const DrawSettings& settings) {
    bool drew = false;
    for (auto& meter : meters) {
        if (drawSampledMeter(*meter, layout.of(*meter), frames[meter->index], surface, settings)) {
            drew = true;
            for (const std::size_t later : frames[meter->index].laterNeighbours) {
                frames[later].neighbourDrew = true;
            }
        }
    }
    return drew;
}

void redrawFrame(PanelModel& model, const PanelLayout& layout, FrameCache& frames,
                 const Rect& client, platform::MemorySurface& surface,
                 const DrawSettings& settings) {
    // An empty client area keeps the previous back buffer, which is drawn into.
    surface.replaceBackBuffer(client.width(), client.height());
    for (auto& [rate, meters] : model.metersByRate) {
        for (auto& meter : meters) {
            drawMeter(*meter, layout.of(*meter), frames[meter->index], surface, settings);
        }
    }
}

}  // namespace tavisto
