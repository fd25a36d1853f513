#include "config/silent_counters.h"

#include <cmath>

#include "config/meter_kinds.h"

namespace tavisto {

std::string_view whyCounterShowsNothing(MeterType type, const MeterCounter& counter) {
    if (static_cast<std::size_t>(type) >= kMeterKindCount) {
        return {};
    }
    // A bound only ever widens, and an infinite one never moves: the range a column,
    // pie, graph or percentage is measured against stays infinite, or empty.
    const bool infinite = !std::isfinite(counter.minValue) || !std::isfinite(counter.maxValue);
    const bool empty = !infinite && counter.minValue >= counter.maxValue &&
                       !counter.dynamicMinValue && !counter.dynamicMaxValue;
    const MeterKind& kind = meterKind(type);
    if (!kind.drawsText) {
        if (infinite) {
            return "draws only its outline: give \"minValue\" and \"maxValue\", such as 0 and "
                   "100 for a percentage, or a \"maxValue\" with \"dynamicMaxValue\": true for a "
                   "rate";
        }
        if (empty) {
            return "draws only its outline: \"minValue\" is not below \"maxValue\"";
        }
        return {};
    }
    if (kind.showsUnits) {
        if (counter.units != CounterUnits::Percent) {
            return {};
        }
        if (infinite) {
            return "always shows 0%: give \"minValue\" and \"maxValue\", such as 0 and 100";
        }
        if (empty) {
            return "shows nothing: \"minValue\" is not below \"maxValue\"";
        }
        return {};
    }
    if (counter.triggerOperator == TriggerOperator::None) {
        return "never shows its text: give a \"trigger\", such as \"> 90\"";
    }
    if (counter.indicator.empty()) {
        return "shows nothing: give the \"indicator\" text it shows while the trigger holds";
    }
    return {};
}

bool meterShowsNothing(const Meter& meter) {
    for (const MeterCounter& counter : meter.counters) {
        if (!whyCounterShowsNothing(meter.meterType, counter).empty()) {
            return true;
        }
    }
    return false;
}

}  // namespace tavisto
