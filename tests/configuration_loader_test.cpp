#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/configuration_loader.h"
#include "config/configuration_text.h"
#include "config/taskbar_settings.h"
#include "core/text_conversion.h"
#include "support/fake_platform.h"

namespace tavisto {
namespace {

using nlohmann::json;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The example document of the file format description.
constexpr const char* kExampleDocument = R"json({
  "horizontalPadding": 2,
  "verticalPadding": 3,
  "horizontalSpacing": 6,
  "verticalSpacing": 4,
  "meterGroups": [
    {
      "name": "Processor and memory",
      "orientation": "horizontal",
      "maxHeight": 36,
      "meters": [
        {
          "meterType": "column",
          "color": "#C0C0C0",
          "width": 12,
          "refreshRate": 1000,
          "counters": [
            { "counterPath": "(\\Processor(_Total)\\% Processor Time)",
              "color": "#3080FF", "minValue": 0, "maxValue": 100 }
          ]
        },
        {
          "meterType": "text",
          "width": 64,
          "refreshRate": 2000,
          "counters": [
            { "counterPath": "(\\Processor(_Total)\\% Processor Time)",
              "units": "percent", "minValue": 0, "maxValue": 100,
              "font": "Segoe UI", "fontSize": 9, "trigger": ">= 50" },
            { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalAvailable)",
              "minValue": 0, "dynamicMaxValue": true, "color": "#80FF80" }
          ]
        }
      ]
    },
    {
      "enabled": false,
      "name": "Disk",
      "meters": []
    }
  ]
})json";

class Loader : public ::testing::Test {
  protected:
    PanelModel load(const std::string& text) { return loadDocument(json::parse(text)); }

    PanelModel loadDocument(json document) {
        PanelModel model;
        loadModel(document, LoadContext{}, model);
        return model;
    }

