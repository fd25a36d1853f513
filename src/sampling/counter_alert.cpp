#include "sampling/counter_alert.h"

#include <cmath>

#include "config/meter_kinds.h"
#include "sampling/counter_value.h"
#include "sampling/meter_samples.h"

namespace tavisto {

AlertChange advanceAlert(const CounterAlert& alert, AlertState& state, double value,
                         std::uint64_t now) {
    if (std::isnan(value)) {
        // The value may have left the threshold unseen: the hold starts again.
        if (!state.raised) {
            state.past = false;
        }
        return AlertChange::None;
    }
    if (state.raised) {
        state.heldFor = now - state.pastSince;
        if (!alert.clearsAt(value)) {
            return AlertChange::None;
        }
        state.raised = false;
        state.past = false;
        ++state.changes;
        return AlertChange::Cleared;
    }
    if (!alert.passes(value)) {
        state.past = false;
        return AlertChange::None;
    }
    if (!state.past) {
        state.past = true;
        state.pastSince = now;
    }
    state.heldFor = now - state.pastSince;
    if (state.heldFor < alert.holdMilliseconds) {
        return AlertChange::None;
    }
    state.raised = true;
    ++state.changes;
    return AlertChange::Raised;
}

bool takeNotificationTurn(AlertState& state, std::uint64_t now) {
    if (state.notified && now - state.notifiedAt < kAlertNotificationInterval) {
        return false;
    }
    state.notified = true;
    state.notifiedAt = now;
    return true;
}

CounterUnits shownUnits(MeterType type, const MeterCounter& counter) {
    if (counter.units != CounterUnits::Unknown) {
        return counter.units;
    }
    return meterKind(type).drawsText ? CounterUnits::Count : CounterUnits::Percent;
}

double shownValue(MeterType type, const MeterCounter& counter, const CounterSamples& samples) {
    const RangedValue ranged = rangedValue(counter, samples);
    if (shownUnits(type, counter) != CounterUnits::Percent) {
        return ranged.value;
    }
    return ranged.value * (100.0 / (ranged.range == 0.0 ? 1.0 : ranged.range));
}

bool inAlert(const MeterCounter& counter, const CounterSamples& samples) {
    return counter.alert && samples.alert.raised;
}

const Colour& shownColour(const MeterCounter& counter, const CounterSamples& samples) {
    return inAlert(counter, samples) ? counter.alert->color : counter.color;
}

std::uint64_t alertChanges(const MeterSamples& samples) {
    std::uint64_t changes = 0;
    for (const CounterSamples& counter : samples.counters) {
        changes += counter.alert.changes;
    }
    return changes;
}

}  // namespace tavisto
