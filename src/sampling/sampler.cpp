#include "sampling/sampler.h"

#include <algorithm>

#include "sampling/counter_instances.h"
#include "sampling/counter_value.h"
#include "sampling/performance_fields.h"

namespace tavisto {
namespace {

// Hands each reference of the meter to `visit(counter, reference, sample)` with its
// sample, in order.
template <typename Visit>
void visitReferences(const Meter& meter, MeterSamples& samples, Visit visit) {
    for (std::size_t index = 0; index < meter.counters.size(); ++index) {
        const MeterCounter& counter = meter.counters[index];
        auto sample = samples.counters.at(index).references.begin();
        for (const auto& [name, reference] : counter.references) {
            visit(counter, reference, *sample++);
        }
    }
}

}  // namespace

void Sampler::track(const PanelModel& model) {
    samples_.clear();
    samples_.reserve(model.meters.size());
    for (const Meter& meter : model.meters) {
        samples_.push_back(initialSamples(meter));
    }
}

void Sampler::keepHistory(std::size_t index, std::size_t capacity) {
    if (index < samples_.size()) {
        for (CounterSamples& counter : samples_[index].counters) {
            counter.history.resize(capacity);
        }
    }
}

bool Sampler::start(const PanelModel& model, std::uint64_t rate) {
    RateSampling sampling;
    std::vector<RateQuery::Reference> counters;
    std::size_t references = 0;
    for (const std::size_t index : model.rates.at(rate)) {
        visitReferences(
            model.meters.at(index), samples_.at(index),
            [&](const MeterCounter& counter, const CounterReference& reference, ReferenceSample&) {
                ++references;
                if (reference.kind != CounterReference::PerformanceField) {
                    counters.push_back({reference.path, std::nullopt});
                    if (counter.instances) {
                        counters.back().selection.emplace(*counter.instances, reference.path);
                    }
                } else if (isPerformanceFieldPath(reference.path)) {
                    const platform::PerformanceScope scope = performanceScopeOf(reference.path);
                    sampling.scope = std::max(sampling.scope.value_or(scope), scope);
                }
            });
    }
    if (!counters.empty()) {
        sampling.query =
            std::make_shared<RateQuery>(queries_, sensors_, clock_, std::move(counters));
    }
    rates_.insert_or_assign(rate, std::move(sampling));
    return references > 0;
}

void Sampler::stop() noexcept {
    for (auto& [rate, sampling] : rates_) {
        if (away_ != nullptr && sampling.query) {
            away_->retire(std::move(sampling.query));
        }
    }
    // Without a queue the work was only ever run here: it closes here.
    rates_.clear();
    samples_.clear();
}

bool Sampler::collects(std::uint64_t rate) const {
    const auto sampling = rates_.find(rate);
    return sampling != rates_.end() && sampling->second.query != nullptr;
}

bool Sampler::collect(std::uint64_t rate) {
    const auto sampling = rates_.find(rate);
    if (sampling == rates_.end() || !sampling->second.query) {
        return true;
    }
    sampling->second.query->run();
    return sampling->second.query->collected();
}

bool Sampler::collectAway(std::uint64_t rate) {
    const auto sampling = rates_.find(rate);
    if (away_ == nullptr || sampling == rates_.end() || !sampling->second.query ||
        sampling->second.away) {
        return false;
    }
    if (!away_->submit(sampling->second.query)) {
        return false;
    }
    sampling->second.away = true;
    return true;
}

std::optional<Sampler::Collected> Sampler::collectedAway(const platform::QueryWork* work) {
    for (auto& [rate, sampling] : rates_) {
        if (work != nullptr && sampling.away && sampling.query.get() == work) {
            sampling.away = false;
            return Collected{rate, sampling.query->collected()};
        }
    }
    return std::nullopt;
}

bool Sampler::collectingAway(std::uint64_t rate) const {
    const auto sampling = rates_.find(rate);
    return sampling != rates_.end() && sampling->second.away;
}

bool Sampler::read(const PanelModel& model, std::uint64_t rate, bool collected) {
    const auto sampling = rates_.find(rate);
    const auto meters = model.rates.find(rate);
    if (!collected || sampling == rates_.end() || sampling->second.away ||
        meters == model.rates.end()) {
        return false;
    }
    const RateQuery* const query = sampling->second.query.get();
    // One performance record per tick, however many fields the rate names: the fields
    // of a counter then come from the same moment, and the record, which takes a
    // system call, is read once, holding only what the rate's fields need.
    std::optional<platform::PerformanceRecord> record;
    if (sampling->second.scope) {
        record = performance_.read(*sampling->second.scope);
    }
    std::size_t position = 0;  // among the rate's counters and sensors
    for (const std::size_t index : meters->second) {
        const Meter& meter = model.meters.at(index);
        MeterSamples& meterSamples = samples_.at(index);
        visitReferences(
            meter, meterSamples,
            [&](const MeterCounter&, const CounterReference& reference, ReferenceSample& sample) {
                if (reference.kind != CounterReference::PerformanceField) {
                    sample.value = query->value(position);
                    if (const TopInstances* top = query->top(position)) {
                        // Into the storage of the last tick's list: no allocation while
                        // the names fit it.
                        sample.top = *top;
                    }
                    ++position;
                } else {
                    sample.value = record ? performanceFieldValue(reference.path, *record) : 0.0;
                }
            });
        takeSamples(meter, meterSamples);
    }
    return true;
}

platform::QueryHandle Sampler::queryOf(std::uint64_t rate) const {
    const auto sampling = rates_.find(rate);
    return sampling != rates_.end() && sampling->second.query ? sampling->second.query->query() : 0;
}

}  // namespace tavisto