    // The message of the load's failure; empty when the load succeeds.
    std::string failure(json document, PanelModel& model) {
        try {
            loadModel(document, LoadContext{}, model);
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    }

    std::string failure(const std::string& text) {
        PanelModel model;
        return failure(json::parse(text), model);
    }

    const Meter& onlyMeter(const PanelModel& model) {
        EXPECT_EQ(model.meters.size(), 1u);
        return model.meters.front();
    }
};

TEST_F(Loader, ExampleDocumentBuildsEveryFieldAtScaleOne) {
    const PanelModel model = load(kExampleDocument);
    EXPECT_EQ(model.horizontalPadding, 2);
    EXPECT_EQ(model.verticalPadding, 3);
    EXPECT_EQ(model.horizontalSpacing, 6);
    EXPECT_EQ(model.verticalSpacing, 4);

    ASSERT_EQ(model.groups.size(), 1u);  // the disabled group is skipped
    const MeterGroup& group = model.groups[0];
    EXPECT_EQ(group.name, u"Processor and memory");
    EXPECT_EQ(group.orientation, GroupOrientation::Horizontal);
    EXPECT_EQ(group.width, -1);
    EXPECT_EQ(group.height, -1);
    EXPECT_EQ(group.minWidth, -1);
    EXPECT_EQ(group.minHeight, -1);
    EXPECT_EQ(group.maxWidth, 300);
    EXPECT_EQ(group.maxHeight, 36);
    ASSERT_EQ(group.meters.size(), 2u);

    ASSERT_EQ(model.rates.size(), 2u);
    EXPECT_EQ(group.meters, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(model.rates.at(1000), std::vector<std::size_t>{0});
    const Meter& column = model.meters[0];
    EXPECT_EQ(column.meterType, MeterType::Column);
    EXPECT_EQ(column.color, (Colour{false, 0xFFC0C0C0}));
    EXPECT_EQ(column.width, 12);
    EXPECT_EQ(column.height, -1);
    EXPECT_EQ(column.refreshRate, 1000u);
    ASSERT_EQ(column.counters.size(), 1u);
    const MeterCounter& load = column.counters[0];
    EXPECT_EQ(load.counterPath, u"a");
    EXPECT_EQ(load.expressionText, "a");
    EXPECT_EQ(load.color, (Colour{false, 0xFF3080FF}));
    EXPECT_EQ(load.minValue, 0.0);
    EXPECT_EQ(load.maxValue, 100.0);
    EXPECT_EQ(load.font, u"Arial");
    EXPECT_EQ(load.fontSize, 7);
    EXPECT_EQ(load.triggerOperator, TriggerOperator::None);
    ASSERT_EQ(load.references.size(), 1u);
    EXPECT_EQ(load.references.at("a").kind, CounterReference::PerformanceCounter);
    EXPECT_EQ(load.references.at("a").path, u"\\Processor(_Total)\\% Processor Time");

    EXPECT_EQ(model.rates.at(2000), std::vector<std::size_t>{1});
    const Meter& text = model.meters[1];
    EXPECT_EQ(text.meterType, MeterType::Text);
    EXPECT_EQ(text.color, Colour{});
    EXPECT_EQ(text.width, 64);
    ASSERT_EQ(text.counters.size(), 2u);
    const MeterCounter& percent = text.counters[0];
    EXPECT_EQ(percent.units, CounterUnits::Percent);
    EXPECT_EQ(percent.font, u"Segoe UI");
    EXPECT_EQ(percent.fontSize, 9);
    EXPECT_EQ(percent.triggerOperator, TriggerOperator::GreaterOrEqual);
    EXPECT_EQ(percent.triggerValue, 50.0);
    const MeterCounter& memory = text.counters[1];
    EXPECT_EQ(memory.color, (Colour{false, 0xFF80FF80}));
    EXPECT_EQ(memory.minValue, 0.0);
    EXPECT_EQ(memory.maxValue, kInfinity);
    EXPECT_FALSE(memory.dynamicMinValue);
    EXPECT_TRUE(memory.dynamicMaxValue);
    EXPECT_EQ(memory.references.at("a").kind, CounterReference::PerformanceField);
    EXPECT_EQ(memory.references.at("a").path, u"PERFORMANCE_INFORMATION.PhysicalAvailable");
}

TEST_F(Loader, EmptyDocumentHasNoGroupsAndZeroSizes) {
    for (const char* text : {"{}", "null", R"({"meterGroups": null})", R"({"meterGroups": []})"}) {
        const PanelModel model = load(text);
        EXPECT_TRUE(model.groups.empty()) << text;
        EXPECT_TRUE(model.meters.empty()) << text;
        EXPECT_EQ(model.horizontalPadding, 0) << text;
        EXPECT_EQ(model.verticalSpacing, 0) << text;
    }
}

TEST_F(Loader, DefaultsApplyAtEveryLevel) {
    const PanelModel model = load(R"({"meterGroups": [{"meters": [{"counters": [3, "x", {}]}]}]})");
    const MeterGroup& group = model.groups.at(0);
    EXPECT_EQ(group.name, u"");
    EXPECT_EQ(group.orientation, GroupOrientation::Unknown);
    EXPECT_EQ(group.maxWidth, 300);
    EXPECT_EQ(group.maxHeight, 40);
    const Meter& meter = onlyMeter(model);
    EXPECT_EQ(meter.meterType, MeterType::Text);
    EXPECT_EQ(meter.color, Colour{});
    EXPECT_EQ(meter.style, GraphStyle::Area);
    EXPECT_EQ(meter.width, -1);
    EXPECT_EQ(meter.refreshRate, 0u);  // scheduled under rate 0
    ASSERT_EQ(meter.counters.size(), 3u);
    for (const MeterCounter& counter : meter.counters) {
        EXPECT_EQ(counter.counterPath, u"\\Processor(_Total)\\% processor time");
        EXPECT_TRUE(counter.references.empty());
        EXPECT_EQ(counter.color, Colour{});
        EXPECT_EQ(counter.units, CounterUnits::Unknown);
        EXPECT_EQ(counter.indicator, u"");
        EXPECT_EQ(counter.font, u"Arial");
        EXPECT_EQ(counter.fontSize, 7);
        EXPECT_EQ(counter.minValue, -kInfinity);
        EXPECT_EQ(counter.maxValue, kInfinity);
        EXPECT_FALSE(counter.dynamicMinValue);
        EXPECT_FALSE(counter.dynamicMaxValue);
        EXPECT_EQ(counter.triggerOperator, TriggerOperator::None);
        EXPECT_EQ(counter.triggerValue, 0.0);
    }
}

TEST_F(Loader, GroupWithoutMetersIsStillAGroup) {
    const PanelModel model = load(R"({"meterGroups": [{"name": "Idle"}, null]})");
    ASSERT_EQ(model.groups.size(), 2u);
    EXPECT_TRUE(model.groups[0].meters.empty());
    EXPECT_EQ(model.groups[0].width, -1);
    EXPECT_EQ(model.groups[1].name, u"");
}

// Closed sets match their spellings exactly, case included; anything else is the
// set's own "other" value.
TEST_F(Loader, ClosedSetsAreReadOnceAndMatchExactly) {
    const auto meter = [&](const std::string& members) {
        const PanelModel model = load(R"({"meterGroups": [{"meters": [{)" + members + "}]}]}");
        return model.meters.front();
    };
    EXPECT_EQ(meter(R"("meterType": "pie")").meterType, MeterType::Pie);
    EXPECT_EQ(meter(R"("meterType": "indicator")").meterType, MeterType::Indicator);
    EXPECT_EQ(meter(R"("meterType": "graph")").meterType, MeterType::Graph);
    EXPECT_EQ(meter(R"("meterType": "Column")").meterType, MeterType::Unknown);
    EXPECT_EQ(meter(R"("meterType": "")").meterType, MeterType::Unknown);
    EXPECT_EQ(meter(R"("style": "line")").style, GraphStyle::Line);
    EXPECT_EQ(meter(R"("style": "lines")").style, GraphStyle::Unknown);
    EXPECT_EQ(meter(R"("color": "auto")").color, Colour{true});
    EXPECT_EQ(meter(R"("color": "Auto")").color, Colour{});  // no digits after the first
    const auto units = [&](const char* text) {
        return meter(std::string(R"("counters": [{"units": ")") + text + R"("}])")
            .counters[0]
            .units;
    };
    EXPECT_EQ(units("bytes/second"), CounterUnits::BytesPerSecond);
    EXPECT_EQ(units("seconds"), CounterUnits::Seconds);
    for (const char* other : {"Percent", "bytes/sec", "\u00b0C", "percent "}) {
        EXPECT_EQ(units(other), CounterUnits::Unknown) << other;
    }
    const auto counter = [&](const char* members) {
        return meter(std::string(R"("counters": [{)") + members + "}]").counters[0];
    };
    EXPECT_EQ(counter(R"("name": "CPU")").name, u"CPU");
    EXPECT_EQ(counter("").decimals, kUnitDecimals);
    // Beyond 0 to 3, or a fraction: the nearest whole number of them.
    for (const auto& [text, decimals] : {std::pair{"2", 2}, {"7", 3}, {"-1", 0}, {"1.9", 1}}) {
        EXPECT_EQ(counter((std::string(R"("decimals": )") + text).c_str()).decimals, decimals)
            << text;
    }
    const auto orientation = [&](const char* text) {
        return load(std::string(R"({"meterGroups": [{"orientation": ")") + text + R"("}]})")
            .groups[0]
            .orientation;
    };
    EXPECT_EQ(orientation("horizontal"), GroupOrientation::Horizontal);
    for (const char* other : {"Horizontal", "horizontal ", "vertical"}) {
        EXPECT_EQ(orientation(other), GroupOrientation::Unknown) << other;
    }
}

TEST_F(Loader, ListsMayBeObjectsSingleValuesOrNull) {
    const PanelModel byName =
        load(R"({"meterGroups": {"b": {"name": "second"}, "a": {"name": "first"}}})");
    ASSERT_EQ(byName.groups.size(), 2u);
    EXPECT_EQ(byName.groups[0].name, u"first");
    EXPECT_EQ(byName.groups[1].name, u"second");

    const PanelModel single = load(R"({"meterGroups": {"only": {"meters": {"m": {"width": 5}}}}})");
    EXPECT_EQ(onlyMeter(single).width, 5);

    // A meter that is not an object is a meter with every default.
    const PanelModel scalarMeter = load(R"({"meterGroups": [{"meters": 7}]})");
    EXPECT_EQ(onlyMeter(scalarMeter).meterType, MeterType::Text);

    const PanelModel noCounters =
        load(R"({"meterGroups": [{"meters": [{"counters": {}}, {"counters": null}]}]})");
    ASSERT_EQ(noCounters.meters.size(), 2u);
    for (const Meter& meter : noCounters.meters) {
        EXPECT_TRUE(meter.counters.empty());
    }
}

TEST_F(Loader, RateScheduleKeepsLoadOrderWithinEachRate) {
    const PanelModel model = load(R"({"meterGroups": [
        {"meters": [{"width": 1, "refreshRate": 1000}, {"width": 2, "refreshRate": 2000}]},
        {"meters": [{"width": 3, "refreshRate": 1000}, {"width": 4, "refreshRate": 500}]}]})");
    ASSERT_EQ(model.rates.size(), 3u);
    const auto widths = [&](std::uint64_t rate) {
        std::vector<int> result;
        for (const std::size_t index : model.rates.at(rate)) {
            result.push_back(model.meters.at(index).width);
        }
        return result;
    };
    EXPECT_EQ(widths(500), std::vector<int>{4});
    EXPECT_EQ(widths(1000), (std::vector<int>{1, 3}));
    EXPECT_EQ(widths(2000), std::vector<int>{2});
    EXPECT_EQ(model.groups[1].meters, (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(model.groups[1].meters[1], model.rates.at(500).front());
}

TEST_F(Loader, DisabledGroupIsSkippedEvenWhenItsKeysWouldFail) {
    const PanelModel model = load(R"({"meterGroups": [
        {"enabled": false, "width": "wide", "meters": [{"width": "x", "refreshRate": 5}]},
        {"enabled": true, "name": "shown"}]})");
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_EQ(model.groups[0].name, u"shown");
    EXPECT_TRUE(model.meters.empty());
}

TEST_F(Loader, PixelsAreWholeNumbersAt96Dpi) {
    const auto meterWidth = [&](const char* width) {
        const std::string text =
            std::string(R"({"meterGroups": [{"meters": [{"width": )") + width + "}]}]}";
        return onlyMeter(load(text)).width;
    };
    EXPECT_EQ(meterWidth("11"), 11);
    EXPECT_EQ(meterWidth("10.9"), 10);
    EXPECT_EQ(meterWidth("-3"), -3);

    const PanelModel automatic = load(R"({"meterGroups": [{}]})");
    EXPECT_EQ(automatic.groups[0].maxWidth, 300);
    EXPECT_EQ(automatic.groups[0].maxHeight, 40);

    const PanelModel sized = load(R"({"meterGroups": [{"width": 80, "height": 30}]})");
    EXPECT_EQ(sized.groups[0].maxWidth, 80);
    EXPECT_EQ(sized.groups[0].maxHeight, 30);
}

TEST_F(Loader, PixelsOutsideTheIntegerRangeSaturate) {
    const PanelModel model = load(R"({"horizontalPadding": 1e300, "verticalPadding": -1e300,
        "horizontalSpacing": 5000000000, "verticalSpacing": -5000000000,
        "meterGroups": [{"width": 18446744073709551615}]})");
    EXPECT_EQ(model.horizontalPadding, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(model.verticalPadding, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(model.horizontalSpacing, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(model.verticalSpacing, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(model.groups[0].width, std::numeric_limits<std::int32_t>::max());
}

TEST_F(Loader, RefreshRatesAreUnsignedMilliseconds) {
    const auto rate = [&](const char* value) {
        const std::string text =
            std::string(R"({"meterGroups": [{"meters": [{"refreshRate": )") + value + "}]}]}";
        return onlyMeter(load(text)).refreshRate;
    };
    EXPECT_EQ(rate("250"), 250u);
    EXPECT_EQ(rate("2.9"), 2u);
    EXPECT_EQ(rate("4294967296000"), 4294967296000u);
    EXPECT_EQ(rate("-1"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(rate("-2.5"), std::numeric_limits<std::uint64_t>::max() - 1);
    EXPECT_EQ(rate("1e300"), std::numeric_limits<std::uint64_t>::max());
}

TEST_F(Loader, ValuesOfTheWrongKindFailWithTheLibrarysMessage) {
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"width": "wide"}]}]})"),
              "[json.exception.type_error.302] type must be number, but is string");
    EXPECT_EQ(failure(R"({"horizontalPadding": null})"),
              "[json.exception.type_error.302] type must be number, but is null");
    EXPECT_EQ(failure(R"({"meterGroups": [{"enabled": 1}]})"),
              "[json.exception.type_error.302] type must be boolean, but is number");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"combineFunction": 5}]}]})"),
              "[json.exception.type_error.302] type must be string, but is number");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"units": []}]}]})"),
              "[json.exception.type_error.302] type must be string, but is array");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"refreshRate": true}]}]})"),
              "[json.exception.type_error.302] type must be number, but is boolean");
    // Pixel sizes are numbers too: a boolean is not read as 0 or 1.
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"width": true}]}]})"),
              "[json.exception.type_error.302] type must be number, but is boolean");
    EXPECT_EQ(failure(R"({"verticalPadding": false})"),
              "[json.exception.type_error.302] type must be number, but is boolean");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"fontSize": true}]}]}]})"),
              "[json.exception.type_error.302] type must be number, but is boolean");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"minValue": {}}]}]}]})"),
              "[json.exception.type_error.302] type must be number, but is object");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"dynamicMaxValue": 1}]}]}]})"),
              "[json.exception.type_error.302] type must be boolean, but is number");
}

