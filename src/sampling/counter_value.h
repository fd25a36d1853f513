#pragma once

#include "config/meter_model.h"

namespace tavisto {

// The counter's value before its range applies: no reference gives 0, one reference
// its latest sample, several references the expression over their samples (NaN as 0).
double rawValue(const MeterCounter& counter);

// The value a meter draws for the counter now: no reference gives 0, one reference its
// latest sample (the text is not evaluated), several references the counter's
// expression over their samples, with NaN (a text that does not compile included)
// shown as 0. The result is then kept inside [minValue, maxValue]; a dynamic bound
// moves out to the value instead, and stays there until the next load.
double currentValue(MeterCounter& counter);

}  // namespace tavisto
