#pragma once
// A meter drawn alone, with the placement, the samples and the frame entry a panel
// keeps for it.

#include <cstddef>
#include <vector>

#include "config/meter_model.h"
#include "render/frame.h"
#include "render/layout.h"
#include "render/meter_frame.h"
#include "render/meter_kinds.h"
#include "render/meters.h"
#include "sampling/counter_value.h"
#include "sampling/meter_samples.h"

namespace tavisto::testing {

// A counter and the latest sample of each of its references.
struct SampledCounter : MeterCounter {
    double sample = 0.0;
};

struct PlacedMeter : Meter {
    MeterPlacement placement;
    MeterFrame frame;
    MeterSamples samples;
};

// As layout measures the meter's own extent at 96 DPI and the panel sizes the histories
// of a kind that keeps them.
inline void sizeHistories(PlacedMeter& meter) {
    meter.placement.extent = meterExtent(meter, 1.0);
    if (meter.samples.counters.size() != meter.counters.size()) {
        meter.samples = initialSamples(meter);
    }
    if (const auto capacity = meterDrawing(meter.meterType).historyCapacity) {
        for (CounterSamples& counter : meter.samples.counters) {
            counter.history.resize(capacity(meter.placement));
        }
    }
}

// Every reference of the counter at each position gets that position's value as its
// latest sample, and the meter takes the values as a tick does.
inline void sampleMeter(PlacedMeter& meter, const std::vector<double>& values) {
    sizeHistories(meter);
    for (std::size_t index = 0; index < values.size() && index < meter.samples.counters.size();
         ++index) {
        for (ReferenceSample& reference : meter.samples.counters[index].references) {
            reference.value = values[index];
        }
    }
    takeSamples(meter, meter.samples);
}

// The meter with these counters, sampled at their samples.
inline void setCounters(PlacedMeter& meter, const std::vector<SampledCounter>& counters) {
    std::vector<double> values;
    meter.counters.clear();
    for (const SampledCounter& counter : counters) {
        meter.counters.push_back(counter);
        values.push_back(counter.sample);
    }
    meter.samples = initialSamples(meter);
    sampleMeter(meter, values);
}

// Drawn whole, as a relayout draws it.
inline void drawPlaced(PlacedMeter& meter, platform::MemorySurface& surface,
                       platform::TaskbarTheme theme, bool windows10OrLater = false) {
    sizeHistories(meter);
    drawMeter(meter, meter.samples, meter.placement, meter.frame, surface,
              DrawSettings{theme, windows10OrLater});
}

// Drawn as a tick draws it after sampling.
inline bool drawSampledPlaced(PlacedMeter& meter, platform::MemorySurface& surface,
                              platform::TaskbarTheme theme) {
    meter.placement.extent = meterExtent(meter, 1.0);
    return drawSampledMeter(meter, meter.samples, meter.placement, meter.frame, surface,
                            DrawSettings{theme});
}

}  // namespace tavisto::testing
