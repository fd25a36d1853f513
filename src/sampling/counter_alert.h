#pragma once
// A counter's alert from tick to tick: raised once its value has stayed past the
// threshold for the hold time, cleared when the value comes back to the clearing value.
// The sampler alone advances it; drawing and the spoken values read it.

#include <cstdint>

#include "config/meter_model.h"

namespace tavisto {

struct CounterSamples;
struct MeterSamples;

// How long the words wait before a notification may tell of the same alert again.
inline constexpr std::uint64_t kAlertNotificationInterval = 5 * 60 * 1000;

struct AlertState {
    bool raised = false;
    // Since when the value has been past the threshold without a break, while it is or
    // while the alert is raised.
    bool past = false;
    std::uint64_t pastSince = 0;
    // How long it had been past the threshold at the last tick.
    std::uint64_t heldFor = 0;
    // When a notification last told of the alert; none before the first.
    bool notified = false;
    std::uint64_t notifiedAt = 0;
    // One per raise and per clear since the load (a reload carries it over): a reader
    // that kept the count tells that the alert changed in between.
    std::uint32_t changes = 0;
};

enum class AlertChange : std::uint8_t { None, Raised, Cleared };

// Advances the alert by the value taken at `now` (milliseconds of a clock that never goes
// back). A value that is not a number neither raises nor clears it, and a wait for the
// hold time starts again after it.
AlertChange advanceAlert(const CounterAlert& alert, AlertState& state, double value,
                         std::uint64_t now);

// After a raise: whether a notification may tell of it, at most once in five minutes.
// When it may, the state keeps the time it did.
bool takeNotificationTurn(AlertState& state, std::uint64_t now);

// The units an alert's value is shown and compared in: the counter's own, or without
// any, "percent" for column, pie and graph meters, whose words say the share of the range
// they fill, and "count" for the kinds that draw text.
CounterUnits shownUnits(MeterType type, const MeterCounter& counter);

// The value an alert compares: as the meter shows it. The value kept in its range, as a
// percentage of the range when shown in "percent", in its own units otherwise. An empty
// range counts as 1.
double shownValue(MeterType type, const MeterCounter& counter, const CounterSamples& samples);

// Whether the counter's alert is raised.
bool inAlert(const MeterCounter& counter, const CounterSamples& samples);

// The counter's colour as drawn now: its alert's while the alert is raised.
const Colour& shownColour(const MeterCounter& counter, const CounterSamples& samples);

// How many times the meter's alerts were raised or cleared: a reader that kept the count
// tells whether any changed since.
std::uint64_t alertChanges(const MeterSamples& samples);

}  // namespace tavisto
