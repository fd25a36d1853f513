#include "config/silent_counters.h"

#include <cmath>

#include "config/meter_kinds.h"

namespace tavisto {

std::optional<TextId> whyCounterShowsNothing(MeterType type, const MeterCounter& counter) {
    if (static_cast<std::size_t>(type) >= kMeterKindCount) {
        return std::nullopt;
    }
    // A bound only ever widens, and an infinite one never moves: the range a column,
    // pie, graph or percentage is measured against stays infinite, or empty.
    const bool infinite = !std::isfinite(counter.minValue) || !std::isfinite(counter.maxValue);
    const bool empty = !infinite && counter.minValue >= counter.maxValue &&
                       !counter.dynamicMinValue && !counter.dynamicMaxValue;
    const MeterKind& kind = meterKind(type);
    if (!kind.drawsText) {
        if (infinite) {
            return TextId::FindingSilentNoRange;
        }
        if (empty) {
            return TextId::FindingSilentEmptyRange;
        }
        return std::nullopt;
    }
    if (kind.showsUnits) {
        if (counter.units != CounterUnits::Percent) {
            return std::nullopt;
        }
        if (infinite) {
            return TextId::FindingSilentPercentNoRange;
        }
        if (empty) {
            return TextId::FindingSilentPercentEmptyRange;
        }
        return std::nullopt;
    }
    if (counter.triggerOperator == TriggerOperator::None) {
        return TextId::FindingSilentNoTrigger;
    }
    if (counter.indicator.empty()) {
        return TextId::FindingSilentNoIndicator;
    }
    return std::nullopt;
}

bool meterShowsNothing(const Meter& meter) {
    for (const MeterCounter& counter : meter.counters) {
        if (whyCounterShowsNothing(meter.meterType, counter)) {
            return true;
        }
    }
    return false;
}

}  // namespace tavisto
