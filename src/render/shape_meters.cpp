#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/rounding.h"
#include "render/layout.h"
#include "render/meters.h"
#include "sampling/counter_value.h"

namespace tavisto {
namespace {

// Bars and pies scale the bare value (not its offset from minValue) by the range; an
// empty range counts as 1.
double rangeOf(const MeterCounter& counter) {
    const double range = counter.maxValue - counter.minValue;
    return range == 0.0 ? 1.0 : range;
}

// Length in pixels of a counter's bar, with its value taken now.
std::int32_t barPixels(MeterCounter& counter, double barLength) {
    const double value = currentValue(counter);
    return roundToInt32((barLength / rangeOf(counter)) * value);
}

// A pie leaves a counter whose value is 0 out, rather than drawing an empty sector.
constexpr std::int64_t kNoSector = std::numeric_limits<std::int64_t>::min();

// Whole degrees of a counter's sector, with its value taken now, so that neighbouring
// sectors meet without gaps.
std::int64_t sectorDegrees(MeterCounter& counter) {
    const double value = currentValue(counter);
    if (value == 0.0) {
        return kNoSector;
    }
    return roundToInt32(value / rangeOf(counter) * 360.0);
}

// Bar lengths saturate at the 32-bit ends, so the cursor that strings them together
// is kept in 64 bits and clamped where it becomes a coordinate.
int toCoordinate(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

}  // namespace

bool showsLastDrawnShapes(Meter& meter) {
    const bool pie = meter.meterType == MeterType::Pie;
    if (!pie && meter.meterType != MeterType::Column) {
        return false;
    }
    for (MeterCounter& counter : meter.counters) {
        const std::int64_t extent =
            pie ? sectorDegrees(counter) : barPixels(counter, meter.barLength);
        if (extent != counter.drawnExtent) {
            return false;
        }
    }
    return true;
}

void drawColumnVariant(Meter& meter, platform::MemorySurface& surface,
                       platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const int thickness = meterExtent(meter);
    std::int64_t y = meter.rect.bottom;
    for (MeterCounter& counter : meter.counters) {
        const std::int32_t length = barPixels(counter, meter.barLength);
        counter.drawnExtent = length;
        y -= length;
        canvas->fillRectangle(counter.color.on(theme), meter.rect.left, toCoordinate(y), thickness,
                              length);
    }
    canvas->outlineRectangle(meter.color.on(theme), meter.rect.left, meter.rect.top, thickness,
                             toCoordinate(std::int64_t{meter.rect.bottom} - meter.rect.top));
}

void drawBarVariant(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const int thickness = meterExtent(meter);
    std::int64_t x = meter.rect.left;
    for (MeterCounter& counter : meter.counters) {
        const std::int32_t length = barPixels(counter, meter.barLength);
        counter.drawnExtent = length;
        canvas->fillRectangle(counter.color.on(theme), toCoordinate(x), meter.rect.top, length,
                              thickness);
        x += length;
    }
    canvas->outlineRectangle(meter.color.on(theme), meter.rect.left, meter.rect.top,
                             toCoordinate(std::int64_t{meter.rect.right} - meter.rect.left),
                             thickness);
}

void drawPieMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::Shapes);
    const std::int64_t width = meterExtent(meter);
    const std::int64_t height = std::int64_t{meter.rect.bottom} - meter.rect.top;
    const int diameter = toCoordinate(std::min(width, height));
    // The circle is centred along the longer side of the meter's extent.
    std::int64_t top = meter.rect.top;
    std::int64_t left = meter.rect.left;
    if (width < height) {
        top += roundToInt32(static_cast<double>(height - width) * 0.5);
    }
    if (width > height) {
        left += roundToInt32(static_cast<double>(width - height) * 0.5);
    }
    const int x = toCoordinate(left);
    const int y = toCoordinate(top);
    float start = -90.0F;
    for (MeterCounter& counter : meter.counters) {
        const std::int64_t degrees = sectorDegrees(counter);
        counter.drawnExtent = degrees;
        if (degrees == kNoSector) {
            continue;
        }
        const auto sweep = static_cast<float>(degrees);
        canvas->fillPie(counter.color.on(theme), x, y, diameter, diameter, start, sweep);
        start += sweep;
    }
    canvas->outlineEllipse(meter.color.on(theme), x, y, diameter, diameter);
}

}  // namespace tavisto
