#pragma once
// The counters of one refresh rate that come from the system's performance data and
// its sensors, and everything that waits on the system for them: opening the rate's
// query, adding its counters (and adding again, on a schedule, those that could not be
// added), collecting, reading each counter, a wildcard's instances chosen and combined,
// and reading the sensors once for all their references. `run` is one tick of it. A
// window whose thread must not wait has a CollectionQueue run it away from that thread;
// the window's thread reads what a run left only once it is back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sampling/counter_instances.h"
#include "sampling/sensor_fields.h"

namespace tavisto {

// After how long a counter that could not be added is tried again: soon at first, then
// less often, on the clock rather than by ticks.
std::uint64_t addRetryDelayMilliseconds(std::uint32_t failedAttempts);

class RateQuery final : public platform::QueryWork {
  public:
    struct Reference {
        std::u16string path;
        // How a wildcard path's instances are chosen and combined; none: summed.
        std::optional<CompiledSelection> selection;
    };

    // Nothing here calls the system: the query opens at the first run.
    RateQuery(platform::CounterQueries& queries, platform::Sensors& sensors,
              const platform::Clock& clock, std::vector<Reference> references);
    // Closes the query; destroy it on the thread that ran it.
    ~RateQuery() override;
    RateQuery(const RateQuery&) = delete;
    RateQuery& operator=(const RateQuery&) = delete;

    // Reads the sensors the references name; then, when there are counters, opens the
    // query if it is not open, adds the counters that are due (for a bounded while: a
    // stalled add holds back only the rest), collects, and reads every counter.
    void run() noexcept override;

    // Whether the last run collected: the values are then the ones it read.
    bool collected() const { return collected_; }
    // What each reference read at the last run that collected, in the order given; a
    // counter not added reads kFailedCounterRead, a sensor that is not available NaN, and
    // one whose new instance names are still being classified keeps its value.
    double value(std::size_t reference) const {
        return slots_.at(slotOfReference_.at(reference)).value;
    }
    // The largest instances the reference read at the last run that collected; null for a
    // reference whose selection lists none.
    const TopInstances* top(std::size_t reference) const {
        const Slot& slot = slots_.at(slotOfReference_.at(reference));
        return slot.top.ranked.empty() ? nullptr : &slot.top;
    }
    platform::QueryHandle query() const { return query_; }

  private:
    struct Slot {
        Reference reference;
        bool wildcard = false;
        // None for a counter of the performance data.
        std::optional<SensorSource> sensor;
        platform::CounterHandle counter = 0;
        std::uint32_t failedAdds = 0;
        std::uint64_t nextAdd = 0;  // on the clock; 0: at once
        double value = platform::kFailedCounterRead;
        InstanceMemo memo;
        TopInstances top;
    };

    void collectCounters();
    void addDueCounters(std::uint64_t now);
    void readCounters();
    void readSensorSlots();

    platform::CounterQueries& queries_;
    platform::Sensors& sensors_;
    const platform::Clock& clock_;
    // One per distinct counter; references that name the same one share its slot.
    std::vector<Slot> slots_;
    std::vector<std::size_t> slotOfReference_;
    bool hasCounters_ = false;
    bool readsAdapters_ = false;
    bool readsPower_ = false;
    SensorRecord sensorRecord_;
    platform::QueryHandle query_ = 0;
    std::uint32_t failedOpens_ = 0;
    std::uint64_t nextOpen_ = 0;
    bool collected_ = false;
};

}  // namespace tavisto
