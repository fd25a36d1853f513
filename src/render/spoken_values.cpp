#include "render/spoken_values.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "render/meter_kinds.h"
#include "render/value_format.h"
#include "sampling/counter_value.h"

namespace tavisto {
namespace {

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

// How long a raised alert has lasted, from when the value first passed the threshold:
// "12 s", "3 min".
ValueText alertDuration(const AlertState& state, const platform::NumberSeparators& numbers) {
    return formatValue(CounterUnits::Seconds, static_cast<double>(state.heldFor / 1000), 0,
                       numbers);
}

// A value compared by an alert, in the units its meter shows it in.
ValueText alertValueText(MeterType type, const MeterCounter& counter, double value,
                         const platform::NumberSeparators& numbers) {
    return formatValue(shownUnits(type, counter), value, counter.decimals, numbers);
}

void appendMeter(std::u16string& text, const TextTable& texts, const Meter& meter,
                 const MeterSamples& samples, const platform::NumberSeparators& numbers) {
    const auto speak = meterDrawing(meter.meterType).speak;
    for (std::size_t index = 0; speak != nullptr && index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        const CounterSamples& counterSamples = samples.counters.at(index);
        const std::size_t before = text.size();
        speak(text, texts, counter, counterSamples, numbers);
        if (!inAlert(counter, counterSamples)) {
            continue;
        }
        const ValueText duration = alertDuration(counterSamples.alert, numbers);
        const TextArgument lasted{u"duration", duration.view()};
        if (text.size() > before) {
            text += u' ';
            text += fillText(tavisto::text(texts, TextId::SpokenAlertFor), {lasted});
        } else {
            // An indicator whose trigger does not hold shows nothing, yet is in alert.
            appendPart(text, counter, fillText(tavisto::text(texts, TextId::SpokenInAlertFor), {lasted}));
        }
    }
}

}  // namespace

void speakLine(std::u16string& text, const TextTable& texts, const MeterCounter& counter,
               const CounterSamples& samples, const platform::NumberSeparators& numbers) {
    const RangedValue ranged = rangedValue(counter, samples);
    if (listsTopInstances(counter)) {
        // The meter shows the instances' lines instead of the counter's.
        std::u16string lines;
        appendTopInstances(lines, samples.top, [&](std::u16string& said, double value) {
            const ValueText line = textMeterLine(counter, value, ranged.range, numbers);
            said += std::isfinite(value) || line.view().empty() ? line.view() : tavisto::text(texts, TextId::SpokenNotAvailable);
        });
        appendPart(text, counter, lines);
        return;
    }
    const ValueText line = textMeterLine(counter, ranged.value, ranged.range, numbers);
    // A line that shows "—" is said in words; one that shows nothing is not said.
    appendPart(text, counter,
               std::isfinite(ranged.value) || line.view().empty() ? line.view() : tavisto::text(texts, TextId::SpokenNotAvailable));
}

void speakIndicator(std::u16string& text, const TextTable&, const MeterCounter& counter,
                    const CounterSamples& samples, const platform::NumberSeparators&) {
    if (triggerHolds(rangedValue(counter, samples).value, counter.triggerValue,
                     counter.triggerOperator)) {
        appendPart(text, counter, counter.indicator);
    }
}

void speakShare(std::u16string& text, const TextTable& texts, const MeterCounter& counter,
                const CounterSamples& samples, const platform::NumberSeparators& numbers) {
    const RangedValue ranged = rangedValue(counter, samples);
    // A share is said in the counter's own units; without any, or in "percent", as a
    // percentage of its range.
    const auto say = [&](std::u16string& said, double value) {
        if (!std::isfinite(value)) {
            said += tavisto::text(texts, TextId::SpokenNotAvailable);
        } else if (counter.units != CounterUnits::Percent &&
                   counter.units != CounterUnits::Unknown) {
            said += formatValue(counter.units, value, counter.decimals, numbers).view();
        } else {
            const double range = ranged.range == 0.0 ? 1.0 : ranged.range;
            said += formatValue(CounterUnits::Percent, value * (100.0 / range), counter.decimals,
                                numbers)
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
                           const PanelSamples& samples, const platform::NumberSeparators& numbers) {
    std::u16string text;
    for (const std::size_t index : group.meters) {
        appendMeter(text, *model.texts, model.meters.at(index), samples.at(index), numbers);
    }
    return text;
}

std::u16string spokenName(const TextTable& texts, const MeterGroup& group, std::size_t index) {
    if (!group.name.empty()) {
        return group.name;
    }
    const std::string number = std::to_string(index + 1);
    return fillText(text(texts, TextId::SpokenGroupNumber),
                    {{u"number", std::u16string(number.begin(), number.end())}});
}

std::u16string tooltipText(const PanelModel& model, const MeterGroup& group,
                           const PanelSamples& samples, const platform::NumberSeparators& numbers) {
    std::u16string text = group.name;
    const std::u16string value = spokenValue(model, group, samples, numbers);
    if (!text.empty() && !value.empty()) {
        text += u'\n';
    }
    text += value;
    return text;
}

platform::AlertNotice alertNotice(const PanelModel& model, std::size_t meter, std::size_t counter,
                                  const PanelSamples& samples,
                                  const platform::NumberSeparators& numbers) {
    platform::AlertNotice notice;
    for (std::size_t group = 0; group < model.groups.size(); ++group) {
        const std::vector<std::size_t>& meters = model.groups[group].meters;
        if (std::find(meters.begin(), meters.end(), meter) != meters.end()) {
            notice.title = spokenName(*model.texts, model.groups[group], group);
            break;
        }
    }
    const Meter& alerted = model.meters.at(meter);
    const MeterCounter& measured = alerted.counters.at(counter);
    const CounterSamples& counterSamples = samples.at(meter).counters.at(counter);
    if (!measured.name.empty()) {
        notice.text = measured.name;
    } else if (!measured.references.empty()) {
        notice.text = measured.references.begin()->second.path;
    }
    const ValueText value = alertValueText(
        alerted.meterType, measured, shownValue(alerted.meterType, measured, counterSamples),
        numbers);
    if (!notice.text.empty()) {
        notice.text += u' ';
    }
    notice.text += value.view();
    if (measured.alert) {
        const ValueText threshold =
            alertValueText(alerted.meterType, measured, measured.alert->threshold, numbers);
        const ValueText duration = alertDuration(counterSamples.alert, numbers);
        const TextId words = measured.alert->above ? TextId::NoticeAbove : TextId::NoticeBelow;
        notice.text = fillText(text(*model.texts, words),
                               {{u"value", notice.text},
                                {u"threshold", threshold.view()},
                                {u"duration", duration.view()}});
    }
    return notice;
}

std::vector<SpokenGroup> spokenGroups(const PanelModel& model, const PanelSamples& samples,
                                      const platform::NumberSeparators& numbers) {
    std::vector<SpokenGroup> groups;
    groups.reserve(model.groups.size());
    for (const MeterGroup& group : model.groups) {
        bool inAlert = false;
        for (const std::size_t meter : group.meters) {
            const Meter& shown = model.meters.at(meter);
            const MeterSamples& shownSamples = samples.at(meter);
            for (std::size_t counter = 0; counter < shown.counters.size(); ++counter) {
                inAlert = inAlert || tavisto::inAlert(shown.counters[counter],
                                                      shownSamples.counters.at(counter));
            }
        }
        groups.push_back(
            {spokenName(*model.texts, group, groups.size()),
             spokenValue(model, group, samples, numbers),
             inAlert});
    }
    return groups;
}

}  // namespace tavisto
