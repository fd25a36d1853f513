#include <cstddef>
#include <cstdint>
#include <string>

#include "render/layout.h"
#include "render/meters.h"
#include "render/value_format.h"

namespace tavisto {
namespace {

using platform::TextAlignment;

// The text a text meter shows for one counter, formatted into `text`.
std::u16string_view textLine(const MeterCounter& counter, const CounterSamples& samples,
                             ValueText& text) {
    text = textMeterLine(counter, samples.value, samples.maxValue - samples.minValue);
    return text.view();
}

std::u16string_view indicatorLine(const MeterCounter& counter, const CounterSamples& samples,
                                  ValueText&) {
    return triggerHolds(samples.value, counter.triggerValue, counter.triggerOperator)
               ? counter.indicator
               : std::u16string_view();
}

// Draws one line per counter in equal slices of the meter's height. A line that shows
// nothing still takes its slice, so the lines of a meter never move.
template <typename LineText>
void drawLines(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
               MeterFrame& frame, platform::MemorySurface& surface, const DrawSettings& settings,
               TextAlignment alignment, LineText lineText) {
    if (meter.counters.empty()) {
        return;
    }
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(settings.windows10OrLater ? platform::RenderQuality::TextModern
                                                 : platform::RenderQuality::TextLegacy);
    // One line per counter, kept in place across ticks.
    frame.drawnLines.resize(meter.counters.size());
    const auto lines = static_cast<std::int64_t>(meter.counters.size());
    const std::int64_t sliceHeight =
        (std::int64_t{placement.rect.bottom} - placement.rect.top) / lines;
    std::int64_t top = placement.rect.top;
    ValueText formatted;
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const std::u16string_view text = lineText(counter, samples.counters[index], formatted);
        frame.drawnLines[index].assign(text);
        const RectF layout{static_cast<float>(placement.rect.left), static_cast<float>(top),
                           static_cast<float>(placement.extent), static_cast<float>(sliceHeight)};
        // GDI+ reads a zero width or height as unbounded, so a slice without area would
        // spill its text over the neighbouring meters; such a line is left out.
        if (layout.width <= 0.0F || layout.height <= 0.0F) {
            top += sliceHeight;
            continue;
        }
        const auto font = canvas->createFont(
            counter.font,
            static_cast<float>(platform::scaledPixels(counter.fontSize, settings.scale)));
        if (font) {
            canvas->drawString(text, *font, counter.color.on(settings.theme), layout, alignment,
                               TextAlignment::Center);
        }
        top += sliceHeight;
    }
}

template <typename LineText>
bool showsLines(const Meter& meter, const MeterSamples& samples, const MeterFrame& frame,
                LineText lineText) {
    if (frame.drawnLines.size() != meter.counters.size()) {
        return false;
    }
    ValueText formatted;
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        if (lineText(meter.counters[index], samples.counters[index], formatted) !=
            frame.drawnLines[index]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool showsLastDrawnText(const Meter& meter, const MeterSamples& samples, const MeterPlacement&,
                        const MeterFrame& frame) {
    return showsLines(meter, samples, frame, textLine);
}

bool showsLastDrawnIndicators(const Meter& meter, const MeterSamples& samples,
                              const MeterPlacement&, const MeterFrame& frame) {
    return showsLines(meter, samples, frame, indicatorLine);
}

void drawTextMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                   MeterFrame& frame, platform::MemorySurface& surface,
                   const DrawSettings& settings) {
    drawLines(meter, samples, placement, frame, surface, settings, TextAlignment::Far, textLine);
}

void drawIndicatorMeter(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, MeterFrame& frame,
                        platform::MemorySurface& surface, const DrawSettings& settings) {
    drawLines(meter, samples, placement, frame, surface, settings, TextAlignment::Center,
              indicatorLine);
}

}  // namespace tavisto
