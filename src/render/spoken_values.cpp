#include "render/spoken_values.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "render/meter_kinds.h"
#include "render/value_format.h"

namespace tavisto {
namespace {

// A counter's latest value kept in its range as a meter draws it, and the range it is
// measured against. A graph's dynamic bound reaches out to the value here alone.
struct RangedValue {
    double value = 0.0;
    double range = 0.0;
};

RangedValue rangedValue(const MeterCounter& counter, const CounterSamples& samples) {
    const double raw = samples.raw;
    double low = samples.minValue;
    double high = samples.maxValue;
    if (raw < low && counter.dynamicMinValue) {
        low = raw;
    }
    if (raw > high && counter.dynamicMaxValue) {
        high = raw;
    }
    // Not std::clamp: a range read from a file may be inverted.
    const double kept = low > raw ? low : (raw > high ? high : raw);
    return {kept, high - low};
}

// What a screen reader says for a value that is not a number.
constexpr std::u16string_view kNotAvailable = u"not available";

// The counter's name, when it has one, then what it shows: "CPU 3%".
void appendPart(std::u16string& text, const MeterCounter& counter, std::u16string_view part) {
    if (part.empty()) {
        return;
    }
    if (!text.empty()) {
        text += u", ";
    }
    if (!counter.name.empty()) {
        text += counter.name;
        text += u' ';
    }
    text += part;
}

void appendMeter(std::u16string& text, const Meter& meter, const MeterSamples& samples) {
    const auto speak = meterDrawing(meter.meterType).speak;
    for (std::size_t index = 0; speak != nullptr && index < meter.counters.size(); ++index) {
        speak(text, meter.counters[index], samples.counters.at(index));
    }
}

}  // namespace

void speakLine(std::u16string& text, const MeterCounter& counter, const CounterSamples& samples) {
    const RangedValue ranged = rangedValue(counter, samples);
    const ValueText line = textMeterLine(counter, ranged.value, ranged.range);
    // A line that shows "—" is said in words; one that shows nothing is not said.
    appendPart(text, counter,
               std::isfinite(ranged.value) || line.view().empty() ? line.view() : kNotAvailable);
}

void speakIndicator(std::u16string& text, const MeterCounter& counter,
                    const CounterSamples& samples) {
    if (triggerHolds(rangedValue(counter, samples).value, counter.triggerValue,
                     counter.triggerOperator)) {
        appendPart(text, counter, counter.indicator);
    }
}

void speakShare(std::u16string& text, const MeterCounter& counter, const CounterSamples& samples) {
    const RangedValue ranged = rangedValue(counter, samples);
    if (!std::isfinite(ranged.value)) {
        appendPart(text, counter, kNotAvailable);
        return;
    }
    // A share is said in the counter's own units; without any, or in "percent", as a
    // percentage of its range.
    if (counter.units != CounterUnits::Percent && counter.units != CounterUnits::Unknown) {
        appendPart(text, counter, formatValue(counter.units, ranged.value, counter.decimals).view());
        return;
    }
    const double range = ranged.range == 0.0 ? 1.0 : ranged.range;
    appendPart(text, counter,
               formatValue(CounterUnits::Percent, ranged.value * (100.0 / range), counter.decimals)
                   .view());
}

std::u16string spokenValue(const PanelModel& model, const MeterGroup& group,
                           const PanelSamples& samples) {
    std::u16string text;
    for (const std::size_t index : group.meters) {
        appendMeter(text, model.meters.at(index), samples.at(index));
    }
    return text;
}

std::u16string spokenName(const MeterGroup& group, std::size_t index) {
    if (!group.name.empty()) {
        return group.name;
    }
    const std::string number = std::to_string(index + 1);
    return u"Group " + std::u16string(number.begin(), number.end());
}

std::u16string tooltipText(const PanelModel& model, const MeterGroup& group,
                           const PanelSamples& samples) {
    std::u16string text = group.name;
    const std::u16string value = spokenValue(model, group, samples);
    if (!text.empty() && !value.empty()) {
        text += u'\n';
    }
    text += value;
    return text;
}

std::vector<SpokenGroup> spokenGroups(const PanelModel& model, const PanelSamples& samples) {
    std::vector<SpokenGroup> groups;
    groups.reserve(model.groups.size());
    for (const MeterGroup& group : model.groups) {
        groups.push_back({spokenName(group, groups.size()), spokenValue(model, group, samples)});
    }
    return groups;
}

}  // namespace tavisto
