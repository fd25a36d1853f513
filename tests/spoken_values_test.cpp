#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/text_conversion.h"
#include "panel/meter_panel.h"
#include "render/spoken_values.h"
#include "sampling/counter_value.h"
#include "support/fake_platform.h"
#include "support/panel_samples.h"
#include "support/recording_surface.h"

namespace tavisto {

void PrintTo(const SpokenGroup& group, std::ostream* out) {
    *out << '"' << utf16ToUtf8(group.name) << "\": \"" << utf16ToUtf8(group.value) << '"';
}

namespace {

struct SpokenCase {
    const char* name;
    const char* configuration;
    double processor;  // the scripted value of \Processor(_Total)\% Processor Time
    std::vector<SpokenGroup> expected;
    std::vector<std::string> displayLanguages = {};  // the user's, most preferred first
};

// Every meter reads the same counter, so each line shows how its kind speaks it.
const SpokenCase kSpokenCases[] = {
    {"TextMetersSayTheirLinesInTheirUnits",
     R"json({"meterGroups": [{"name": "Load", "meters": [{"meterType": "text", "counters": [
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "units": "percent",
         "minValue": 0, "maxValue": 200},
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)",
         "units": "bytes/second"}]}]}]})json",
     74.0,
     {{u"Load", u"37%, 74 B/s"}}},
    {"ShapesSayTheShareOfTheirRangeAndGraphsTheirUnits",
     R"json({"meterGroups": [{"name": "Shapes", "meters": [
        {"meterType": "column", "counters": [{"counterPath":
            "(\\Processor(_Total)\\% Processor Time)", "minValue": 0, "maxValue": 50}]},
        {"meterType": "pie", "counters": [{"counterPath":
            "(\\Processor(_Total)\\% Processor Time)", "minValue": 0, "maxValue": 0}]},
        {"meterType": "graph", "counters": [{"counterPath":
            "(\\Processor(_Total)\\% Processor Time)", "units": "bytes/second"}]}]}]})json",
     20.0,
     {{u"Shapes", u"40%, 0%, 20 B/s"}}},
    {"ValuesOutsideTheRangeAreKeptInsideIt",
     R"json({"meterGroups": [{"name": "Kept", "meters": [{"meterType": "column", "counters": [
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)",
         "minValue": 0, "maxValue": 100}]}]}]})json",
     250.0,
     {{u"Kept", u"100%"}}},
    {"IndicatorsSpeakOnlyWhileTheirTriggerHolds",
     R"json({"meterGroups": [{"name": "Busy", "meters": [{"meterType": "indicator", "counters": [
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "indicator": "BUSY",
         "trigger": "> 90"},
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "indicator": "IDLE",
         "trigger": "< 10"}]}]}]})json",
     95.0,
     {{u"Busy", u"BUSY"}}},
    {"TextLinesBlankedByTheirTriggerSayZero",
     R"json({"meterGroups": [{"name": "", "meters": [{"meterType": "text", "counters": [
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "units": "percent",
         "minValue": 0, "maxValue": 100, "trigger": ">= 50"}]}]},
        {"meters": [{"meterType": "nonsense", "counters": [
        {"counterPath": "(\\Processor(_Total)\\% Processor Time)"}]}]}]})json",
     30.0,
     {{u"Group 1", u"0%"}, {u"Group 2", u""}}},
    {"NamedCountersSayTheirNamesAndAValueThatIsNoNumberIsNotAvailable",
     R"json({"meterGroups": [{"name": "Named", "meters": [
        {"meterType": "text", "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "name": "CPU",
             "units": "percent", "minValue": 0, "maxValue": 100},
            {"counterPath": "(\\Processor(_Total)\\% Processor Time) / 0", "name": "Sensor",
             "units": "celsius"}]},
        {"meterType": "column", "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time) * 1024", "name": "Disk",
             "units": "bytes", "minValue": 0, "maxValue": 1e9}]}]}]})json",
     30.0,
     {{u"Named", u"CPU 30%, Sensor not available, Disk 30.0 KB"}}},
    {"TheConfiguredLanguageGivesTheWords",
     R"json({"language": "de", "meterGroups": [{"meters": [{"meterType": "text", "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time) / 0", "name": "Sensor",
             "units": "celsius"}]}]}]})json",
     30.0,
     {{u"Gruppe 1", u"Sensor nicht verf\u00FCgbar"}},
     {"fr-FR"}},
    {"TheFirstDisplayLanguageSpokenGivesTheWordsWhenTheFileNamesNone",
     R"json({"meterGroups": [{"meters": [{"meterType": "text", "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time) / 0", "name": "Sensor",
             "units": "celsius"}]}]}]})json",
     30.0,
     {{u"Groupe 1", u"Sensor non disponible"}},
     {"tlh", "fr-FR", "de-DE"}},
};

