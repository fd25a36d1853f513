#include "preview/model_printer.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string_view>

#include "core/text_conversion.h"
#include "render/meter_kinds.h"

namespace tavisto::preview {
namespace {

std::string quoted(const std::u16string& text) {
    return "\"" + utf16ToUtf8(text) + "\"";
}

// A closed set's spelling in quotes, or "(other)" for a value outside it.
template <typename Enumeration, std::size_t N>
std::string spelled(Enumeration value, const std::array<std::string_view, N>& spellings) {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? "\"" + std::string(spellings[index]) + "\"" : "(other)";
}

std::string colour(const Colour& colour) {
    if (colour.followsTheme) {
        return "auto";
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour.argb & 0xFFFFFFU));
    return text;
}

std::string number(double value) {
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "+inf";
    }
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string rect(const Rect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

void printCounter(std::ostream& out, const MeterCounter& counter, std::size_t index) {
    out << "      counter " << index << ": expression " << quoted(counter.counterPath) << ", color "
        << colour(counter.color) << ", units " << spelled(counter.units, kCounterUnits)
        << (counter.decimals >= 0 ? ", " + std::to_string(counter.decimals) + " decimals" : "")
        << (counter.name.empty() ? "" : ", name " + quoted(counter.name))
        << "\n        range " << number(counter.minValue) << " to " << number(counter.maxValue)
        << (counter.dynamicMinValue ? ", dynamic minimum" : "")
        << (counter.dynamicMaxValue ? ", dynamic maximum" : "") << ", font " << quoted(counter.font)
        << " " << counter.fontSize << " px";
    if (counter.triggerOperator == TriggerOperator::None) {
        out << ", no trigger";
    } else {
        out << ", trigger " << spelled(counter.triggerOperator, kTriggerOperators) << " "
            << number(counter.triggerValue);
    }
    if (!counter.indicator.empty()) {
        out << ", indicator " << quoted(counter.indicator);
    }
    out << "\n";
    for (const auto& [name, reference] : counter.references) {
        const char* kind = "performance field ";
        if (reference.kind == CounterReference::PerformanceCounter) {
            kind = "counter ";
        } else if (reference.kind == CounterReference::SensorField) {
            kind = "sensor ";
        }
        out << "        " << name << " = " << kind << quoted(reference.path) << "\n";
    }
}

}  // namespace

void printModel(std::ostream& out, const PanelModel& model, const PanelLayout& layout) {
    out << "panel: horizontalPadding " << model.horizontalPadding << ", verticalPadding "
        << model.verticalPadding << ", horizontalSpacing " << model.horizontalSpacing
        << ", verticalSpacing " << model.verticalSpacing << "\n";
    std::size_t groupIndex = 0;
    for (const MeterGroup& group : model.groups) {
        const Rect groupRect =
            groupIndex < layout.groups.size() ? layout.groups[groupIndex].rect : Rect{};
        out << "  group " << ++groupIndex << " " << quoted(group.name) << ": orientation "
            << spelled(group.orientation, kOrientations) << ", width " << group.width << ", height "
            << group.height << ", min " << group.minWidth << " x " << group.minHeight << ", max "
            << group.maxWidth << " x " << group.maxHeight << ", rect " << rect(groupRect) << "\n";
        std::size_t meterIndex = 0;
        for (const std::size_t index : group.meters) {
            const Meter& meter = model.meters[index];
            out << "    meter " << ++meterIndex << ": " << spelled(meter.meterType, kMeterTypes)
                << ", rate " << meter.refreshRate << " ms, width " << meter.width << ", height "
                << meter.height << ", color " << colour(meter.color);
            if (const auto capacity = meterDrawing(meter.meterType).historyCapacity) {
                out << ", style " << spelled(meter.style, kGraphStyles) << ", history "
                    << (meter.counters.empty() ? 0 : capacity(layout.of(index))) << " samples";
            }
            out << ", rect " << rect(layout.of(index).rect) << "\n";
            std::size_t counterIndex = 0;
            for (const MeterCounter& counter : meter.counters) {
                printCounter(out, counter, ++counterIndex);
            }
        }
    }
    out << "schedule:";
    for (const auto& [rate, meters] : model.rates) {
        out << " " << rate << " ms (" << meters.size()
            << (meters.size() == 1 ? " meter)" : " meters)");
    }
    out << "\n";
}

}  // namespace tavisto::preview
