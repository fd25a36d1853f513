#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "panel/panel_engine.h"
#include "panel/panel_view.h"
#include "render/spoken_values.h"
#include "sampling/counter_alert.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/recording_surface.h"

namespace tavisto {
namespace {

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

struct AlertStep {
    std::uint64_t at;
    double value;
    AlertChange change;
    bool raised;
};

struct AlertCase {
    const char* name;
    CounterAlert alert;
    std::vector<AlertStep> steps;
};

CounterAlert above(double threshold, std::uint64_t hold, double clear) {
    return {.above = true, .threshold = threshold, .clear = clear, .holdMilliseconds = hold};
}
CounterAlert below(double threshold, std::uint64_t hold, double clear) {
    return {.above = false, .threshold = threshold, .clear = clear, .holdMilliseconds = hold};
}

TEST(CounterAlert, RaisesAfterTheHoldAndClearsPastTheClearingValue) {
    using enum AlertChange;
    const AlertCase cases[] = {
        {"at once, cleared at the threshold",
         above(90, 0, 90),
         {{0, 90, None, false},
          {1, 95, Raised, true},
          {2, 91, None, true},
          {3, 90, Cleared, false}}},
        {"held for ten seconds",
         above(90, 10'000, 90),
         {{0, 95, None, false}, {5'000, 99, None, false}, {10'000, 91, Raised, true}}},
        {"a dip starts the wait again",
         above(90, 10'000, 90),
         {{0, 95, None, false},
          {5'000, 85, None, false},
          {6'000, 95, None, false},
          {15'000, 95, None, false},
          {16'000, 95, Raised, true}}},
        {"hysteresis: clears only at the clearing value",
         above(90, 0, 80),
         {{0, 95, Raised, true},
          {1, 85, None, true},
          {2, 89.9, None, true},
          {3, 80, Cleared, false},
          {4, 85, None, false}}},
        {"not available neither raises nor clears",
         above(90, 0, 80),
         {{0, kNotAvailable, None, false},
          {1, 95, Raised, true},
          {2, kNotAvailable, None, true},
          {3, 70, Cleared, false}}},
        {"not available during the hold starts it again",
         above(90, 2'000, 90),
         {{0, 95, None, false},
          {1'000, kNotAvailable, None, false},
          {2'000, 95, None, false},
          {3'000, 95, None, false},
          {4'000, 95, Raised, true}}},
        {"below, with its clearing value above",
         below(20, 1'000, 25),
         {{0, 15, None, false},
          {1'000, 19, Raised, true},
          {2'000, 22, None, true},
          {3'000, 25, Cleared, false}}},
    };
    for (const AlertCase& test : cases) {
        SCOPED_TRACE(test.name);
        AlertState state;
        for (const AlertStep& step : test.steps) {
            SCOPED_TRACE(step.at);
            EXPECT_EQ(advanceAlert(test.alert, state, step.value, step.at), step.change);
            EXPECT_EQ(state.raised, step.raised);
        }
    }
}

class FakeNotifications final : public platform::Notifications {
  public:
    void show(const platform::AlertNotice& notice) noexcept override { shown.push_back(notice); }
    std::vector<platform::AlertNotice> shown;
};

// One engine with one recording view, its notifications kept.
class AlertedPanel : public ::testing::Test {
  protected:
    AlertedPanel()
        : engine_({platform.systemVersion, platform.counterQueries, platform.systemPerformance,
                   platform.sensors, platform.timers, platform.locale, platform.clock},
                  nullptr) {
        engine_.notifyThrough(&notifications);
        view_ = std::make_unique<PanelView>(
            PanelView::Services{platform.screen, platform.window, platform.tooltips, recording,
                                platform.theme},
            engine_, BandDirection::Horizontal);
    }
    ~AlertedPanel() override { view_.reset(); }

    std::string load(const std::string& alertColour) {
        return engine_.load(R"json({"meterGroups": [{"name": "Processor", "meters": [
            {"meterType": "column", "width": 10, "refreshRate": 1000,
             "counters": [{"counterPath": "(\\P\\T)", "name": "CPU", "color": "#00FF00",
                           "minValue": 0, "maxValue": 100,
                           "alert": {"above": 90, "for": 2000, "clear": 80, "notify": true,
                                     "color": ")json" +
                            alertColour + R"json("}}]},
            {"meterType": "graph", "width": 10, "refreshRate": 1000,
             "counters": [{"counterPath": "(\\P\\T)", "color": "#00FF00", "minValue": 0,
                           "maxValue": 100,
                           "alert": {"above": 90, "color": "#FF0000"}}]}]}]})json");
    }
    // One tick a second later.
    void tick() {
        platform.clock.now += 1000;
        recording.last->log.clear();
        ASSERT_TRUE(platform.timers.fire(1000));
    }
    std::vector<Argb> fillColours() {
        std::vector<Argb> colours;
        for (const auto& fill : recording.last->recorded<testing::FillRectangle>()) {
            colours.push_back(fill.color);
        }
        return colours;
    }
    std::u16string spoken() {
        return spokenValue(engine_.model(), engine_.model().groups[0], engine_.samples(),
                           engine_.numberSeparators());
    }

    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory recording;
    FakeNotifications notifications;
    PanelEngine engine_;

  private:
    std::unique_ptr<PanelView> view_;
};

// Through the engine: the value held over the threshold raises the alert once, which
// colours the column and the graph's newest sample, is said and shown once; a flicker
// within five minutes and a reload while raised show nothing more, a raise after five
// minutes is shown again.
TEST_F(AlertedPanel, AHeldValueRaisesOneNotificationAndColoursTheMeters) {
    platform.counterQueries.script(u"\\P\\T", {95, 95, 95, 95, 70, 95, 95, 95, 95, 95});
    ASSERT_EQ(load("#FF0000"), "");  // the first tick: 95
    tick();
    EXPECT_TRUE(notifications.shown.empty()) << "held 1 s of 2";
    tick();
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0].title, u"Processor");
    EXPECT_EQ(notifications.shown[0].text, u"CPU 95%, above 90% for 2 s");
    // The column, and the graph's newest sample with its brighter edge, in the alert's
    // colour; the graph's alert, raised at once, has lasted as long.
    EXPECT_EQ(fillColours(), (std::vector<Argb>{0xFFFF0000, 0xFFFF0000, 0xFFFF7F7F}));
    EXPECT_EQ(spoken(), u"CPU 95% (alert for 2 s), 95% (alert for 2 s)");
    EXPECT_TRUE(testing::spokenGroupsOf(engine_)[0].inAlert);
    tick();
    EXPECT_EQ(spoken(), u"CPU 95% (alert for 3 s), 95% (alert for 3 s)");

    tick();  // 70: cleared
    EXPECT_EQ(fillColours(), (std::vector<Argb>{0xFF00FF00, 0xFF00FF00, 0xFF7FFF7F}));
    EXPECT_EQ(spoken(), u"CPU 70%, 70%");
    EXPECT_FALSE(testing::spokenGroupsOf(engine_)[0].inAlert);
    for (int second = 0; second < 3; ++second) {
        tick();
    }
    EXPECT_NE(spoken().find(u"(alert for 2 s)"), std::u16string::npos) << "raised again";
    EXPECT_EQ(notifications.shown.size(), 1u) << "within five minutes";

    // A reload that changes only the colour keeps the alert raised, without a notice.
    recording.last->log.clear();
    ASSERT_EQ(load("#0000FF"), "");
    EXPECT_EQ(fillColours().front(), 0xFF0000FF);
    EXPECT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(engine_.samples()[0].counters[0].alert.changes, 3u);

    // The new counter reads the script again: cleared at 70, then past five minutes an
    // alert raised again is told again.
    for (int second = 0; second < 4; ++second) {
        tick();
    }
    platform.clock.now += kAlertNotificationInterval;
    for (int second = 0; second < 3; ++second) {
        tick();
    }
    EXPECT_EQ(notifications.shown.size(), 2u);
}

}  // namespace
}  // namespace tavisto
