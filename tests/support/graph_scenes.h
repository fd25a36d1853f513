#pragma once
// Graph meters for the pixel tests of the drawing surfaces, which check real pixels of
// the same scenes on Cairo and on GDI+.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "config/meter_model.h"
#include "platform/drawing.h"
#include "render/frame.h"

namespace tavisto::testing {

inline constexpr Argb kGraphRed = 0xFFFF0000;

// Opaque red, or the brighter red of an area's edge.
inline bool paintedRed(std::uint32_t pixel) {
    return (pixel & 0xFFFF0000U) == 0xFFFF0000U;
}

// A graph of one counter per colour, each in the range 0 to 100, laid out in the
// horizontal band (time along x) or the vertical one (time along y).
inline Meter graphForPixels(Rect rect, bool horizontalBand, std::u16string style,
                            std::vector<std::u16string> colors) {
    Meter meter;
    meter.meterType = u"graph";
    meter.style = std::move(style);
    meter.color = u"#0000FF";
    meter.rect = rect;
    meter.sideBySide = horizontalBand;
    for (std::u16string& color : colors) {
        MeterCounter counter;
        counter.color = std::move(color);
        counter.minValue = 0.0;
        counter.maxValue = 100.0;
        counter.references["a"] = CounterReference{CounterReference::PerformanceCounter, u"\\T\\a"};
        meter.counters.push_back(std::move(counter));
    }
    return meter;
}

// One tick: every counter's sample becomes `value`, and the meter is drawn as a tick
// draws it.
inline void tickGraph(Meter& meter, platform::MemorySurface& surface, double value,
                      platform::TaskbarTheme theme = platform::TaskbarTheme::Dark) {
    for (MeterCounter& counter : meter.counters) {
        counter.references["a"].value = value;
    }
    drawSampledMeter(meter, surface, theme);
}

// Uneven samples, counter by counter different, so that lines rise and fall by
// several pixels between neighbours.
inline void tickWave(Meter& meter, platform::MemorySurface& surface, int ticks) {
    for (int step = 0; step < ticks; ++step) {
        double offset = 0.0;
        for (MeterCounter& counter : meter.counters) {
            counter.references["a"].value = 50.0 + 45.0 * std::sin(0.7 * step + offset);
            offset += 1.9;
        }
        drawSampledMeter(meter, surface, platform::TaskbarTheme::Dark);
    }
}

// The pixels of the area [left, right] x [top, bottom], outline included, row by row.
template <typename Surface>
std::vector<std::uint32_t> pixelsOf(const Surface& surface, const Rect& area) {
    std::vector<std::uint32_t> pixels;
    for (int y = area.top; y <= area.bottom; ++y) {
        for (int x = area.left; x <= area.right; ++x) {
            pixels.push_back(surface.pixel(x, y));
        }
    }
    return pixels;
}

}  // namespace tavisto::testing
