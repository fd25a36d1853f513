#include "sampling/rate_query.h"

#include <algorithm>
#include <utility>

#include "config/counter_references.h"
#include "core/failure_sink.h"

namespace tavisto {
namespace {

// Adds after the first of a run stop once a run has spent this long adding: the meters
// whose counters are added draw while a stalled provider holds up the others.
constexpr std::uint64_t kAddingMillisecondsPerRun = 100;

constexpr std::uint64_t kFirstAddRetryMilliseconds = 1'000;
constexpr std::uint64_t kLongestAddRetryMilliseconds = 10'000;

}  // namespace

std::uint64_t addRetryDelayMilliseconds(std::uint32_t failedAttempts) {
    // 1, 2, 4 and 8 s, then every 10 s.
    if (failedAttempts <= 1) {
        return kFirstAddRetryMilliseconds;
    }
    if (failedAttempts > 4) {
        return kLongestAddRetryMilliseconds;
    }
    return kFirstAddRetryMilliseconds << (failedAttempts - 1);
}

RateQuery::RateQuery(platform::CounterQueries& queries, platform::Sensors& sensors,
                     const platform::Clock& clock, std::vector<Reference> references)
    : queries_(queries), sensors_(sensors), clock_(clock) {
    slotOfReference_.reserve(references.size());
    for (Reference& reference : references) {
        // A path named again at this rate without a selection of its own reads the counter
        // already added for it: one add and one read however many meters show it.
        const auto same = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& slot) {
            return !slot.reference.selection && !reference.selection &&
                   slot.reference.path == reference.path;
        });
        if (same != slots_.end()) {
            slotOfReference_.push_back(static_cast<std::size_t>(same - slots_.begin()));
            continue;
        }
        slotOfReference_.push_back(slots_.size());
        const std::optional<SensorSource> sensor = sensorSourceOf(reference.path);
        const bool wildcard = !sensor && hasWildcardInstance(reference.path);
        hasCounters_ = hasCounters_ || !sensor;
        readsAdapters_ = readsAdapters_ || sensor == SensorSource::Adapters;
        readsPower_ = readsPower_ || sensor == SensorSource::PowerStatus;
        Slot& slot = slots_.emplace_back();
        slot.reference = std::move(reference);
        slot.wildcard = wildcard;
        slot.sensor = sensor;
        if (wildcard && slot.reference.selection) {
            slot.top.ranked.resize(slot.reference.selection->selection.top);
        }
    }
}

RateQuery::~RateQuery() {
    if (query_ != 0) {
        queries_.closeQuery(query_);
    }
}

void RateQuery::run() noexcept {
    collected_ = false;
    try {
        if (readsAdapters_ || readsPower_) {
            readSensors(sensors_, readsAdapters_, readsPower_, sensorRecord_);
            readSensorSlots();
        }
        if (!hasCounters_) {
            collected_ = true;
            return;
        }
        collectCounters();
    } catch (...) {
        // Out of memory in an add or a read: the tick reads as a failed collection and the
        // next one tries again.
        reportCaughtException("collecting a rate's counters");
        collected_ = false;
    }
}

void RateQuery::collectCounters() {
    const std::uint64_t now = clock_.milliseconds();
    if (query_ == 0) {
        if (now < nextOpen_) {
            return;
        }
        query_ = queries_.openQuery();
        if (query_ == 0) {
            nextOpen_ = now + addRetryDelayMilliseconds(++failedOpens_);
            return;
        }
        failedOpens_ = 0;
    }
    addDueCounters(now);
    if (!queries_.collect(query_)) {
        return;
    }
    readCounters();
    collected_ = true;
}

void RateQuery::addDueCounters(std::uint64_t now) {
    bool added = false;
    for (Slot& slot : slots_) {
        if (slot.sensor || slot.counter != 0 || now < slot.nextAdd) {
            continue;
        }
        if (added && clock_.milliseconds() - now >= kAddingMillisecondsPerRun) {
            return;  // the rest are tried at the next run
        }
        slot.counter = queries_.addCounter(query_, slot.reference.path);
        added = true;
        if (slot.counter == 0) {
            slot.nextAdd = clock_.milliseconds() + addRetryDelayMilliseconds(++slot.failedAdds);
        } else {
            slot.failedAdds = 0;
        }
    }
}

void RateQuery::readCounters() {
    std::size_t classificationSteps = kClassificationStepsPerTick;
    for (Slot& slot : slots_) {
        if (slot.sensor) {
            continue;
        }
        if (!slot.wildcard) {
            slot.value = queries_.read(slot.counter);
            continue;
        }
        const auto instances = queries_.readInstances(slot.counter);
        if (!slot.reference.selection) {
            slot.value = sumInstances(instances);
        } else if (const auto combined = combineInstances(instances, *slot.reference.selection,
                                                          slot.memo, classificationSteps)) {
            slot.value = *combined;
            rankInstances(instances, *slot.reference.selection, slot.memo, sensors_, slot.top);
        }
    }
}

void RateQuery::readSensorSlots() {
    std::size_t classificationSteps = kClassificationStepsPerTick;
    for (Slot& slot : slots_) {
        if (!slot.sensor) {
            continue;
        }
        if (slot.sensor == SensorSource::Adapters && slot.reference.selection) {
            if (const auto combined =
                    combineAdapters(slot.reference.path, sensorRecord_, *slot.reference.selection,
                                    slot.memo, classificationSteps)) {
                slot.value = *combined;
            }
        } else {
            slot.value = readSensor(slot.reference.path, sensorRecord_).value;
        }
    }
}

}  // namespace tavisto
