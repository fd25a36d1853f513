#include <cstddef>
#include <cstdint>
#include <string>

#include "render/layout.h"
#include "render/meters.h"
#include "render/value_format.h"
#include "sampling/counter_value.h"

namespace tavisto {
namespace {

using platform::TextAlignment;

// The text a text meter shows for one counter, formatted into `text`.
std::u16string_view textLine(MeterCounter& counter, ValueText& text) {
    const double value = currentValue(counter);
    text = textMeterLine(counter, value, counter.maxValue - counter.minValue);
    return text.view();
}

std::u16string_view indicatorLine(MeterCounter& counter, ValueText&) {
    const double value = currentValue(counter);
    return triggerHolds(value, counter.triggerValue, counter.triggerOperator)
               ? counter.indicator
               : std::u16string_view();
}

// Draws one line per counter in equal slices of the meter's height. A line that shows
// nothing still takes its slice, so the lines of a meter never move.
template <typename LineText>
void drawLines(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme,
               TextAlignment alignment, LineText lineText) {
    if (meter.counters.empty()) {
        return;
    }
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(meter.windows10OrLater ? platform::RenderQuality::TextModern
                                              : platform::RenderQuality::TextLegacy);
    const auto lines = static_cast<std::int64_t>(meter.counters.size());
    const std::int64_t sliceHeight = (std::int64_t{meter.rect.bottom} - meter.rect.top) / lines;
    std::int64_t top = meter.rect.top;
    ValueText formatted;
    for (MeterCounter& counter : meter.counters) {
        const std::u16string_view text = lineText(counter, formatted);
        counter.drawnLine.assign(text);
        const RectF layout{static_cast<float>(meter.rect.left), static_cast<float>(top),
                           static_cast<float>(meterExtent(meter)), static_cast<float>(sliceHeight)};
        // GDI+ reads a zero width or height as unbounded, so a slice without area would
        // spill its text over the neighbouring meters; such a line is left out.
        if (layout.width <= 0.0F || layout.height <= 0.0F) {
            top += sliceHeight;
            continue;
        }
        const auto font = canvas->createFont(counter.font, static_cast<float>(counter.fontSize));
        if (font) {
            canvas->drawString(text, *font, counter.color.on(theme), layout, alignment,
                               TextAlignment::Center);
        }
        top += sliceHeight;
    }
}

template <typename LineText>
bool showsLines(Meter& meter, LineText lineText) {
    ValueText formatted;
    for (MeterCounter& counter : meter.counters) {
        if (lineText(counter, formatted) != counter.drawnLine) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool showsLastDrawnLines(Meter& meter) {
    if (meter.meterType == MeterType::Text) {
        return showsLines(meter, textLine);
    }
    if (meter.meterType == MeterType::Indicator) {
        return showsLines(meter, indicatorLine);
    }
    return false;
}

void drawTextMeter(Meter& meter, platform::MemorySurface& surface, platform::TaskbarTheme theme) {
    drawLines(meter, surface, theme, TextAlignment::Far, textLine);
}

void drawIndicatorMeter(Meter& meter, platform::MemorySurface& surface,
                        platform::TaskbarTheme theme) {
    drawLines(meter, surface, theme, TextAlignment::Center, indicatorLine);
}

}  // namespace tavisto
