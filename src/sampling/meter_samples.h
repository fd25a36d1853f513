#pragma once
// What the sampler keeps of each meter, under the meter's index: per counter the
// latest sample of every reference, the value the meter shows with the range it is
// shown in, and a graph's history. The sampler alone writes it; drawing and the spoken
// values read it.

#include <vector>

#include "config/meter_model.h"
#include "expression/expression_evaluator.h"
#include "platform/platform.h"
#include "sampling/counter_alert.h"
#include "sampling/counter_instances.h"
#include "sampling/sample_history.h"

namespace tavisto {

struct ReferenceSample {
    // Latest sample; 0 until the first tick of the counter's rate.
    double value = 0.0;
    // A wildcard reference whose counter lists its largest instances: them, with the
    // values the reference read for each.
    TopInstances top;
};

struct CounterSamples {
    // In the order of the counter's references.
    std::vector<ReferenceSample> references;
    // The expression of a counter with several references, compiled at its first value.
    KeptExpression compiled;
    // The range the value is kept in: the configured one, with a dynamic bound moved
    // out to the furthest value met since the load. A graph's range follows its history
    // instead, so its bounds stay as configured.
    double minValue = 0.0;
    double maxValue = 0.0;
    // The value before its range applies, and the value the meter shows.
    double raw = 0.0;
    double value = 0.0;
    // A counter with "top": its largest instances, each with the value the counter's
    // text gives when the listing reference reads the instance's value.
    TopInstances top;
    // "graph" meters: the values of the last ticks, one per pixel column.
    SampleHistory history;
    // A counter with "alert": where its alert stands.
    AlertState alert;
};

struct MeterSamples {
    // In the order of the meter's counters.
    std::vector<CounterSamples> counters;
};

// By meter index.
using PanelSamples = std::vector<MeterSamples>;

}  // namespace tavisto
