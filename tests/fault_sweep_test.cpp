// One life of a panel (load, ticks, relayouts, reloads good and refused, teardown) is
// run once to count its fallible platform calls and its allocations, then again with
// each of them failing in turn. Whatever fails, nothing crashes or leaks, nothing of
// the platform stays live after teardown, and the panel always shows one whole
// configuration or nothing.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/failure_sink.h"
#include "panel/meter_panel.h"
#include "support/allocation_count.h"
#include "support/fake_platform.h"
#include "support/source_file.h"
#include "support/stress_configuration.h"

namespace tavisto {
namespace {

using testing::FakePlatform;
using testing::FaultSchedule;

// What a panel shows: its groups and, per rate, its meters.
struct Shape {
    std::size_t groups = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> metersByRate;
    bool operator==(const Shape&) const = default;
};

Shape shapeOf(const PanelModel& model) {
    Shape shape{model.groups.size(), {}};
    for (const auto& [rate, meters] : model.rates) {
        shape.metersByRate.emplace_back(rate, meters.size());
    }
    return shape;
}

struct Documents {
    std::string example = testing::sourceFile("examples/TavistoConfig.json");
    std::string stress = testing::stressConfiguration(false).dump();
    std::string refused = R"json({"meterGroups": [{"meters": [{"width": "wide"}]}]})json";
    Shape exampleShape;
    Shape stressShape;
};

const Documents& documents() {
    static const Documents loaded = [] {
        Documents result;
        FakePlatform platform;
        MeterPanel panel(platform.services(), result.example, BandDirection::Horizontal);
        result.exampleShape = shapeOf(panel.model());
        panel.reload(result.stress, BandDirection::Horizontal);
        result.stressShape = shapeOf(panel.model());
        return result;
    }();
    return loaded;
}

// Everything the platform holds for the panel belongs to the configuration it shows,
// and that configuration is whole: `before` (kept), `after` (replaced) or none.
void expectWhole(const MeterPanel& panel, FakePlatform& platform, const Shape& before,
                 const Shape& after) {
    const PanelModel& model = panel.model();
    const Shape shown = shapeOf(model);
    EXPECT_TRUE(shown == before || shown == after || shown == Shape{})
        << shown.groups << " groups, " << shown.metersByRate.size() << " rates shown";
    std::set<platform::QueryHandle> queries;
    std::size_t timers = 0;
    for (const auto& [rate, meters] : model.rates) {
        if (const platform::QueryHandle query = panel.queryOf(rate); query != 0) {
            queries.insert(query);
        }
        timers += platform.timers.isSet(rate) ? 1u : 0u;
    }
    EXPECT_EQ(platform.counterQueries.openQueries(), queries);
    EXPECT_EQ(platform.timers.setCount(), timers);
    std::size_t tooltips = 0;
    for (const auto& tooltip : panel.tooltips()) {
        tooltips += tooltip ? 1u : 0u;
    }
    EXPECT_EQ(platform.tooltips.live().size(), tooltips);
}

void expectNothingLive(FakePlatform& platform) {
    EXPECT_TRUE(platform.counterQueries.openQueries().empty());
    EXPECT_EQ(platform.counterQueries.liveCounters(), 0u);
    EXPECT_EQ(platform.timers.setCount(), 0u);
    EXPECT_TRUE(platform.tooltips.live().empty());
}

void tickRounds(FakePlatform& platform, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        for (const std::uint64_t rate : {500u, 1000u, 2000u}) {
            platform.timers.fire(rate);
        }
    }
}

// The configuration a reload leaves: the new one when it reports success, else the
// one before or none.
void expectReload(MeterPanel& panel, FakePlatform& platform, std::string& text, Shape& shown,
                  const Shape& loaded) {
    const Shape before = shown;
    const std::string error = panel.reload(std::move(text), BandDirection::Horizontal);
    shown = shapeOf(panel.model());
    if (error.empty()) {
        EXPECT_EQ(shown, loaded) << "a reload reported success";
    }
    expectWhole(panel, platform, before, error.empty() ? loaded : before);
}

// The texts one run hands to the panel, copied before any allocation may fail.
struct RunDocuments {
    std::string example = documents().example;
    std::string stress = documents().stress;
    std::string refused = documents().refused;
    std::string exampleAgain = documents().example;
};

void runScenario(FakePlatform& platform, RunDocuments& run) {
    const Documents& documents = ::tavisto::documents();
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {5, 50, 95});
    platform.systemPerformance.record.physicalTotal = 4'000'000;
    platform.systemPerformance.record.physicalAvailable = 1'000'000;
    std::string error;
    std::unique_ptr<MeterPanel> panel = MeterPanel::create(
        platform.services(), std::move(run.example), BandDirection::Horizontal, error);
    if (panel) {  // the teardown is the panel's end
        Shape shown = shapeOf(panel->model());
        expectWhole(*panel, platform, documents.exampleShape, documents.exampleShape);
        tickRounds(platform, 50);
        panel->relayout(BandDirection::Vertical);
        panel->relayout(BandDirection::Horizontal);
        expectWhole(*panel, platform, shown, shown);
        expectReload(*panel, platform, run.stress, shown, documents.stressShape);
        tickRounds(platform, 10);
        const Shape before = shown;
        EXPECT_NE(panel->reload(std::move(run.refused), BandDirection::Horizontal), "");
        shown = shapeOf(panel->model());
        expectWhole(*panel, platform, before, before);
        // Other rates: the 500 ms rate goes.
        expectReload(*panel, platform, run.exampleAgain, shown, documents.exampleShape);
        tickRounds(platform, 5);
    }
}

