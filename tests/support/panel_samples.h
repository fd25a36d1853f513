#pragma once
// What a panel sampled, found by where the meter is among the meters of its rate.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "panel/meter_panel.h"
#include "render/spoken_values.h"
#include "sampling/meter_samples.h"

namespace tavisto::testing {

// The groups of a panel or an engine in words, their numbers as its locale writes them.
template <typename Panel>
std::vector<SpokenGroup> spokenGroupsOf(const Panel& panel) {
    return spokenGroups(panel.model(), panel.samples(), panel.numberSeparators());
}

// The samples of counter `counter` of the meter at `meter` among the meters of `rate`.
inline const CounterSamples& samplesOf(const MeterPanel& panel, std::uint64_t rate,
                                       std::size_t meter = 0, std::size_t counter = 0) {
    return panel.samples().at(panel.model().rates.at(rate).at(meter)).counters.at(counter);
}

// The latest sample of that counter's reference `name`.
inline double sampleOf(const MeterPanel& panel, std::uint64_t rate, std::size_t meter = 0,
                       std::size_t counter = 0, const char* name = "a") {
    const ReferenceMap& references = panel.model()
                                         .meters.at(panel.model().rates.at(rate).at(meter))
                                         .counters.at(counter)
                                         .references;
    const auto position = std::distance(references.begin(), references.find(name));
    return samplesOf(panel, rate, meter, counter)
        .references.at(static_cast<std::size_t>(position))
        .value;
}

}  // namespace tavisto::testing
