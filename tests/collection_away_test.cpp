// A panel whose ticks collect away from the window's thread, through a queue the test
// plays: what the window's thread does between asking for a collection and hearing back.

#include <gtest/gtest.h>

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
    bool collect(platform::QueryHandle query, std::uint64_t ticket) override {
        asked.emplace_back(query, ticket);
        return accepting;
    }
    void closeAfterCollection(platform::QueryHandle query) override {
        closedAfterCollection.push_back(query);
    }

    std::vector<std::pair<platform::QueryHandle, std::uint64_t>> asked;
    std::vector<platform::QueryHandle> closedAfterCollection;
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
    // What the collector does with the last collection asked for; its ticket.
    std::uint64_t collectLast() {
        platform.counterQueries.collect(queue.asked.back().first);
        return queue.asked.back().second;
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

TEST_F(CollectionAway, TicksWhileAwayAreSkippedAndTheAnswerIsReadOnTheWindowsThread) {
    const auto panel = make("#00FF00");
    const platform::QueryHandle query = panel->queriesByRate().at(1000);
    // Shown at once, before any answer; the field's rate reads without collecting.
    EXPECT_GT(outlines(0xFF00FF00), 0);
    EXPECT_EQ(value(*panel, 250), 7.0);
    ASSERT_EQ(queue.asked.size(), 1u);
    EXPECT_EQ(queue.asked[0].first, query);

    for (int tick = 0; tick < 3; ++tick) {
        platform.timers.fire(1000);
    }
    EXPECT_EQ(queue.asked.size(), 1u) << "ticks of a rate still collecting are skipped";
    EXPECT_EQ(platform.counterQueries.collections(query), 0) << "nothing collected in place";

    const struct {
        bool succeeded;
        double shown;
    } answers[] = {{true, 40}, {false, 40}, {true, 80}};
    for (const auto& answer : answers) {
        const std::uint64_t ticket = collectLast();
        panel->collected(ticket, answer.succeeded);
        EXPECT_EQ(value(*panel, 1000), answer.shown);
        panel->collected(ticket, true);  // an answer comes once: again, it is ignored
        EXPECT_EQ(value(*panel, 1000), answer.shown);
        platform.timers.fire(1000);
    }
    EXPECT_EQ(queue.asked.size(), 4u);
}

TEST_F(CollectionAway, ReloadHandsTheQueryInCollectionOverAndIgnoresItsLateAnswer) {
    const auto panel = make("#00FF00");
    const platform::QueryHandle away = panel->queriesByRate().at(1000);
    const std::uint64_t lateTicket = collectLast();
    const int closedBefore = platform.counterQueries.closed;

    recording.last->log.clear();
    EXPECT_EQ(panel->reload(configuration("#0000FF"), BandDirection::Horizontal), "");
    EXPECT_EQ(queue.closedAfterCollection, std::vector<platform::QueryHandle>{away});
    EXPECT_EQ(platform.counterQueries.closed, closedBefore + 1) << "the idle query closes";
    EXPECT_GT(outlines(0xFF0000FF), 0) << "the new configuration shows at once";

    const int readsBefore = platform.counterQueries.reads;
    panel->collected(lateTicket, true);
    EXPECT_EQ(platform.counterQueries.reads, readsBefore);
    EXPECT_EQ(value(*panel, 1000), 0.0);
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
    panel->collected(collectLast(), true);
    EXPECT_EQ(value(*panel, 1000), 40.0);
}

}  // namespace
}  // namespace tavisto
