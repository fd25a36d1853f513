#include "render/spoken_values.h"

#include <algorithm>
#include <string>

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

void appendPart(std::u16string& text, std::u16string_view part) {
    if (part.empty()) {
        return;
    }
    if (!text.empty()) {
        text += u", ";
    }
    text += part;
}

// What a column, bar, pie or graph shows of one counter: its value in its units, or
// the share of the range its bar, sector or curve fills. Those scale the bare value by
// the range, an empty range counting as 1.
ValueText shapeValue(const MeterCounter& counter, const CounterSamples& samples) {
    const RangedValue ranged = rangedValue(counter, samples);
    if (counter.units == CounterUnits::BytesPerSecond) {
        return formatValue(counter.units, ranged.value);
    }
    const double range = ranged.range == 0.0 ? 1.0 : ranged.range;
    return formatValue(CounterUnits::Percent, ranged.value * (100.0 / range));
}

void appendMeter(std::u16string& text, const Meter& meter, const MeterSamples& samples) {
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const CounterSamples& counterSamples = samples.counters.at(index);
        switch (meter.meterType) {
            case MeterType::Text: {
                const RangedValue ranged = rangedValue(counter, counterSamples);
                appendPart(text, textMeterLine(counter, ranged.value, ranged.range).view());
                break;
            }
            case MeterType::Indicator:
                if (triggerHolds(rangedValue(counter, counterSamples).value, counter.triggerValue,
                                 counter.triggerOperator)) {
                    appendPart(text, counter.indicator);
                }
                break;
            case MeterType::Column:
            case MeterType::Pie:
            case MeterType::Graph:
                appendPart(text, shapeValue(counter, counterSamples).view());
                break;
            case MeterType::Unknown:
                break;
        }
    }
}

}  // namespace

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

std::vector<SpokenGroup> spokenGroups(const PanelModel& model, const PanelSamples& samples) {
    std::vector<SpokenGroup> groups;
    groups.reserve(model.groups.size());
    for (const MeterGroup& group : model.groups) {
        groups.push_back({spokenName(group, groups.size()), spokenValue(model, group, samples)});
    }
    return groups;
}

}  // namespace tavisto
