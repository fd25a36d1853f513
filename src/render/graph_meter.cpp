#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "config/configuration_text.h"
#include "core/rounding.h"
#include "render/meters.h"

namespace tavisto {
namespace {

// Where a graph draws. Samples take one pixel each along the band, the newest at the
// right end (horizontal band) or at the bottom (vertical band); values rise across the
// band from the baseline inside the outline. Along the band the outline's sides lie on
// the meter's first and last pixels, since the pixel past its end is the next meter's:
// the oldest sample lies under the first side (its value shows in the next sample's
// join), and the newest sample sits just inside the last.
struct GraphGeometry {
    Rect rect;
    bool horizontal = true;
    std::int64_t length = 0;  // sample positions along the band
    std::int64_t height = 0;  // value pixels across the band
};

GraphGeometry geometryOf(const MeterPlacement& placement) {
    const Rect& rect = placement.rect;
    const std::int64_t width = std::max<std::int64_t>(std::int64_t{rect.right} - rect.left, 0);
    const std::int64_t tall = std::max<std::int64_t>(std::int64_t{rect.bottom} - rect.top, 0);
    // Layout places meters side by side exactly when the band is horizontal.
    if (placement.sideBySide) {
        return {rect, true, std::max<std::int64_t>(width - 1, 0),
                std::max<std::int64_t>(tall - 1, 0)};
    }
    return {rect, false, std::max<std::int64_t>(tall - 1, 0), std::max<std::int64_t>(width - 1, 0)};
}

std::size_t historyCapacity(const GraphGeometry& geometry) {
    return static_cast<std::size_t>(
        std::min(geometry.length, static_cast<std::int64_t>(kMaxGraphSamples)));
}

// The samples a graph of this geometry shows: the newest of its history, which may keep
// more for a longer view of the same meter.
std::size_t shownSamples(const SampleHistory& history, const GraphGeometry& geometry) {
    return std::min(history.size(), historyCapacity(geometry));
}

// The configured range; a dynamic bound moves out to the extreme of the samples shown,
// and comes back when that sample scrolls out. An infinite configured bound that is
// dynamic follows the samples alone.
GraphRange rangeOf(const MeterCounter& counter, const SampleHistory& history,
                   const GraphGeometry& geometry) {
    GraphRange range{counter.minValue, counter.maxValue};
    if (!counter.dynamicMinValue && !counter.dynamicMaxValue) {
        return range;
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (std::size_t age = 0; age < shownSamples(history, geometry); ++age) {
        const double value = history.fromNewest(age);
        if (std::isfinite(value)) {
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
    }
    if (lowest > highest) {
        return range;  // no finite sample yet
    }
    if (counter.dynamicMinValue) {
        range.bottom = std::isinf(range.bottom) ? lowest : std::min(range.bottom, lowest);
    }
    if (counter.dynamicMaxValue) {
        range.top = std::isinf(range.top) ? highest : std::max(range.top, highest);
    }
    return range;
}

// Pixels the value fills from the baseline. Values outside the range are held at its
// ends; NaN, an empty range and an infinite one fill nothing.
std::int64_t filledPixels(double value, const GraphRange& range, std::int64_t height) {
    const double fraction = (value - range.bottom) / (range.top - range.bottom);
    if (!(fraction > 0.0)) {
        return 0;
    }
    return std::min<std::int64_t>(
        roundToInt32(std::min(fraction, 1.0) * static_cast<double>(height)), height);
}

// Half way to white: the edge of an area.
Argb brighter(Argb color) {
    Argb result = color & 0xFF000000U;
    for (const int shift : {16, 8, 0}) {
        const Argb channel = (color >> shift) & 0xFFU;
        result |= (channel + (0xFFU - channel) / 2) << shift;
    }
    return result;
}

class GraphPainter {
  public:
    GraphPainter(platform::Canvas& canvas, const GraphGeometry& geometry)
        : canvas_(canvas), geometry_(geometry) {}

    // One sample at `position` along the band. The line (or the area's edge) runs from
    // the previous sample's level to this one's, so that neighbouring samples join.
    void drawSample(Argb fill, bool area, std::int64_t position, std::int64_t filled,
                    std::optional<std::int64_t> previousFilled) {
        if (geometry_.height == 0) {
            return;
        }
        if (area && filled > 0) {
            fillSpan(fill, position, 0, filled - 1);
        }
        // A value at the baseline still shows its line on the lowest pixel.
        const auto level = [](std::int64_t pixels) {
            return std::max<std::int64_t>(pixels, 1) - 1;
        };
        const std::int64_t current = level(filled);
        std::int64_t from = current;
        std::int64_t to = current;
        if (previousFilled) {
            const std::int64_t previous = level(*previousFilled);
            if (previous > current) {
                to = previous - 1;
            } else if (previous < current) {
                from = previous + 1;
            }
        }
        fillSpan(area ? brighter(fill) : fill, position, from, to);
    }

    // A one-pixel outline covers the pixels at x and x + width: along the band it ends
    // on the meter's last pixel, across the band on the row or column past the values.
    void drawOutline(Argb color) {
        const Rect& rect = geometry_.rect;
        const std::int64_t width = std::int64_t{rect.right} - rect.left;
        const std::int64_t tall = std::int64_t{rect.bottom} - rect.top;
        canvas_.outlineRectangle(color, rect.left, rect.top,
                                 clampToInt32(geometry_.horizontal ? width - 1 : width),
                                 clampToInt32(geometry_.horizontal ? tall : tall - 1));
    }

    // Moves every sample one position back, making room for the newest; the outline's
    // last side stays where it is.
    void scrollOnePosition() {
        const Rect& rect = geometry_.rect;
        if (geometry_.horizontal) {
            canvas_.scrollArea(Rect{rect.left, clampToInt32(std::int64_t{rect.top} + 1),
                                    clampToInt32(std::int64_t{rect.right} - 1), rect.bottom},
                               -1, 0);
        } else {
            canvas_.scrollArea(Rect{clampToInt32(std::int64_t{rect.left} + 1), rect.top, rect.right,
                                    clampToInt32(std::int64_t{rect.bottom} - 1)},
                               0, -1);
        }
    }

  private:
    // The value pixels `from` to `to` (both included, 0 at the baseline) at `position`.
    void fillSpan(Argb color, std::int64_t position, std::int64_t from, std::int64_t to) {
        const Rect& rect = geometry_.rect;
        const int extent = clampToInt32(to - from + 1);
        if (geometry_.horizontal) {
            canvas_.fillRectangle(color, clampToInt32(rect.left + position),
                                  clampToInt32(std::int64_t{rect.bottom} - 1 - to), 1, extent);
        } else {
            canvas_.fillRectangle(color, clampToInt32(std::int64_t{rect.left} + 1 + from),
                                  clampToInt32(rect.top + position), extent, 1);
        }
    }

    platform::Canvas& canvas_;
    GraphGeometry geometry_;
};

// A sample taken while the counter's alert was raised keeps the alert's colour.
const Colour& sampleColour(const MeterCounter& counter, const SampleHistory& history,
                           std::size_t age) {
    return counter.alert && history.inAlertFromNewest(age) ? counter.alert->color : counter.color;
}

bool drawsArea(const Meter& meter) {
    return meter.style != GraphStyle::Line;
}

// Every position along the graph holds a sample, and every sample fills as many pixels
// as the newest under the given ranges. A column joins its sample to the one before it,
// so the picture shows the oldest sample too, in the second column's join.
bool drawsEverySampleAlike(const MeterSamples& samples, const GraphGeometry& geometry,
                           const std::vector<GraphRange>& ranges) {
    for (std::size_t index = 0; index < samples.counters.size(); ++index) {
        const SampleHistory& history = samples.counters[index].history;
        // A graph without room for a sample has no newest one to compare with.
        const std::size_t shown = shownSamples(history, geometry);
        if (shown == 0 || static_cast<std::int64_t>(shown) != geometry.length) {
            return false;
        }
        const std::int64_t newest =
            filledPixels(history.fromNewest(0), ranges[index], geometry.height);
        for (std::size_t age = 1; age < shown; ++age) {
            if (filledPixels(history.fromNewest(age), ranges[index], geometry.height) != newest ||
                history.inAlertFromNewest(age) != history.inAlertFromNewest(0)) {
                return false;
            }
        }
    }
    return true;
}

// After a new sample over a picture of alike samples: the new picture is alike too
// exactly when the newest sample fills as many pixels as the one before it. A graph one
// sample long keeps no sample before the newest, and always draws it.
bool newestFillsAsTheOneBefore(const MeterSamples& samples, const std::vector<GraphRange>& ranges,
                               std::int64_t height) {
    for (std::size_t index = 0; index < samples.counters.size(); ++index) {
        const SampleHistory& history = samples.counters[index].history;
        if (history.size() < 2 ||
            filledPixels(history.fromNewest(0), ranges[index], height) !=
                filledPixels(history.fromNewest(1), ranges[index], height) ||
            history.inAlertFromNewest(0) != history.inAlertFromNewest(1)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t graphHistoryCapacity(const MeterPlacement& placement) {
    return historyCapacity(geometryOf(placement));
}

void drawGraphMeter(const Meter& meter, const MeterSamples& samples,
                    const MeterPlacement& placement, MeterFrame& frame,
                    platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    const GraphGeometry geometry = geometryOf(placement);
    frame.graph.valid = false;
    frame.graph.everySampleAlike = false;
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(platform::RenderQuality::PixelExact);
    GraphPainter painter(*canvas, geometry);
    std::vector<GraphRange> ranges;
    ranges.reserve(meter.counters.size());
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const SampleHistory& history = samples.counters[index].history;
        const GraphRange range = rangeOf(counter, history, geometry);
        ranges.push_back(range);
        std::optional<std::int64_t> previous;
        // Oldest first, so that each sample's line joins the one before it.
        for (std::size_t age = shownSamples(history, geometry); age-- > 0;) {
            const std::int64_t filled =
                filledPixels(history.fromNewest(age), range, geometry.height);
            painter.drawSample(sampleColour(counter, history, age).on(theme), drawsArea(meter),
                               geometry.length - 1 - static_cast<std::int64_t>(age), filled,
                               previous);
            previous = filled;
        }
    }
    painter.drawOutline(meter.color.on(theme));
    const bool alike = drawsEverySampleAlike(samples, geometry, ranges);
    frame.graph = {true,
                   placement.rect,
                   geometry.horizontal ? BandDirection::Horizontal : BandDirection::Vertical,
                   theme,
                   std::move(ranges),
                   alike};
}

GraphShift shiftGraphMeter(const Meter& meter, const MeterSamples& samples,
                           const MeterPlacement& placement, MeterFrame& frame,
                           platform::MemorySurface& surface, const DrawSettings& settings) {
    // Whether the picture holds only alike columns, which no earlier neighbour drew over
    // since.
    const bool pictureAlike =
        !std::exchange(frame.neighbourDrew, false) && frame.graph.everySampleAlike;
    const platform::TaskbarTheme theme = settings.theme;
    const GraphGeometry geometry = geometryOf(placement);
    GraphPixels& drawn = frame.graph;
    if (!drawn.valid || drawn.rect != placement.rect ||
        (drawn.direction == BandDirection::Horizontal) != geometry.horizontal ||
        drawn.theme != theme || drawn.ranges.size() != meter.counters.size() ||
        geometry.length == 0) {
        return GraphShift::NeedsDrawing;
    }
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        if (rangeOf(meter.counters[index], samples.counters[index].history, geometry) !=
            drawn.ranges[index]) {
            return GraphShift::NeedsDrawing;
        }
    }
    if (pictureAlike && newestFillsAsTheOneBefore(samples, drawn.ranges, geometry.height)) {
        return GraphShift::Unchanged;
    }
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return GraphShift::NeedsDrawing;
    }
    canvas->setQuality(platform::RenderQuality::PixelExact);
    GraphPainter painter(*canvas, geometry);
    painter.scrollOnePosition();
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const SampleHistory& history = samples.counters[index].history;
        if (history.size() == 0) {
            continue;
        }
        const GraphRange& range = drawn.ranges[index];
        std::optional<std::int64_t> previous;
        if (shownSamples(history, geometry) > 1) {
            previous = filledPixels(history.fromNewest(1), range, geometry.height);
        }
        painter.drawSample(sampleColour(meter.counters[index], history, 0).on(theme),
                           drawsArea(meter),
                           geometry.length - 1,
                           filledPixels(history.fromNewest(0), range, geometry.height), previous);
    }
    painter.drawOutline(meter.color.on(theme));
    drawn.everySampleAlike = drawsEverySampleAlike(samples, geometry, drawn.ranges);
    return GraphShift::Shifted;
}

}  // namespace tavisto