TEST_F(Loader, GroupsAndDocumentsThatAreNotObjectsFailAtMemberAccess) {
    EXPECT_EQ(failure(R"({"meterGroups": [5]})"),
              "[json.exception.type_error.305] cannot use operator[] with a string argument "
              "with number");
    EXPECT_EQ(failure(R"({"meterGroups": ["text"]})"),
              "[json.exception.type_error.305] cannot use operator[] with a string argument "
              "with string");
    EXPECT_EQ(failure("[1, 2]"),
              "[json.exception.type_error.305] cannot use operator[] with a string argument "
              "with array");
    EXPECT_EQ(failure("true"),
              "[json.exception.type_error.305] cannot use operator[] with a string argument "
              "with boolean");
}

TEST_F(Loader, CountersThatAreNotArraysFailAtIndexedAccess) {
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": {"a": {}}}]}]})"),
              "[json.exception.type_error.304] cannot use at() with object");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": "cpu"}]}]})"),
              "[json.exception.type_error.304] cannot use at() with string");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": 4}]}]})"),
              "[json.exception.type_error.304] cannot use at() with number");
}

TEST_F(Loader, InvalidUtf8AndBadThresholdsFailWithConversionMessages) {
    PanelModel model;
    json document = {{"meterGroups", json::array({{{"name", std::string("caf\xC3")}}})}};
    EXPECT_EQ(failure(document, model), "bad conversion");

    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"trigger": "> "}]}]}]})"),
              "invalid stod argument");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"trigger": "> x9"}]}]}]})"),
              "invalid stod argument");
    EXPECT_EQ(failure(R"({"meterGroups": [{"meters": [{"counters": [{"trigger": "> 1e999"}]}]}]})"),
              "stod argument out of range");
    EXPECT_EQ(
        failure(R"({"meterGroups": [{"meters": [{"counters": [{"trigger": "< 1e-999"}]}]}]})"),
        "stod argument out of range");
}

