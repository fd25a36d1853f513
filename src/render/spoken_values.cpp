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

// "chrome 20%, code 9%": the counter's largest instances, each as `say` words its value.
template <typename Say>
void appendTopInstances(std::u16string& text, const TopInstances& top, Say say) {
    for (const RankedInstance& instance : top.listed()) {
        if (&instance != top.ranked.data()) {
            text += u", ";
        }
        text += instance.name;
        text += u' ';
        say(text, instance.value);
    }
}

bool listsTopInstances(const MeterCounter& counter) {
    return counter.instances && counter.instances->top > 0;
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
    if (listsTopInstances(counter)) {
        // The meter shows the instances' lines instead of the counter's.
        std::u16string lines;
        appendTopInstances(lines, samples.top, [&](std::u16string& said, double value) {
            const ValueText line = textMeterLine(counter, value, ranged.range);
            said += std::isfinite(value) || line.view().empty() ? line.view() : kNotAvailable;
        });
        appendPart(text, counter, lines);
        return;
    }
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
    // A share is said in the counter's own units; without any, or in "percent", as a
    // percentage of its range.
    const auto say = [&](std::u16string& said, double value) {
        if (!std::isfinite(value)) {
            said += kNotAvailable;
        } else if (counter.units != CounterUnits::Percent &&
                   counter.units != CounterUnits::Unknown) {
            said += formatValue(counter.units, value, counter.decimals).view();
        } else {
            const double range = ranged.range == 0.0 ? 1.0 : ranged.range;
            said += formatValue(CounterUnits::Percent, value * (100.0 / range), counter.decimals)
                        .view();
        }
    };
    std::u16string part;
    say(part, ranged.value);
    if (listsTopInstances(counter) && samples.top.count > 0) {
        // The meter draws the combined value; the words name what it is made of.
        part += u" (";
        appendTopInstances(part, samples.top, say);
        part += u')';
    }
    appendPart(text, counter, part);
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
