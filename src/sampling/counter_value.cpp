#include "sampling/counter_value.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "expression/expression_evaluator.h"

namespace tavisto {

namespace {

constexpr std::size_t kNoReplacement = static_cast<std::size_t>(-1);

// The counter's value with the sample of the reference at `replaced` read as
// `replacement`, or with every sample as it is.
double evaluate(const MeterCounter& counter, CounterSamples& samples, std::size_t replaced,
                double replacement) {
    const ReferenceMap& references = counter.references;
    if (references.empty() || samples.references.size() != references.size()) {
        return 0.0;
    }
    const auto sample = [&](std::size_t index) {
        return index == replaced ? replacement : samples.references[index].value;
    };
    // A reference alone gives its sample as it is, NaN included; arithmetic over one
    // reference, as in "(\Network Interface(*)\Bytes Total/sec) * 8", is evaluated like
    // any other expression.
    const bool lone = references.size() == 1;
    if (lone && counter.expressionText == references.begin()->first) {
        return sample(0);
    }
    KeptExpression& expression = samples.compiled;
    if (!expression.compiledFrom(counter.expressionText, references.size())) {
        std::vector<const char*> names;
        names.reserve(references.size());
        for (const auto& [name, reference] : references) {
            names.push_back(name.c_str());
        }
        expression.compile(counter.expressionText.c_str(), names.data(), names.size());
    }
    double* input = expression.inputs();
    bool available = true;
    for (std::size_t index = 0; index < samples.references.size(); ++index) {
        input[index] = sample(index);
        available = available && !std::isnan(input[index]);
    }
    if (lone && expression.malformed()) {
        // The checker names the fault; meanwhile the meter shows the counter itself.
        return sample(0);
    }
    // A sensor that is not available makes the whole counter so; NaN the arithmetic
    // makes of values that are there (0 / 0) reads 0, as it always has.
    if (!available) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double value = expression.evaluate();
    return std::isnan(value) ? 0.0 : value;
}

// The counter's largest instances from the first reference that lists them, each valued
// as the counter's text would be were that reference to read the instance alone.
void takeTopInstances(const MeterCounter& counter, CounterSamples& samples) {
    samples.top.count = 0;
    if (!counter.instances || counter.instances->top == 0) {
        return;
    }
    for (std::size_t index = 0; index < samples.references.size(); ++index) {
        const TopInstances& listed = samples.references[index].top;
        if (listed.ranked.empty()) {
            continue;
        }
        samples.top.ranked.resize(listed.ranked.size());
        for (std::size_t rank = 0; rank < listed.count; ++rank) {
            RankedInstance& entry = samples.top.ranked[rank];
            entry.name.assign(listed.ranked[rank].name);
            entry.value = evaluate(counter, samples, index, listed.ranked[rank].value);
        }
        samples.top.count = listed.count;
        return;
    }
}

}  // namespace

double rawValue(const MeterCounter& counter, CounterSamples& samples) {
    return evaluate(counter, samples, kNoReplacement, 0.0);
}

namespace {

double keptInRange(const MeterCounter& counter, CounterSamples& samples, double value) {
    if (samples.minValue > value) {
        if (counter.dynamicMinValue) {
            samples.minValue = value;
            return value;
        }
        return samples.minValue;
    }
    if (value > samples.maxValue) {
        if (counter.dynamicMaxValue) {
            samples.maxValue = value;
            return value;
        }
        return samples.maxValue;
    }
    return value;
}

}  // namespace

double currentValue(const MeterCounter& counter, CounterSamples& samples) {
    return keptInRange(counter, samples, rawValue(counter, samples));
}

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

CounterSamples unsampled(const MeterCounter& counter) {
    CounterSamples samples;
    samples.references.resize(counter.references.size());
    samples.minValue = counter.minValue;
    samples.maxValue = counter.maxValue;
    return samples;
}

MeterSamples initialSamples(const Meter& meter) {
    MeterSamples samples;
    samples.counters.reserve(meter.counters.size());
    for (const MeterCounter& counter : meter.counters) {
        samples.counters.push_back(unsampled(counter));
    }
    takeSamples(meter, samples);
    return samples;
}

void takeSamples(const Meter& meter, MeterSamples& samples) {
    const bool graph = meterKind(meter.meterType).keepsHistory;
    for (std::size_t index = 0; index < meter.counters.size() && index < samples.counters.size();
         ++index) {
        const MeterCounter& counter = meter.counters[index];
        CounterSamples& counterSamples = samples.counters[index];
        counterSamples.raw = rawValue(counter, counterSamples);
        takeTopInstances(counter, counterSamples);
        if (graph) {
            // Before the first history is sized this keeps nothing.
            counterSamples.value = counterSamples.raw;
            counterSamples.history.push(counterSamples.raw);
        } else {
            counterSamples.value = keptInRange(counter, counterSamples, counterSamples.raw);
        }
    }
}

}  // namespace tavisto