TEST_F(Loader, FailedLoadKeepsWhatWasBuiltBeforeTheFailure) {
    PanelModel model;
    const std::string message = failure(json::parse(R"({"horizontalPadding": 4, "meterGroups": [
        {"name": "complete", "meters": [{"refreshRate": 10}]},
        {"name": "broken", "meters": [{"refreshRate": 20}, {"width": "x"}]}]})"),
                                        model);
    EXPECT_EQ(message, "[json.exception.type_error.302] type must be number, but is string");
    EXPECT_EQ(model.horizontalPadding, 4);
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_EQ(model.groups[0].name, u"complete");
    // The broken group's first meter exists but belongs to no group.
    ASSERT_EQ(model.rates.size(), 2u);
    EXPECT_EQ(model.rates.at(20).size(), 1u);
}

TEST_F(Loader, StringsAreConvertedToUtf16) {
    const PanelModel model = load(R"({"meterGroups": [{"name": "CPU \u00b0 \ud83d\ude80"}]})");
    EXPECT_EQ(model.groups[0].name, u"CPU \u00b0 \U0001F680");
    EXPECT_EQ(model.groups[0].name.size(), 8u);  // the rocket is a surrogate pair
}

// What a load makes of the keys that have a default: enough to tell two loads apart.
std::string loadedValues(const PanelModel& model) {
    std::ostringstream out;
    out << model.horizontalPadding << ' ' << model.verticalPadding << ' ' << model.horizontalSpacing
        << ' ' << model.verticalSpacing << '\n';
    for (const MeterGroup& group : model.groups) {
        out << group.width << ' ' << group.height << ' ' << group.minWidth << ' ' << group.minHeight
            << ' ' << group.maxWidth << ' ' << group.maxHeight << ' ' << utf16ToUtf8(group.name)
            << ' ' << static_cast<int>(group.orientation) << ' ' << static_cast<int>(group.click)
            << '\n';
        for (const std::size_t index : group.meters) {
            const Meter& meter = model.meters.at(index);
            out << static_cast<int>(meter.meterType) << ' ' << meter.color.argb << ' '
                << meter.color.followsTheme << ' ' << static_cast<int>(meter.style) << ' '
                << meter.width << ' ' << meter.height << ' ' << meter.refreshRate << '\n';
            for (const MeterCounter& counter : meter.counters) {
                out << counter.expressionText << ' ' << counter.color.argb << ' '
                    << static_cast<int>(counter.units) << ' ' << utf16ToUtf8(counter.indicator)
                    << ' ' << utf16ToUtf8(counter.font) << ' ' << counter.fontSize << ' '
                    << counter.dynamicMinValue << counter.dynamicMaxValue << ' '
                    << static_cast<int>(counter.triggerOperator) << ' ' << counter.triggerValue;
                const InstanceSelection& instances = counter.instances.value();
                for (const auto* patterns : {&instances.include, &instances.exclude}) {
                    out << " [";
                    for (const std::u16string& pattern : *patterns) {
                        out << utf16ToUtf8(pattern) << ',';
                    }
                    out << ']';
                }
                out << ' ' << utf16ToUtf8(instances.groupFrom) << ' '
                    << utf16ToUtf8(instances.groupTo) << ' '
                    << static_cast<int>(instances.groupCombine) << ' '
                    << static_cast<int>(instances.combine) << ' ' << int{instances.top} << ' '
                    << instances.byProgram;
                const CounterAlert& alert = counter.alert.value();
                out << ' ' << alert.above << ' ' << alert.threshold << ' ' << alert.clear << ' '
                    << alert.holdMilliseconds << ' ' << alert.color.argb << ' ' << alert.notify
                    << '\n';
            }
        }
    }
    return out.str();
}

