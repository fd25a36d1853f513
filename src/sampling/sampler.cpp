#include "sampling/sampler.h"

#include <algorithm>

#include "core/failure_sink.h"
#include "sampling/counter_alert.h"
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

// What a counter measures, whatever its looks: the same after a reload that changed
// only how it is drawn or alerted.
std::u16string measuredBy(const MeterCounter& counter) {
    std::u16string measured = counter.counterPath;
    for (const auto& [name, reference] : counter.references) {
        measured += u'\n';
        measured += reference.path;
    }
    return measured;
}

}  // namespace

void Sampler::track(const PanelModel& model) {
    samples_.clear();
    alertedCounters_.clear();
    alertsToTell_.clear();
    samples_.reserve(model.meters.size());
    for (std::size_t meter = 0; meter < model.meters.size(); ++meter) {
        samples_.push_back(initialSamples(model.meters[meter]));
        const std::vector<MeterCounter>& counters = model.meters[meter].counters;
        for (std::size_t counter = 0; counter < counters.size(); ++counter) {
            if (counters[counter].alert) {
                alertedCounters_.push_back({{meter, counter}, measuredBy(counters[counter])});
            }
        }
    }
    // Each alert of the last model goes to the first counter that measures the same.
    for (const AlertedCounter& alerted : alertedCounters_) {
        const auto kept = std::find_if(keptAlerts_.begin(), keptAlerts_.end(),
                                       [&](const KeptAlert& entry) {
                                           return entry.measured == alerted.measured;
                                       });
        if (kept != keptAlerts_.end()) {
            samples_[alerted.place.meter].counters[alerted.place.counter].alert = kept->state;
            keptAlerts_.erase(kept);
        }
    }
    keptAlerts_.clear();
    // Room for every alert raised at once: a tick adds none.
    alertsToTell_.reserve(alertedCounters_.size());
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
    if (!alertedCounters_.empty()) {
        try {
            keptAlerts_.clear();
            keptAlerts_.reserve(alertedCounters_.size());
            for (AlertedCounter& alerted : alertedCounters_) {
                keptAlerts_.push_back(
                    {std::move(alerted.measured),
                     samples_.at(alerted.place.meter).counters.at(alerted.place.counter).alert});
            }
        } catch (...) {
            // Out of memory: the next model's alerts start afresh.
            reportCaughtException("keeping the alerts over a reload");
            keptAlerts_.clear();
        }
        alertedCounters_.clear();
    }
    alertsToTell_.clear();
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
    alertsToTell_.clear();
    const std::uint64_t now = clock_.milliseconds();
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
        advanceAlerts(meter, index, now);
    }
    return true;
}

void Sampler::advanceAlerts(const Meter& meter, std::size_t index, std::uint64_t now) {
    MeterSamples& meterSamples = samples_[index];
    for (std::size_t counter = 0; counter < meter.counters.size(); ++counter) {
        const std::optional<CounterAlert>& alert = meter.counters[counter].alert;
        if (!alert) {
            continue;
        }
        CounterSamples& samples = meterSamples.counters[counter];
        const AlertChange change = advanceAlert(
            *alert, samples.alert, shownValue(meter.meterType, meter.counters[counter], samples),
            now);
        if (samples.alert.raised) {
            samples.history.markNewestInAlert();
        }
        if (change == AlertChange::Raised && alert->notify &&
            takeNotificationTurn(samples.alert, now) &&
            alertsToTell_.size() < alertsToTell_.capacity()) {
            alertsToTell_.push_back({index, counter});
        }
    }
}

platform::QueryHandle Sampler::queryOf(std::uint64_t rate) const {
    const auto sampling = rates_.find(rate);
    return sampling != rates_.end() && sampling->second.query ? sampling->second.query->query() : 0;
}

}  // namespace tavisto
