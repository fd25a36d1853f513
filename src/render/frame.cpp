#include "render/frame.h"

#include <bit>
#include <cstdint>
#include <vector>

#include "render/layout.h"
#include "render/meter_kinds.h"

namespace tavisto {
namespace {

bool referencesUnchanged(const MeterSamples& samples, const MeterFrame& frame) {
    std::size_t position = 0;
    for (const CounterSamples& counter : samples.counters) {
        for (const ReferenceSample& reference : counter.references) {
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
void recordDrawnValues(const MeterSamples& samples, MeterFrame& frame,
                       platform::TaskbarTheme theme) {
    frame.drawnValues.clear();
    for (const CounterSamples& counter : samples.counters) {
        for (const ReferenceSample& reference : counter.references) {
            frame.drawnValues.push_back(reference.value);
        }
    }
    frame.drawnAlertChanges = alertChanges(samples);
    frame.current = true;
    frame.theme = theme;
}

// Whether the meter's pixels are those it would draw with the values just sampled.
bool showsSampledValues(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, const MeterFrame& frame,
                        const DrawSettings& settings) {
    // An alert raised or cleared changes the colour, whatever the values.
    if (!frame.current || frame.neighbourDrew || frame.theme != settings.theme ||
        frame.drawnAlertChanges != alertChanges(samples)) {
        return false;
    }
    // Values that moved may still read the same text or fill the same pixels and
    // degrees.
    const auto showsCurrentValues = meterDrawing(meter.meterType).showsCurrentValues;
    return referencesUnchanged(samples, frame) ||
           (showsCurrentValues != nullptr &&
            showsCurrentValues(meter, samples, placement, frame, settings));
}

}  // namespace

void drawMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
               MeterFrame& frame, platform::MemorySurface& surface, const DrawSettings& settings) {
    frame.current = false;
    frame.neighbourDrew = false;
    if (auto canvas = surface.beginDrawing()) {
        canvas->clearToTransparent(drawnArea(placement));
        recordDrawnValues(samples, frame, settings.theme);
    }
    if (const auto draw = meterDrawing(meter.meterType).draw) {
        draw(meter, samples, placement, frame, surface, settings);
    }
}

bool drawSampledMeter(const Meter& meter, const MeterSamples& samples,
                      const MeterPlacement& placement, MeterFrame& frame,
                      platform::MemorySurface& surface, const DrawSettings& settings) {
    if (const auto shift = meterDrawing(meter.meterType).shift) {
        switch (shift(meter, samples, placement, frame, surface, settings)) {
            case GraphShift::Shifted:
                return true;
            case GraphShift::Unchanged:
                return false;
            case GraphShift::NeedsDrawing:
                break;
        }
    } else if (showsSampledValues(meter, samples, placement, frame, settings)) {
        // The pixels are those of the new values: they are now what the meter shows.
        recordDrawnValues(samples, frame, settings.theme);
        return false;
    }
    drawMeter(meter, samples, placement, frame, surface, settings);
    return true;
}

bool drawSampledMeters(const PanelModel& model, std::span<const std::size_t> meters,
                       const PanelSamples& samples, const PanelLayout& layout, FrameCache& frames,
                       platform::MemorySurface& surface, const DrawSettings& settings) {
    bool drew = false;
    for (const std::size_t index : meters) {
        if (drawSampledMeter(model.meters[index], samples[index], layout.of(index), frames[index],
                             surface, settings)) {
            drew = true;
            for (const std::size_t later : frames[index].laterNeighbours) {
                frames[later].neighbourDrew = true;
            }
        }
    }
    return drew;
}

void redrawFrame(const PanelModel& model, const PanelSamples& samples, const PanelLayout& layout,
                 FrameCache& frames, const Rect& client, platform::MemorySurface& surface,
                 const DrawSettings& settings) {
    // An empty client area keeps the previous back buffer, which is drawn into.
    surface.replaceBackBuffer(client.width(), client.height());
    for (const auto& [rate, meters] : model.rates) {
        for (const std::size_t index : meters) {
            drawMeter(model.meters[index], samples[index], layout.of(index), frames[index], surface,
                      settings);
        }
    }
}

}  // namespace tavisto