// The readers' defaults are the key table's: writing a key as its table default changes
// nothing the band or the companion reads.
TEST_F(Loader, AKeyWrittenAsItsTableDefaultLoadsAsAnAbsentOne) {
    const json document = json::parse(
        R"({"meterGroups": [{"meters": [{"counters": [{"instances": {"groupBy": {}},
                                                        "alert": {"above": 1}}]}]}]})");
    const json::json_pointer levels[] = {
        json::json_pointer(""),
        json::json_pointer("/meterGroups/0"),
        json::json_pointer("/meterGroups/0/meters/0"),
        json::json_pointer("/meterGroups/0/meters/0/counters/0"),
        json::json_pointer("/taskbar"),
        json::json_pointer("/meterGroups/0/meters/0/counters/0/instances"),
        json::json_pointer("/meterGroups/0/meters/0/counters/0/instances/groupBy"),
        json::json_pointer("/meterGroups/0/meters/0/counters/0/alert"),
    };
    const std::string absent = loadedValues(loadDocument(document));
    std::size_t compared = 0;
    for (const ConfigurationKey& key : kConfigurationKeys) {
        const bool list = key.kind == ValueKind::List || key.kind == ValueKind::Counters ||
                          key.kind == ValueKind::Object;
        if (key.defaultJson.empty() || list ||
            (!key.readByBand && key.level != KeyLevel::Taskbar)) {
            continue;
        }
        json written = document;
        written[levels[static_cast<std::size_t>(key.level)]][std::string(key.name)] =
            json::parse(key.defaultJson);
        if (key.level == KeyLevel::Taskbar) {
            EXPECT_EQ(readTaskbarSettings(written), TaskbarSettings{}) << key.name;
        } else {
            EXPECT_EQ(loadedValues(loadDocument(written)), absent) << key.name;
        }
        ++compared;
    }
    // Every key read with a default but those holding other keys, told apart by the
    // document's structure rather than by their kind: the levels' paths pass through them.
    std::set<std::string> holders;
    for (json::json_pointer level : levels) {
        for (; !level.empty(); level = level.parent_pointer()) {
            holders.insert(level.back());
        }
    }
    const auto valued = std::ranges::count_if(kConfigurationKeys, [&](const auto& key) {
        return !key.defaultJson.empty() && (key.readByBand || key.level == KeyLevel::Taskbar) &&
               !holders.contains(std::string(key.name));
    });
    EXPECT_EQ(compared, static_cast<std::size_t>(valued));
}

