#pragma once
// The sampling state of a panel: per refresh rate the query work of its counters of the
// system's performance data and its sensors, and what its performance record must hold;
// which rates' query work runs away from the window's thread; and the samples of every
// meter with the values they give.
//
// A tick has two phases: the rate's query work runs (here through `collect`, or away
// through a CollectionQueue), then `read`, on the window's thread, takes what it read.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "sampling/meter_samples.h"
#include "sampling/rate_query.h"

namespace tavisto {

class Sampler {
  public:
    // `away`, when given, runs the query work away from the window's thread; it must
    // outlive the sampler's work (until stop()).
    Sampler(platform::CounterQueries& queries, platform::SystemPerformance& performance,
            platform::Sensors& sensors, const platform::Clock& clock,
            platform::CollectionQueue* away) noexcept
        : queries_(queries),
          performance_(performance),
          sensors_(sensors),
          clock_(clock),
          away_(away) {}
    ~Sampler() { stop(); }
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    // The samples of every meter of a model just loaded, before any is taken.
    void track(const PanelModel& model);
    // Prepares the query work of the model's rate from its meters' counters; nothing
    // waits on the system here. True when the meters reference anything to sample (the
    // rate then needs a timer).
    bool start(const PanelModel& model, std::uint64_t rate);
    // Lets go of every rate's query work (away, it closes on the queue's thread) and
    // forgets the samples.
    void stop() noexcept;

    // How many samples the histories of the meter at `index` keep, as its placement allows.
    void keepHistory(std::size_t index, std::size_t capacity);
    const PanelSamples& samples() const { return samples_; }

    // Whether the rate has counters of the system's performance data or sensors to read.
    bool collects(std::uint64_t rate) const;
    // The first phase on this thread: false when the collection failed.
    bool collect(std::uint64_t rate);
    // The first phase away: false while the rate's previous run has not come back (the
    // tick is skipped, not queued), or when the queue refuses it.
    bool collectAway(std::uint64_t rate);
    struct Collected {
        std::uint64_t rate = 0;
        bool succeeded = false;
    };
    // The rate whose work is back now, and whether it collected; none for work this
    // sampler no longer runs.
    std::optional<Collected> collectedAway(const platform::QueryWork* work);
    bool collectingAway(std::uint64_t rate) const;

    // Second phase: every reference of the rate takes what was read after a collection
    // that succeeded (or none was needed), and the values are taken. False when nothing
    // was read: after a failed collection the references keep the samples of the last
    // good one instead of reading as failed.
    bool read(const PanelModel& model, std::uint64_t rate, bool collected);

    // The rate's query, 0 when it has none or it is not open; its work must not be away.
    platform::QueryHandle queryOf(std::uint64_t rate) const;

    // A counter, by meter index and its place in the meter.
    struct CounterPlace {
        std::size_t meter = 0;
        std::size_t counter = 0;
    };
    // The counters whose alerts the last read raised and whose notification may show now:
    // "notify" is on and none showed for them in the last five minutes.
    std::span<const CounterPlace> alertsToTell() const { return alertsToTell_; }

  private:
    struct RateSampling {
        // None when no reference is a counter of the system's performance data or a sensor.
        std::shared_ptr<RateQuery> query;
        // What the rate's performance record must hold; none when it names no field.
        std::optional<platform::PerformanceScope> scope;
        bool away = false;
    };

    platform::CounterQueries& queries_;
    platform::SystemPerformance& performance_;
    platform::Sensors& sensors_;
    const platform::Clock& clock_;
    platform::CollectionQueue* away_;
    // A counter with an alert, and what it measures: its expression and reference paths.
    struct AlertedCounter {
        CounterPlace place;
        std::u16string measured;
    };
    // Where an alert stood when its model went, for the next model's counter that
    // measures the same: a reload neither raises nor notifies it again.
    struct KeptAlert {
        std::u16string measured;
        AlertState state;
    };
    void advanceAlerts(const Meter& meter, std::size_t index, std::uint64_t now);

    std::map<std::uint64_t, RateSampling> rates_;
    PanelSamples samples_;
    std::vector<AlertedCounter> alertedCounters_;
    std::vector<KeptAlert> keptAlerts_;
    std::vector<CounterPlace> alertsToTell_;
};

}  // namespace tavisto
