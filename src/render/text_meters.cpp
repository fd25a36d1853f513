#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "render/layout.h"
#include "render/meters.h"
#include "render/value_format.h"

namespace tavisto {
namespace {

using platform::TextAlignment;

// The text a text meter shows for one counter, formatted into `text`.
std::u16string_view textLine(const MeterCounter& counter, const CounterSamples& samples,
                             const platform::NumberSeparators& numbers, ValueText& text) {
    text = textMeterLine(counter, samples.value, samples.maxValue - samples.minValue, numbers);
    return text.view();
}

std::u16string_view indicatorLine(const MeterCounter& counter, const CounterSamples& samples,
                                  const platform::NumberSeparators&, ValueText&) {
    return triggerHolds(samples.value, counter.triggerValue, counter.triggerOperator)
               ? counter.indicator
               : std::u16string_view();
}

bool listsTop(const MeterCounter& counter, bool listsInstances) {
    return listsInstances && counter.instances && counter.instances->top > 0;
}

// How many lines the counter takes: one per instance it lists, or one.
std::size_t linesOf(const MeterCounter& counter, bool listsInstances) {
    return listsTop(counter, listsInstances) ? counter.instances->top : 1;
}

std::size_t linesOf(const Meter& meter, bool listsInstances) {
    std::size_t lines = 0;
    for (const MeterCounter& counter : meter.counters) {
        lines += linesOf(counter, listsInstances);
    }
    return lines;
}

// Hands `visit(counter, name, text)` every line of the meter in order: a counter's own,
// with no name, or each of its listed instances' name and value; a place no instance
// fills has neither.
template <typename LineText, typename Visit>
void visitLines(const Meter& meter, const MeterSamples& samples,
                const platform::NumberSeparators& numbers, bool listsInstances, LineText lineText,
                Visit visit) {
    ValueText formatted;
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const CounterSamples& counterSamples = samples.counters[index];
        if (!listsTop(counter, listsInstances)) {
            visit(counter, std::u16string_view(),
                  lineText(counter, counterSamples, numbers, formatted));
            continue;
        }
        const std::span<const RankedInstance> listed = counterSamples.top.listed();
        for (std::size_t line = 0; line < counter.instances->top; ++line) {
            if (line < listed.size()) {
                formatted = textMeterLine(counter, listed[line].value,
                                          counterSamples.maxValue - counterSamples.minValue,
                                          numbers);
                visit(counter, std::u16string_view(listed[line].name), formatted.view());
            } else {
                visit(counter, std::u16string_view(), std::u16string_view());
            }
        }
    }
}

// What the frame keeps of a line: its text, after its name and a NUL when it has one.
void keepLine(std::u16string& kept, std::u16string_view name, std::u16string_view text) {
    kept.assign(name);
    if (!name.empty()) {
        kept += u'\0';
    }
    kept += text;
}

bool keeps(const std::u16string& kept, std::u16string_view name, std::u16string_view text) {
    const std::size_t separator = name.empty() ? 0 : 1;
    return kept.size() == name.size() + separator + text.size() && kept.starts_with(name) &&
           (separator == 0 || kept[name.size()] == u'\0') && kept.ends_with(text);
}

// Draws the meter's lines in equal slices of its height. A line that shows nothing
// still takes its slice, so the lines of a meter never move. An instance's line has its
// name at the near side, cut with "…" where it would meet the value at the far side.
template <typename LineText>
void drawLines(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
               MeterFrame& frame, platform::MemorySurface& surface, const DrawSettings& settings,
               TextAlignment alignment, bool listsInstances, LineText lineText) {
    if (meter.counters.empty()) {
        return;
    }
    const auto canvas = surface.beginDrawing();
    if (!canvas) {
        return;
    }
    canvas->setQuality(settings.windows10OrLater ? platform::RenderQuality::TextModern
                                                 : platform::RenderQuality::TextLegacy);
    const std::size_t lineCount = linesOf(meter, listsInstances);
    // Kept in place across ticks.
    frame.drawnLines.resize(lineCount);
    const std::int64_t sliceHeight =
        (std::int64_t{placement.rect.bottom} - placement.rect.top) /
        static_cast<std::int64_t>(lineCount);
    std::int64_t top = placement.rect.top;
    std::size_t line = 0;
    visitLines(meter, samples, settings.numbers, listsInstances, lineText,
               [&](const MeterCounter& counter, std::u16string_view name,
                   std::u16string_view text) {
                   keepLine(frame.drawnLines[line++], name, text);
                   const RectF layout{static_cast<float>(placement.rect.left),
                                      static_cast<float>(top),
                                      static_cast<float>(placement.extent),
                                      static_cast<float>(sliceHeight)};
                   top += sliceHeight;
                   // GDI+ reads a zero width or height as unbounded, so a slice without
                   // area would spill its text over the neighbouring meters; such a line
                   // is left out.
                   if (layout.width <= 0.0F || layout.height <= 0.0F) {
                       return;
                   }
                   const auto font = canvas->createFont(
                       counter.font,
                       static_cast<float>(platform::scaledPixels(counter.fontSize, settings.scale)));
                   if (!font) {
                       return;
                   }
                   const auto place =
                       static_cast<std::size_t>(&counter - meter.counters.data());
                   const Argb colour =
                       shownColour(counter, samples.counters[place]).on(settings.theme);
                   if (name.empty()) {
                       canvas->drawString(text, *font, colour, layout, alignment,
                                          TextAlignment::Center);
                       return;
                   }
                   canvas->drawLine(text, *font, colour, layout, TextAlignment::Far);
                   RectF nameLayout = layout;
                   nameLayout.width -= canvas->measureString(text, *font) +
                                       canvas->measureString(u" ", *font);
                   if (nameLayout.width > 0.0F) {
                       canvas->drawLine(name, *font, colour, nameLayout, TextAlignment::Near);
                   }
               });
}

template <typename LineText>
bool showsLines(const Meter& meter, const MeterSamples& samples, const MeterFrame& frame,
                const platform::NumberSeparators& numbers, bool listsInstances,
                LineText lineText) {
    if (frame.drawnLines.size() != linesOf(meter, listsInstances)) {
        return false;
    }
    bool same = true;
    std::size_t line = 0;
    visitLines(meter, samples, numbers, listsInstances, lineText,
               [&](const MeterCounter&, std::u16string_view name, std::u16string_view text) {
                   same = same && keeps(frame.drawnLines[line++], name, text);
               });
    return same;
}

}  // namespace

bool showsLastDrawnText(const Meter& meter, const MeterSamples& samples, const MeterPlacement&,
                        const MeterFrame& frame, const DrawSettings& settings) {
    return showsLines(meter, samples, frame, settings.numbers, true, textLine);
}

bool showsLastDrawnIndicators(const Meter& meter, const MeterSamples& samples,
                              const MeterPlacement&, const MeterFrame& frame,
                              const DrawSettings& settings) {
    return showsLines(meter, samples, frame, settings.numbers, false, indicatorLine);
}

void drawTextMeter(const Meter& meter, const MeterSamples& samples, const MeterPlacement& placement,
                   MeterFrame& frame, platform::MemorySurface& surface,
                   const DrawSettings& settings) {
    drawLines(meter, samples, placement, frame, surface, settings, TextAlignment::Far, true,
              textLine);
}

void drawIndicatorMeter(const Meter& meter, const MeterSamples& samples,
                        const MeterPlacement& placement, MeterFrame& frame,
                        platform::MemorySurface& surface, const DrawSettings& settings) {
    drawLines(meter, samples, placement, frame, surface, settings, TextAlignment::Center, false,
              indicatorLine);
}

}  // namespace tavisto