struct TriggerCase {
    std::u16string text;
    TriggerOperator op;
    double threshold;
};

TEST(TriggerSplitting, OperatorIsTheFirstRunFollowedByASpace) {
    using enum TriggerOperator;
    const TriggerCase cases[] = {
        {u"", None, 0.0},
        {u"> 90", Greater, 90.0},
        {u">= 75.5", GreaterOrEqual, 75.5},
        {u"  <= 10", LessOrEqual, 10.0},
        {u"90", Greater, 0.0},
        {u"high", Greater, 0.0},
        {u"   ", Greater, 0.0},
        {u">  12", Greater, 12.0},
        {u"= 0", Equal, 0.0},
        {u"> 90%", Greater, 90.0},
        {u"\t> 5", Unknown, 5.0},
        {u"> 5\n7", Greater, 5.0},
        {u"~ 3", Unknown, 3.0},
        {u"< -0.5e1", Less, -5.0},
        {u"== 1", Unknown, 1.0},
        {u"!= 1", Unknown, 1.0},
    };
    for (const TriggerCase& c : cases) {
        const Trigger trigger = splitTrigger(c.text);
        EXPECT_EQ(trigger.op, c.op) << static_cast<int>(c.text.size());
        EXPECT_EQ(trigger.threshold, c.threshold) << static_cast<int>(c.text.size());
    }
}