class SpokenValues : public ::testing::Test {
  protected:
    SpokenValues() { platform.surfaces = &recording; }
    testing::FakePlatform platform;
    testing::RecordingSurfaceFactory recording;
};

TEST(SpokenGroups, SayWhatTheirMetersShow) {
    for (const SpokenCase& spoken : kSpokenCases) {
        SCOPED_TRACE(spoken.name);
        testing::FakePlatform platform;
        testing::RecordingSurfaceFactory recording;
        platform.surfaces = &recording;
        platform.locale.languages = spoken.displayLanguages;
        platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time",
                                       {spoken.processor});
        const MeterPanel panel(platform.services(), spoken.configuration,
                               BandDirection::Horizontal);
        EXPECT_EQ(testing::spokenGroupsOf(panel), spoken.expected);
    }
}

TEST_F(SpokenValues, FollowsNewSamplesWithoutCollecting) {
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {50, 70});
    MeterPanel panel(platform.services(), R"json({"meterGroups": [{"name": "cpu", "meters": [
        {"meterType": "column", "refreshRate": 1000, "counters": [{"counterPath":
        "(\\Processor(_Total)\\% Processor Time)", "minValue": 0, "maxValue": 100}]}]}]})json",
                     BandDirection::Horizontal);
    const platform::QueryHandle query = panel.queryOf(1000);
    EXPECT_EQ(testing::spokenGroupsOf(panel).at(0).value, u"50%");
    EXPECT_EQ(testing::spokenGroupsOf(panel).at(0).value, u"50%");
    EXPECT_EQ(platform.counterQueries.collections(query), 1);
    platform.timers.fire(1000);
    EXPECT_EQ(testing::spokenGroupsOf(panel).at(0).value, u"70%");
}

// A tip reads its group when asked: the group's own name above what its meters show now.
TEST_F(SpokenValues, TooltipsShowTheGroupsNameAboveWhatItsMetersShowNow) {
    platform.counterQueries.script(u"\\Processor(_Total)\\% Processor Time", {50, 70});
    const MeterPanel panel(platform.services(), R"json({"meterGroups": [
        {"name": "cpu", "meters": [{"meterType": "column", "refreshRate": 1000, "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time)", "name": "CPU",
             "minValue": 0, "maxValue": 100}]}]},
        {"meters": [{"meterType": "column", "refreshRate": 1000, "counters": [
            {"counterPath": "(\\Processor(_Total)\\% Processor Time)",
             "minValue": 0, "maxValue": 100}]}]},
        {"name": "quiet", "meters": [{"meterType": "nonsense"}]},
        {"meters": [{"meterType": "nonsense"}]}]})json",
                           BandDirection::Horizontal);
    const auto tipTexts = [&] {
        std::vector<std::u16string> texts;
        for (const testing::TooltipRecord* tip : platform.tooltips.live()) {
            texts.push_back(tip->text());
        }
        return texts;
    };
    EXPECT_EQ(tipTexts(), (std::vector<std::u16string>{u"cpu\nCPU 50%", u"50%", u"quiet", u""}));
    platform.timers.fire(1000);
    EXPECT_EQ(tipTexts(), (std::vector<std::u16string>{u"cpu\nCPU 70%", u"70%", u"quiet", u""}));
}

// A graph's range follows its history, so sampling leaves its bounds as configured.
TEST(SpokenValue, GraphsDynamicBoundsReachTheValueWithoutMoving) {
    Meter meter;
    meter.meterType = MeterType::Graph;
    MeterCounter& counter = meter.counters.emplace_back();
    counter.minValue = 0.0;
    counter.maxValue = 100.0;
    counter.dynamicMaxValue = true;
    counter.references["a"];
    PanelSamples samples{initialSamples(meter)};
    samples[0].counters[0].references[0].value = 400.0;
    takeSamples(meter, samples[0]);
    PanelModel model;
    model.meters.push_back(meter);
    model.groups.emplace_back().meters.push_back(0);
    EXPECT_EQ(spokenValue(model, model.groups[0], samples, {}), u"100%");
    EXPECT_EQ(samples[0].counters[0].maxValue, 100.0);
}

}  // namespace
}  // namespace tavisto
