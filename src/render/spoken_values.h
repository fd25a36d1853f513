#pragma once
// The meters as words, for screen readers and the values window: per group, its name
// and what a person would say reading its meters.

#include <string>
#include <vector>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "sampling/meter_samples.h"

namespace tavisto {

struct SpokenGroup {
    std::u16string name;
    std::u16string value;
    // One of its counters is in alert.
    bool inAlert = false;
    bool operator==(const SpokenGroup&) const = default;
};

// One entry per group, in the model's order. The name is the group's, or "Group N"
// (counted from 1) for a group without one. The value joins with ", " what each meter
// shows for its counters' latest samples: a text meter its lines, an indicator meter
// its text while the trigger holds, the other kinds each counter's value in its units,
// or as a whole percentage of its range when it has none or "percent"; a counter's name
// comes before what it shows ("CPU 3%"), and a value that is not a number is said as
// "not available". A counter that lists its largest instances says them in order, by
// name: a text meter instead of its value ("CPU chrome 12%, code 4%"), the other kinds
// after it ("CPU 16% (chrome 12%, code 4%)"). Lines that show nothing are left out. A
// counter in alert says how long after what it shows ("CPU 95% (alert for 12 s)"), and
// its group is marked in alert. Numbers are written with the locale's separators, as
// the meters show them.
// Reads the samples only: nothing is collected and no bound moves.
std::vector<SpokenGroup> spokenGroups(const PanelModel& model, const PanelSamples& samples,
                                      const platform::NumberSeparators& numbers);

// The name of the group at `index` in the model, as spokenGroups gives it.
std::u16string spokenName(const TextTable& texts, const MeterGroup& group, std::size_t index);

// What a meter kind says of one counter, appended to `text` after ", " (nothing when it
// shows nothing): a text meter's line; an indicator's text while its trigger holds; the
// value in its units of a counter drawn as a shape, or with no units the share of its
// range its bar, sector or curve fills, an empty range counting as 1.
void speakLine(std::u16string& text, const TextTable& texts, const MeterCounter& counter,
               const CounterSamples& samples, const platform::NumberSeparators& numbers);
void speakIndicator(std::u16string& text, const TextTable& texts, const MeterCounter& counter,
                    const CounterSamples& samples, const platform::NumberSeparators& numbers);
void speakShare(std::u16string& text, const TextTable& texts, const MeterCounter& counter,
                const CounterSamples& samples, const platform::NumberSeparators& numbers);

// The value of one group, as spokenGroups gives it.
std::u16string spokenValue(const PanelModel& model, const MeterGroup& group,
                           const PanelSamples& samples, const platform::NumberSeparators& numbers);

// What a notification says of the counter's alert just raised: the name of the counter's
// group as its title, and "CPU 95%, above 90% for 10 s", the counter called by its name
// or its first reference, its value as its meter shows it and how long it has been past.
platform::AlertNotice alertNotice(const PanelModel& model, std::size_t meter, std::size_t counter,
                                  const PanelSamples& samples,
                                  const platform::NumberSeparators& numbers);

// What the group's tooltip shows: its own name (none when it has none) above its value,
// on two lines, or whichever of the two is not empty.
std::u16string tooltipText(const PanelModel& model, const MeterGroup& group,
                           const PanelSamples& samples, const platform::NumberSeparators& numbers);

}  // namespace tavisto