TEST(TriggerSplitting, ThresholdWithoutNumberFails) {
    EXPECT_THROW(splitTrigger(u"> "), std::invalid_argument);
    EXPECT_THROW(splitTrigger(u"> \n5"), std::invalid_argument);
    EXPECT_THROW(splitTrigger(u">= 1e400"), std::out_of_range);
}

// A document of `groups` enabled groups of `meters` meters each, every meter at a rate
// of its own until `rates` rates are used.
json countedDocument(std::size_t groups, std::size_t meters, std::size_t rates) {
    json document = {{"meterGroups", json::array()}};
    std::size_t meterNumber = 0;
    for (std::size_t group = 0; group < groups; ++group) {
        json list = json::array();
        for (std::size_t meter = 0; meter < meters; ++meter) {
            list.push_back({{"refreshRate", 1000 + meterNumber++ % rates}});
        }
        document["meterGroups"].push_back({{"meters", std::move(list)}});
    }
    // Disabled groups count for nothing.
    document["meterGroups"].push_back({{"enabled", false}, {"meters", json::array({{}, {}})}});
    return document;
}

TEST_F(Loader, CountsUpToTheLimitsLoadAndOneMoreIsRefused) {
    const struct {
        json document;
        const char* message;  // null: loads
    } cases[] = {
        {countedDocument(kMaxEnabledGroups, 1, 1), nullptr},
        {countedDocument(kMaxEnabledGroups + 1, 0, 1), kTooManyGroups},
        {countedDocument(20000, 0, 1), kTooManyGroups},
        {countedDocument(2, kMaxMeters / 2, kMaxRefreshRates), nullptr},
        {countedDocument(1, kMaxMeters + 1, 1), kTooManyMeters},
        {countedDocument(3, kMaxMeters / 2, 1), kTooManyMeters},
        {countedDocument(1, kMaxRefreshRates + 1, kMaxRefreshRates + 1), kTooManyRefreshRates},
    };
    for (const auto& test : cases) {
        PanelModel model;
        EXPECT_EQ(failure(test.document, model), test.message ? test.message : "");
        EXPECT_LE(model.groups.size(), kMaxEnabledGroups);
        EXPECT_LE(model.rates.size(), kMaxRefreshRates);
    }
}

