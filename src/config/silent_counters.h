#pragma once
// Counters that can never show a value under the drawing rules, as a person's first file
// often has them: a column of a percentage without a range draws only its outline. The
// checker warns of them and the settings window's preview marks their meters.

#include <optional>

#include "config/meter_model.h"
#include "core/texts.h"

namespace tavisto {

// The text saying why a counter of a meter of this kind shows nothing whatever its value,
// with the fix; none when it can show something.
std::optional<TextId> whyCounterShowsNothing(MeterType type, const MeterCounter& counter);

// Whether any counter of the meter shows nothing whatever its values.
bool meterShowsNothing(const Meter& meter);

}  // namespace tavisto
