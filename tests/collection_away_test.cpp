// A panel whose ticks collect away from the window's thread, through a queue the test
// plays: what the window's thread does between asking for a collection and hearing back.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "panel/meter_panel.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

// A counter of its own at 1000 ms (a red column in a green outline), and a field at 250 ms.
std::string configuration(const char* outline) {
    return std::string(R"json({"meterGroups": [{"name": "away", "meters": [
    {"meterType": "column", "width": 10, "refreshRate": 1000, "color": ")json") +
           outline + R"json(",
     "counters": [{"counterPath": "(\\Test\\Value)", "color": "#FF0000",
                   "minValue": 0, "maxValue": 100}]},
    {"meterType": "text", "width": 30, "refreshRate": 250,
     "counters": [{"counterPath": "(PERFORMANCE_INFORMATION.ProcessCount)"}]}]}]})json";
}

class QueueInTheTest final : public platform::CollectionQueue {
  public:
    bool submit(std::shared_ptr<platform::QueryWork> work) override {
        asked.push_back(work);
        return accepting;
    }
    void retire(std::shared_ptr<platform::QueryWork> work) noexcept override {
        retired.push_back(std::move(work));
    }

    std::vector<std::shared_ptr<platform::QueryWork>> asked;
    std::vector<std::shared_ptr<platform::QueryWork>> retired;
    bool accepting = true;
};

class CollectionAway : public ::testing::Test {
  protected:
    CollectionAway() {
        platform.surfaces = &recording;
        platform.counterQueries.script(u"\\Test\\Value", {40, 60, 80});
        platform.systemPerformance.record.processCount = 7;
    }

    std::unique_ptr<MeterPanel> make(const char* outline) {
        return std::make_unique<MeterPanel>(platform.services(), configuration(outline),
                                            BandDirection::Horizontal, &queue);
    }
    double value(const MeterPanel& panel, std::uint64_t rate) const {
        return testing::sampleOf(panel, rate);
    }
    // What the collector does with the last work submitted; the work, to hand back.
    const platform::QueryWork* runLast() {
        queue.asked.back()->run();
        return queue.asked.back().get();
    }
    int outlines(Argb colour) const {
        int count = 0;
        for (const auto& outline : recording.last->recorded<testing::OutlineRectangle>()) {
            count += outline.color == colour ? 1 : 0;
        }
        return count;
    }

    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory recording;
    QueueInTheTest queue;
};

TEST_F(CollectionAway, NothingWaitsOnTheSystemOnTheWindowsThreadAndTheAnswerIsReadThere) {
    const auto panel = make("#00FF00");
    // Shown at once, before any answer; the field's rate reads without collecting.
    EXPECT_GT(outlines(0xFF00FF00), 0);
    EXPECT_EQ(value(*panel, 250), 7.0);
    ASSERT_EQ(queue.asked.size(), 1u);
    EXPECT_EQ(platform.counterQueries.opened, 0) << "the query opens with the first run";
    EXPECT_TRUE(platform.counterQueries.addAttempts.empty());

    for (int tick = 0; tick < 3; ++tick) {
        platform.timers.fire(1000);
    }
    EXPECT_EQ(queue.asked.size(), 1u) << "ticks of a rate still collecting are skipped";

    platform.counterQueries.scriptCollections({true, false, true});
    const double shownAfter[] = {40, 40, 60};  // a failed collection keeps the last value
    for (const double shown : shownAfter) {
        const platform::QueryWork* back = runLast();
        panel->collected(back);
        EXPECT_EQ(value(*panel, 1000), shown);
        panel->collected(back);  // an answer comes once: again, it is ignored
        EXPECT_EQ(value(*panel, 1000), shown);
        platform.timers.fire(1000);
    }
    EXPECT_EQ(queue.asked.size(), 4u);
}

TEST_F(CollectionAway, ReloadHandsTheWorkAwayToCloseAndIgnoresItsLateAnswer) {
    const auto panel = make("#00FF00");
    const platform::QueryWork* late = runLast();
    const int closedBefore = platform.counterQueries.closed;

    recording.last->log.clear();
    EXPECT_EQ(panel->reload(configuration("#0000FF"), BandDirection::Horizontal), "");
    ASSERT_EQ(queue.retired.size(), 1u);
    EXPECT_EQ(queue.retired[0].get(), late);
    EXPECT_EQ(platform.counterQueries.closed, closedBefore) << "nothing closes on this thread";
    EXPECT_GT(outlines(0xFF0000FF), 0) << "the new configuration shows at once";

    panel->collected(late);
    EXPECT_EQ(value(*panel, 1000), 0.0);
    queue.retired.clear();
    queue.asked.clear();
    EXPECT_EQ(platform.counterQueries.closed, closedBefore + 1) << "retired work closes its query";
}

TEST_F(CollectionAway, RefusedCollectionSkipsTheTickAndTheNextOneAsksAgain) {
    queue.accepting = false;
    const auto panel = make("#00FF00");
    platform.timers.fire(1000);
    EXPECT_EQ(queue.asked.size(), 2u);
    queue.accepting = true;
    platform.timers.fire(1000);
    platform.timers.fire(1000);
    EXPECT_EQ(queue.asked.size(), 3u);
    panel->collected(runLast());
    EXPECT_EQ(value(*panel, 1000), 40.0);
}

}  // namespace
}  // namespace tavisto