// `meters` meters of `meterType` with `counters` counters each, every counter naming
// `references` performance counters.
json countersDocument(std::size_t meters, const char* meterType, std::size_t counters,
                      std::size_t references) {
    std::string path;
    for (std::size_t i = 0; i < references; ++i) {
        path += "(\\Processor(" + std::to_string(i) + ")\\% Processor Time)+";
    }
    path += "0";
    json list = json::array();
    for (std::size_t meter = 0; meter < meters; ++meter) {
        json meterValue = {{"meterType", meterType}, {"counters", json::array()}};
        for (std::size_t counter = 0; counter < counters; ++counter) {
            meterValue["counters"].push_back({{"counterPath", path}});
        }
        list.push_back(std::move(meterValue));
    }
    return {{"meterGroups", {{{"meters", std::move(list)}}}}};
}

TEST_F(Loader, CountersReferencesAndGraphHistoryAreBounded) {
    const struct {
        json document;
        const char* message;  // null: loads
    } cases[] = {
        {countersDocument(1, "graph", kMaxCountersPerMeter, 1), nullptr},
        {countersDocument(1, "text", kMaxCountersPerMeter + 1, 1), kTooManyCounters},
        {countersDocument(1, "graph", 10000, 1), kTooManyCounters},
        {countersDocument(kMaxGraphCounters / 8, "graph", 8, 1), nullptr},
        {countersDocument(kMaxGraphCounters / 8 + 1, "graph", 8, 1), kTooManyGraphCounters},
        // Other meters keep no history.
        {countersDocument(kMaxGraphCounters / 8 + 1, "column", 8, 1), nullptr},
        {countersDocument(8, "text", kMaxReferencesPerFile / 8 / 16, 16), nullptr},
        {countersDocument(8, "text", kMaxReferencesPerFile / 8 / 16, 17), kTooManyReferencesInFile},
        {countersDocument(7, "pie", 64, 159), kTooManyReferencesInFile},
    };
    for (const auto& test : cases) {
        PanelModel model;
        EXPECT_EQ(failure(test.document, model), test.message ? test.message : "");
        std::size_t references = 0;
        for (const Meter& meter : model.meters) {
            EXPECT_LE(meter.counters.size(), kMaxCountersPerMeter);
            for (const MeterCounter& counter : meter.counters) {
                references += counter.references.size();
            }
        }
        // At most one counter's references past the limit are built before the refusal.
        EXPECT_LE(references, kMaxReferencesPerFile + kMaxCounterReferences);
    }
}

TEST_F(Loader, IgnoresTheSchemaKeyOfEditorsWhateverItsValue) {
    const PanelModel model = load(R"j({"$schema": "../schema/TavistoConfig.schema.json",
        "horizontalPadding": 3, "meterGroups": [{"meters": [{}]}]})j");
    EXPECT_EQ(model.horizontalPadding, 3);
    EXPECT_EQ(model.groups.size(), 1U);
    EXPECT_EQ(failure(R"j({"$schema": 5, "meterGroups": []})j"), "");
}

}  // namespace
}  // namespace tavisto
