#pragma once
// From a counter's samples to the value its meter shows.

#include "config/meter_model.h"
#include "sampling/meter_samples.h"

namespace tavisto {

// The counter's value before its range applies: no reference gives 0, one reference
// its latest sample (the text is not evaluated), several references the counter's
// expression over their samples, with NaN (a text that does not compile included)
// shown as 0.
double rawValue(const MeterCounter& counter, CounterSamples& samples);

// The raw value kept inside the samples' range; a dynamic bound moves out to the value
// instead, and stays there until the next load.
double currentValue(const MeterCounter& counter, CounterSamples& samples);

// A counter's latest value kept in its range as its meter draws it, and the range it is
// measured against. A graph's dynamic bound reaches out to the value here alone.
struct RangedValue {
    double value = 0.0;
    double range = 0.0;
};
RangedValue rangedValue(const MeterCounter& counter, const CounterSamples& samples);

// Samples of the counter before any is taken: every reference at 0 and the configured
// range; the values are not taken yet.
CounterSamples unsampled(const MeterCounter& counter);

// Samples for the meter before any is taken, with the values every reference at 0 gives.
MeterSamples initialSamples(const Meter& meter);

// After new samples of the meter's references: the value of each counter, or for a
// graph the raw value added to its history.
void takeSamples(const Meter& meter, MeterSamples& samples);

}  // namespace tavisto
