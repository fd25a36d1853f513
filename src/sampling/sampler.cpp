#include "sampling/sampler.h"

#include <algorithm>

#include "sampling/counter_instances.h"
#include "sampling/counter_value.h"
#include "sampling/performance_fields.h"

namespace tavisto {
namespace {

// A counter whose object or instance is absent when the configuration loads (an
// adapter not plugged in yet, a driver still starting) is added again, at most once
// in this many milliseconds of its rate's ticks.
constexpr std::uint64_t kAddRetryMilliseconds = 10'000;

std::uint64_t ticksBetweenAddRetries(std::uint64_t rate) {
    const std::uint64_t period = std::max<std::uint64_t>(rate, 1);
    return (kAddRetryMilliseconds + period - 1) / period;
}

// Hands each reference of the meter to `visit(counter, reference, sample)` with its
// sample, in order, until `visit` returns false; false when it did.
template <typename Visit>
bool visitReferences(const Meter& meter, MeterSamples& samples, Visit visit) {
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        auto sample = samples.counters.at(index).references.begin();
        for (const auto& [name, reference] : counter.references) {
            if (!visit(counter, reference, *sample++)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

void Sampler::track(const PanelModel& model) {
    samples_.clear();
    for (const auto& [rate, meters] : model.metersByRate) {
        for (const auto& meter : meters) {
            if (meter->index >= samples_.size()) {
                samples_.resize(meter->index + 1);
            }
            samples_[meter->index] = initialSamples(*meter);
        }
    }
}

void Sampler::keepHistory(const Meter& meter, std::size_t capacity) {
    if (meter.index < samples_.size()) {
        for (CounterSamples& counter : samples_[meter.index].counters) {
            counter.history.resize(capacity);
        }
    }
}

bool Sampler::start(std::uint64_t rate, const Meters& meters) {
    // The entry exists before the query opens: a query is never left without an owner.
    auto [entry, inserted] = queriesByRate_.try_emplace(rate, 0);
    if (!inserted) {
        queries_.closeQuery(entry->second);
        entry->second = 0;
    }
    entry->second = queries_.openQuery();
    const platform::QueryHandle query = entry->second;
    RateSampling& sampling = rates_.insert_or_assign(rate, RateSampling{}).first->second;
    sampling.retry.ticksToWait = ticksBetweenAddRetries(rate);
    std::size_t references = 0;
    for (const auto& meter : meters) {
        visitReferences(
            *meter, samples_.at(meter->index),
            [&](const MeterCounter&, const CounterReference& reference, ReferenceSample& sample) {
                ++references;
                if (reference.kind == CounterReference::PerformanceCounter) {
                    sampling.collects = true;
                    sample.counter = queries_.addCounter(query, reference.path);
                } else if (isPerformanceFieldPath(reference.path)) {
                    const platform::PerformanceScope scope = performanceScopeOf(reference.path);
                    sampling.scope = std::max(sampling.scope.value_or(scope), scope);
                }
                return true;
            });
    }
    return references > 0;
}

void Sampler::stop() noexcept {
    for (const auto& [rate, query] : queriesByRate_) {
        const auto sampling = rates_.find(rate);
        if (away_ != nullptr && sampling != rates_.end() && sampling->second.awayTicket != 0) {
            away_->closeAfterCollection(query);
        } else {
            queries_.closeQuery(query);
        }
    }
    queriesByRate_.clear();
    rates_.clear();
    samples_.clear();
}

platform::QueryHandle Sampler::prepare(std::uint64_t rate, const Meters& meters) {
    const auto query = queriesByRate_.find(rate);
    const auto sampling = rates_.find(rate);
    if (query == queriesByRate_.end() || sampling == rates_.end() || !sampling->second.collects) {
        return 0;
    }
    retryFailedAdd(sampling->second, rate, query->second, meters);
    return query->second;
}

bool Sampler::collect(platform::QueryHandle query) {
    return queries_.collect(query);
}

// One failed add per tick at most, so that a slow add never holds up more than one
// tick; a round goes once through the rate's references, and the next round starts
// only after a full retry period of ticks.
void Sampler::retryFailedAdd(RateSampling& sampling, std::uint64_t rate,
                             platform::QueryHandle& query, const Meters& meters) {
    AddRetry& retry = sampling.retry;
    if (retry.ticksToWait > 0) {
        --retry.ticksToWait;
        return;
    }
    // A query that could not be opened is opened again with the retries of its adds.
    if (query == 0) {
        query = queries_.openQuery();
        if (query == 0) {
            retry = AddRetry{ticksBetweenAddRetries(rate) - 1, 0};
            return;
        }
    }
    std::size_t position = 0;
    bool added = false;
    const auto retryOne = [&](const MeterCounter&, const CounterReference& reference,
                              ReferenceSample& sample) {
        if (reference.kind != CounterReference::PerformanceCounter) {
            return true;
        }
        const std::size_t current = position++;
        if (current < retry.nextReference || sample.counter != 0) {
            return true;
        }
        if (added) {
            retry.nextReference = current;  // the round goes on at the next tick
            return false;
        }
        // Only a reference without a counter is added again: no handle is replaced.
        sample.counter = queries_.addCounter(query, reference.path);
        added = true;
        return true;
    };
    for (const auto& meter : meters) {
        if (!visitReferences(*meter, samples_.at(meter->index), retryOne)) {
            return;
        }
    }
    // This tick counts as the first of the wait.
    retry = AddRetry{ticksBetweenAddRetries(rate) - 1, 0};
}

double Sampler::readCounter(const MeterCounter& counter, const CounterReference& reference,
                            ReferenceSample& sample) {
    if (hasWildcardInstance(reference.path)) {
        const auto instances = queries_.readInstances(sample.counter);
        return counter.instances
                   ? combineInstances(instances, *counter.instances, sample.instanceMemo)
                   : sumInstances(instances);
    }
    return queries_.read(sample.counter);
}

bool Sampler::read(std::uint64_t rate, const Meters& meters, bool collected) {
    const auto sampling = rates_.find(rate);
    if (!collected || sampling == rates_.end()) {
        return false;
    }
    // One performance record per tick, however many fields the rate names: the fields
    // of a counter then come from the same moment, and the record, which takes a
    // system call, is read once, holding only what the rate's fields need.
    std::optional<platform::PerformanceRecord> record;
    if (sampling->second.scope) {
        record = performance_.read(*sampling->second.scope);
    }
    for (const auto& meter : meters) {
        MeterSamples& meterSamples = samples_.at(meter->index);
        visitReferences(*meter, meterSamples,
                        [&](const MeterCounter& counter, const CounterReference& reference,
                            ReferenceSample& sample) {
                            sample.value = reference.kind == CounterReference::PerformanceCounter
                                               ? readCounter(counter, reference, sample)
                                           : record ? performanceFieldValue(reference.path, *record)
                                                    : 0.0;
                            return true;
                        });
        takeSamples(*meter, meterSamples);
    }
    return true;
}

bool Sampler::collectAway(std::uint64_t rate, platform::QueryHandle query) {
    const auto sampling = rates_.find(rate);
    if (away_ == nullptr || sampling == rates_.end() || sampling->second.awayTicket != 0) {
        return false;
    }
    const std::uint64_t ticket = ++lastTicket_;
    if (!away_->collect(query, ticket)) {
        return false;
    }
    sampling->second.awayTicket = ticket;
    return true;
}

std::optional<std::uint64_t> Sampler::collectedAway(std::uint64_t ticket) {
    for (auto& [rate, sampling] : rates_) {
        if (ticket != 0 && sampling.awayTicket == ticket) {
            sampling.awayTicket = 0;
            return rate;
        }
    }
    return std::nullopt;
}

bool Sampler::collectingAway(std::uint64_t rate) const {
    const auto sampling = rates_.find(rate);
    return sampling != rates_.end() && sampling->second.awayTicket != 0;
}

}  // namespace tavisto