// What the barriers caught and reported during the sweeps: counted here rather than
// printed, as a sweep fails thousands of calls on purpose.
long reportsCaught = 0;
void countReport(std::string_view, std::string_view) noexcept {
    ++reportsCaught;
}

class CountedReports {
  public:
    CountedReports() : previous_(setFailureReporter(countReport)) { reportsCaught = 0; }
    ~CountedReports() { setFailureReporter(previous_); }
    CountedReports(const CountedReports&) = delete;
    CountedReports& operator=(const CountedReports&) = delete;

  private:
    FailureReporter previous_;
};

// The engine's entry points are barriers; an allocation that fails in this harness
// ends the run early, which must leave nothing live either.
void runScenario(FaultSchedule& schedule, long allocationsBeforeFailure = -1) {
    const long liveBefore = testing::liveAllocations();
    {
        FakePlatform platform(schedule);
        RunDocuments run;
        testing::failAllocationAfter(allocationsBeforeFailure);
        try {
            runScenario(platform, run);
        } catch (const std::bad_alloc&) {
        }
        testing::failAllocationAfter(-1);
        expectNothingLive(platform);
    }
    EXPECT_EQ(testing::liveAllocations(), liveBefore) << "blocks leaked";
}

// Runs the scenario with failure k set by `arm` for every k from 1 to `total`; `arm`
// returns the allocations to let pass before one fails (-1: none). Returns how many ran.
template <typename Arm>
long sweep(long total, Arm arm) {
    long runs = 0;
    for (long k = 1; k <= total && !::testing::Test::HasFatalFailure(); ++k) {
        SCOPED_TRACE(k);
        FaultSchedule schedule;
        runScenario(schedule, arm(schedule, k));
        ++runs;
        if (::testing::Test::HasFailure()) {
            break;  // one failing k is enough to reproduce
        }
    }
    return runs;
}

TEST(FaultSweep, EverySeamCallFailingInTurnLeavesAWholePanelOrNone) {
    documents();  // parsed once, outside the counts
    const CountedReports reports;
    FaultSchedule counting;
    runScenario(counting);
    ASSERT_GT(counting.calls, 1000);
    const long failed = sweep(counting.calls, [](FaultSchedule& schedule, long k) {
        schedule.failAt = k;
        return -1L;
    });
    const long thrown = sweep(counting.allocatingCalls, [](FaultSchedule& schedule, long k) {
        schedule.throwAt = k;
        return -1L;
    });
    // A thrown seam call reaches a barrier, which must say what it caught.
    EXPECT_GT(reportsCaught, 0);
    std::printf("seam calls: %ld, %ld failed in turn; %ld that allocate, %ld thrown in turn\n",
                counting.calls, failed, counting.allocatingCalls, thrown);
}

TEST(FaultSweep, EveryAllocationFailingInTurnLeavesAWholePanelOrNone) {
    documents();
    const CountedReports reports;
    FaultSchedule none;
    const std::size_t before = testing::allocationCount();
    runScenario(none);
    const auto allocations = static_cast<long>(testing::allocationCount() - before);
    const long runs = sweep(allocations, [](FaultSchedule&, long k) { return k - 1; });
    EXPECT_GT(reportsCaught, 0);
    std::printf("allocations: %ld, %ld failed in turn\n", allocations, runs);
}

// The faults the sweeps found, each at the k that found it.
TEST(FaultSweep, FaultsFoundStayFixed) {
    documents();
    const CountedReports reports;
    const struct {
        const char* fault;
        long failAt, throwAt, allocationsBeforeFailure;
    } found[] = {
        {"a reload whose start threw was kept as the configuration to restore", 0, 603, -1},
        {"the same, from an allocation failing in the start", 0, 0, 3751},
        {"a query opened in the start was lost when recording it threw", 0, 0, 564},
        {"a loaded document ended the process when it went: destroying it allocates", 0, 0, 688},
    };
    for (const auto& row : found) {
        SCOPED_TRACE(row.fault);
        FaultSchedule schedule;
        schedule.failAt = row.failAt;
        schedule.throwAt = row.throwAt;
        runScenario(schedule, row.allocationsBeforeFailure);
    }
}

}  // namespace
}  // namespace tavisto
