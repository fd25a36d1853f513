#pragma once
// The sampling state of a panel: one counter query per refresh rate with the rate's
// counters added to it, the retries of the adds that failed, what each rate's
// performance record must hold, which rates' collections run away from the window's
// thread, and the samples of every meter with the values they give.
//
// A tick has three phases: `prepare` (the window's thread: retries a failed add and
// names the query to collect), the collection (here through `collect`, or away through
// a CollectionQueue), and `read` (the window's thread again: reads what was collected).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "config/meter_model.h"
#include "platform/platform.h"
#include "sampling/meter_samples.h"

namespace tavisto {

class Sampler {
  public:
    // `away`, when given, collects away from the window's thread; it must outlive the
    // sampler's queries (until stop()).
    Sampler(platform::CounterQueries& queries, platform::SystemPerformance& performance,
            platform::CollectionQueue* away) noexcept
        : queries_(queries), performance_(performance), away_(away) {}
    ~Sampler() { stop(); }
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    using Meters = std::vector<std::unique_ptr<Meter>>;

    // The samples of every meter of a model just loaded, before any is taken.
    void track(const PanelModel& model);
    // Opens the rate's query and adds the counters of its meters. True when the meters
    // reference anything to sample (the rate then needs a timer).
    bool start(std::uint64_t rate, const Meters& meters);
    // Closes every query, a query whose collection runs away once it returns, and
    // forgets the samples.
    void stop() noexcept;

    // How many samples a graph meter's histories keep, as its placement allows.
    void keepHistory(const Meter& meter, std::size_t capacity);
    const PanelSamples& samples() const { return samples_; }

    // First phase: retries one failed add of the rate and names the query this tick
    // must collect; 0 when there is nothing to collect (no counter of the system's
    // performance data, or no query could be opened).
    platform::QueryHandle prepare(std::uint64_t rate, const Meters& meters);
    // Second phase, on this thread: false when the collection failed.
    bool collect(platform::QueryHandle query);
    // Third phase: reads every reference of the rate after a collection that succeeded
    // (or none was needed) and takes the values. False when nothing was read: after a
    // failed collection the references keep the samples of the last good one instead of
    // reading as failed.
    bool read(std::uint64_t rate, const Meters& meters, bool collected);

    // The second phase away: false while the rate's previous collection has not come
    // back (the tick is skipped, not queued), or when the queue refuses it.
    bool collectAway(std::uint64_t rate, platform::QueryHandle query);
    // The rate whose away collection had `ticket`, which is back now; none for the
    // ticket of a query closed meanwhile.
    std::optional<std::uint64_t> collectedAway(std::uint64_t ticket);
    bool collectingAway(std::uint64_t rate) const;

    const std::map<std::uint64_t, platform::QueryHandle>& queriesByRate() const {
        return queriesByRate_;
    }

  private:
    // Where a rate stands in retrying the counters that could not be added.
    struct AddRetry {
        std::uint64_t ticksToWait = 0;
        std::size_t nextReference = 0;  // position among the rate's counter references
    };
    struct RateSampling {
        AddRetry retry;
        // Whether any reference is a counter of the system's performance data.
        bool collects = false;
        // What the rate's performance record must hold; none when it names no field.
        std::optional<platform::PerformanceScope> scope;
        // The ticket of the collection running away; 0 when none is.
        std::uint64_t awayTicket = 0;
    };

    void retryFailedAdd(RateSampling& sampling, std::uint64_t rate, platform::QueryHandle& query,
                        const Meters& meters);
    double readCounter(const MeterCounter& counter, const CounterReference& reference,
                       ReferenceSample& sample);

    platform::CounterQueries& queries_;
    platform::SystemPerformance& performance_;
    platform::CollectionQueue* away_;
    std::map<std::uint64_t, platform::QueryHandle> queriesByRate_;
    std::map<std::uint64_t, RateSampling> rates_;
    PanelSamples samples_;
    // Never reused, across reloads too: a late answer for a closed query matches nothing.
    std::uint64_t lastTicket_ = 0;
};

}  // namespace tavisto
