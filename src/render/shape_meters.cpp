#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/rounding.h"
#include "render/layout.h"
#include "render/meters.h"

namespace tavisto {
namespace {

// Bars and pies scale the bare value (not its offset from minValue) by the range; an
// empty range counts as 1.
double rangeOf(const CounterSamples& counter) {
    const double range = counter.maxValue - counter.minValue;
    return range == 0.0 ? 1.0 : range;
}

// Length in pixels of a counter's bar.
std::int32_t barPixels(const CounterSamples& counter, double barLength) {
    return roundToInt32((barLength / rangeOf(counter)) * counter.value);
}

// A pie leaves a counter whose value is 0 or not available out, rather than drawing an
// empty sector.
constexpr std::int64_t kNoSector = std::numeric_limits<std::int64_t>::min();

// Whole degrees of a counter's sector, so that neighbouring sectors meet without gaps.
std::int64_t sectorDegrees(const CounterSamples& counter) {
    if (counter.value == 0.0 || std::isnan(counter.value)) {
        return kNoSector;
    }
    return roundToInt32(counter.value / rangeOf(counter) * 360.0);
}

// One extent per counter, kept in place across ticks.
void sizeExtents(const Meter& meter, MeterFrame& frame) {
    frame.drawnExtents.resize(meter.counters.size());
}

// Whether `extentOf` each counter is the extent last drawn for it.
template <typename ExtentOf>
bool showsExtents(const MeterSamples& samples, const MeterFrame& frame, ExtentOf extentOf) {
    if (frame.drawnExtents.size() != samples.counters.size()) {
        return false;
    }
    for (std::size_t index = 0; index < samples.counters.size(); ++index) {
        if (extentOf(samples.counters[index]) != frame.drawnExtents[index]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool showsLastDrawnBars(const Meter&, const MeterSamples& samples, const MeterPlacement& placement,
                        const MeterFrame& frame, const DrawSettings&) {
    return showsExtents(samples, frame, [&](const CounterSamples& counter) {
        return std::int64_t{barPixels(counter, placement.barLength)};
    });
}

bool showsLastDrawnSectors(const Meter&, const MeterSamples& samples, const MeterPlacement&,
                           const MeterFrame& frame, const DrawSettings&) {
    return showsExtents(samples, frame,
                        [](const CounterSamples& counter) { return sectorDegrees(counter); });
}

void drawColumnMeter(const Meter& meter, const MeterSamples& samples,
                     const MeterPlacement& placement, MeterFrame& frame,
                     platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    if (placement.drawsColumns) {
        drawColumnVariant(meter, samples, placement, frame, surface, theme);
    } else {
        drawBarVariant(meter, samples, placement, frame, surface, theme);
    }
}

void drawColumnVariant(const Meter& meter, const MeterSamples& samples,
                       const MeterPlacement& placement, MeterFrame& frame,
                       platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const int thickness = placement.extent;
    // Bar lengths saturate at the 32-bit ends, so the cursor that strings them together
    // is kept in 64 bits and clamped where it becomes a coordinate.
    std::int64_t y = placement.rect.bottom;
    sizeExtents(meter, frame);
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const std::int32_t length = barPixels(samples.counters[index], placement.barLength);
        frame.drawnExtents[index] = length;
        y -= length;
        canvas->fillRectangle(shownColour(counter, samples.counters[index]).on(theme), placement.rect.left, clampToInt32(y),
                              thickness, length);
    }
    canvas->outlineRectangle(
        meter.color.on(theme), placement.rect.left, placement.rect.top, thickness,
        clampToInt32(std::int64_t{placement.rect.bottom} - placement.rect.top));
}

void drawBarVariant(const Meter& meter, const MeterSamples& samples,
                    const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const int thickness = placement.extent;
    std::int64_t x = placement.rect.left;
    sizeExtents(meter, frame);
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const std::int32_t length = barPixels(samples.counters[index], placement.barLength);
        frame.drawnExtents[index] = length;
        canvas->fillRectangle(shownColour(counter, samples.counters[index]).on(theme), clampToInt32(x), placement.rect.top, length,
                              thickness);
        x += length;
    }
    canvas->outlineRectangle(meter.color.on(theme), placement.rect.left, placement.rect.top,
                             clampToInt32(std::int64_t{placement.rect.right} - placement.rect.left),
                             thickness);
}

void drawPieMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                  MeterFrame& frame, platform::MemorySurface& surface,
                  platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const std::int64_t width = placement.extent;
    const std::int64_t height = std::int64_t{placement.rect.bottom} - placement.rect.top;
    const int diameter = clampToInt32(std::min(width, height));
    // The circle is centred along the longer side of the meter's extent.
    std::int64_t top = placement.rect.top;
    std::int64_t left = placement.rect.left;
    if (width < height) {
        top += roundToInt32(static_cast<double>(height - width) * 0.5);
    }
    if (width > height) {
        left += roundToInt32(static_cast<double>(width - height) * 0.5);
    }
    const int x = clampToInt32(left);
    const int y = clampToInt32(top);
    float start = -90.0F;
    sizeExtents(meter, frame);
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const std::int64_t degrees = sectorDegrees(samples.counters[index]);
        frame.drawnExtents[index] = degrees;
        if (degrees == kNoSector) {
            continue;
        }
        const auto sweep = static_cast<float>(degrees);
        canvas->fillPie(shownColour(counter, samples.counters[index]).on(theme), x, y, diameter, diameter, start, sweep);
        start += sweep;
    }
    canvas->outlineEllipse(meter.color.on(theme), x, y, diameter, diameter);
}

}  // namespace tavisto
