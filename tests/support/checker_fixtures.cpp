#include "support/checker_fixtures.h"

#include <random>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/configuration_text.h"
#include "config/instance_selection.h"
#include "config/meter_model.h"

namespace tavisto::testing {

using nlohmann::json;

namespace {

// A meter that draws and raises no warning; fixtures change one thing in it.
constexpr const char* kQuietMeter =
    R"j({"meterType": "column", "width": 10, "refreshRate": 1000,
        "counters": [{"counterPath": "(\\A\\B)", "color": "#102030"}]})j";

// Random documents: each key present or not, of the right type or not, lists and
// counters written in every form, unknown keys now and then.
class DocumentGenerator {
  public:
    explicit DocumentGenerator(unsigned seed) : random_(seed) {}

    json panel() {
        if (chance(0.03)) {
            return wrongValue();
        }
        return object(KeyLevel::Panel);
    }

  private:
    bool chance(double probability) { return std::bernoulli_distribution(probability)(random_); }

    std::size_t below(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
    }

    template <typename T>
    const T& pick(const std::vector<T>& choices) {
        return choices[below(choices.size())];
    }

    json wrongValue() {
        switch (below(7)) {
            case 0:
                return nullptr;
            case 1:
                return "text";
            case 2:
                return true;
            case 3:
                return json::array({1, 2});
            case 4:
                return json::object({{"x", 1}});
            case 5:
                return -3;
            default:
                return 2.5;
        }
    }

    json object(KeyLevel level) {
        json members = json::object();
        for (const ConfigurationKey& key : kConfigurationKeys) {
            if (key.level == level && chance(0.6)) {
                members[std::string(key.name)] = chance(0.93) ? rightValue(key) : wrongValue();
            }
        }
        if (chance(0.15)) {
            members[pick<std::string>({"colour", "refreshrate", "Width", "x", "meters "})] = 1;
        }
        return members;
    }

    json list(KeyLevel elementLevel) {
        json elements = json::array();
        const std::size_t count = below(4);
        for (std::size_t i = 0; i < count; ++i) {
            elements.push_back(element(elementLevel));
        }
        if (chance(0.1)) {
            json byName = json::object();
            for (std::size_t i = 0; i < elements.size(); ++i) {
                byName["k" + std::to_string(elements.size() - i)] = elements[i];
            }
            return byName;
        }
        return chance(0.05) ? wrongValue() : elements;
    }

    json element(KeyLevel level) {
        if (chance(0.05)) {
            return wrongValue();
        }
        return object(level);
    }

    json rightValue(const ConfigurationKey& key) {
        switch (key.kind) {
            case ValueKind::Pixels:
            case ValueKind::Number:
            case ValueKind::Milliseconds:
                return pick<json>({0, 12, -1, 1000, 50, 2.75, 4294967296.0, -7, 1e300});
            case ValueKind::Boolean:
                return key.name == "enabled" ? chance(0.8) : chance(0.5);
            case ValueKind::Colour:
                return pick<std::string>({"#3080FF", "#FFF", "blue", ""});
            case ValueKind::Trigger:
                return pick<std::string>({"> 90", ">= 7.5", "90", "~ 1", "", "> x", "> 1e999"});
            case ValueKind::List:
                return list(key.level == KeyLevel::Panel ? KeyLevel::Group : KeyLevel::Meter);
            case ValueKind::Counters:
                if (chance(0.1)) {
                    return pick<json>({json::object(), json::object({{"a", 1}}), "c", nullptr});
                }
                return list(KeyLevel::Counter);
            case ValueKind::Object:
                return chance(0.1) ? json(nullptr) : object(objectLevel(key));
            case ValueKind::Patterns:
                return pick<json>({"*", "chrome#*", json::array({"*luid_0x1_*", "?"}),
                                   json::array(), std::string(kMaxInstancePatternLength + 1, '*'),
                                   json::array({"a", 2}),
                                   json(std::vector<std::string>(kMaxInstancePatterns + 1, "x*"))});
            case ValueKind::String:
                break;
        }
        if (key.name == "counterPath") {
            return pick<std::string>({"(\\A\\B)", "(\\A\\B) + (\\C(*)\\D)", "1 +", "",
                                      "(PERFORMANCE_INFORMATION.ThreadCount) * (\\A\\B)",
                                      "(\\\\pc\\A\\B)", "(PERFORMANCE_INFORMATION.Nope)"});
        }
        if (!key.values.empty() && chance(0.8)) {
            return std::string(key.values[below(key.values.size())]);
        }
        return pick<std::string>({"", "x", "Segoe UI", "\xC3\xA9t\xC3\xA9"});
    }

    std::mt19937 random_;
};

// `count` counters with every default, separated by commas.
std::string emptyCounters(std::size_t count) {
    std::string counters = "{}";
    for (std::size_t i = 1; i < count; ++i) {
        counters += ",{}";
    }
    return counters;
}

// `count` patterns of `length` characters, separated by commas.
std::string longPatterns(std::size_t count, std::size_t length) {
    std::string patterns;
    for (std::size_t i = 0; i < count; ++i) {
        patterns += (i == 0 ? "\"" : ",\"") + std::string(length, '*') + '"';
    }
    return patterns;
}

}  // namespace

std::string withMeter(const std::string& meter) {
    return R"j({"meterGroups": [{"meters": [)j" + meter + "]}]}";
}

std::string withCounter(const std::string& counter, const std::string& meterType) {
    return withMeter(R"j({"meterType": ")j" + meterType +
                     R"j(", "width": 10, "refreshRate": 1000, "counters": [)j" + counter + "]}");
}

std::vector<WarningCase> warningCases() {
    const std::string quiet = kQuietMeter;
    return {
        {"unknown-key", R"j({"verticalpadding": 2})j", "/verticalpadding",
         R"j({"verticalPadding": 2})j"},
        {"unknown-key", withCounter(R"j({"counterPath": "(\\A\\B)", "colour": "#FF0000"})j"),
         "/meterGroups/0/meters/0/counters/0/colour",
         withCounter(R"j({"counterPath": "(\\A\\B)", "color": "#FF0000"})j")},
        {"unknown-value", withMeter(R"j({"meterType": "bar", "width": 1, "refreshRate": 1000})j"),
         "/meterGroups/0/meters/0/meterType",
         withMeter(R"j({"meterType": "pie", "width": 1, "refreshRate": 1000})j")},
        {"unknown-value",
         R"j({"meterGroups": [{"orientation": "vertical", "meters": [)j" + quiet + "]}]}",
         "/meterGroups/0/orientation",
         R"j({"meterGroups": [{"orientation": "horizontal", "meters": [)j" + quiet + "]}]}"},
        {"unknown-value", withCounter(R"j({"counterPath": "(\\A\\B)", "units": "percents"})j"),
         "/meterGroups/0/meters/0/counters/0/units",
         withCounter(R"j({"counterPath": "(\\A\\B)", "units": "percent"
})j")},
        {"unknown-value", R"j({"taskbar": {"position": "top"}})j", "/taskbar/position",
         R"j({"taskbar": {"position": "left", "monitors": "all", "offset": 4}})j"},
        {"unknown-value", R"j({"taskbar": {"clickThrough": 1}})j", "/taskbar/clickThrough",
         R"j({"taskbar": {"clickThrough": true}})j"},
        {"range", R"j({"taskbar": {"offset": 20000}})j", "/taskbar/offset",
         R"j({"taskbar": {"offset": 10000}})j"},
        {"common-shortcut", R"j({"hotkey": "Ctrl+C"})j", "/hotkey",
         R"j({"hotkey": "Ctrl+Alt+C"})j"},
        // A region this program has no table of still speaks its language.
        {"language", R"j({"language": "tlh"})j", "/language", R"j({"language": "de-AT"})j"},
        {"units", withCounter(R"j({"counterPath": "(\\A\\B)"})j", "text"),
         "/meterGroups/0/meters/0/counters/0",
         withCounter(R"j({"counterPath": "(\\A\\B)", "units": "bytes/second"
})j",
                     "text")},
        {"expression", withCounter(R"j({"counterPath": "(\\A\\B) + * (\\C\\D)"})j"),
         "/meterGroups/0/meters/0/counters/0/counterPath",
         withCounter(R"j({"counterPath": "(\\A\\B) + 2 * (\\C\\D)"
})j")},
        // Arithmetic over a single reference is evaluated as well.
        {"expression", withCounter(R"j({"counterPath": "(\\A\\B) / * 1024"})j"),
         "/meterGroups/0/meters/0/counters/0/counterPath",
         withCounter(R"j({"counterPath": "(\\A\\B) / 1024"})j")},
        {"performance-field",
         withCounter(R"j({"counterPath": "(PERFORMANCE_INFORMATION.Threads)"})j"),
         "/meterGroups/0/meters/0/counters/0/counterPath",
         withCounter(R"j({"counterPath": "(PERFORMANCE_INFORMATION.ThreadCount)"
})j")},
        {"machine-name",
         withCounter(R"j({"counterPath": "(\\\\server\\Memory\\Available Bytes)"})j"),
         "/meterGroups/0/meters/0/counters/0/counterPath",
         withCounter(R"j({"counterPath": "(\\Memory\\Available Bytes)"
})j")},
        {"no-reference", withCounter(R"j({"color": "#FF0000"})j"),
         "/meterGroups/0/meters/0/counters/0",
         withCounter(R"j({"counterPath": "(\\Memory\\Available Bytes)"})j")},
        {"unknown-value",
         withMeter(R"j({"meterType": "graph", "style": "bars", "width": 9, "refreshRate": 500,
            "counters": [{"counterPath": "(\\A\\B)"}]})j"),
         "/meterGroups/0/meters/0/style",
         withMeter(R"j({"meterType": "graph", "style": "line", "width": 9, "refreshRate": 500,
            "counters": [{"counterPath": "(\\A\\B)"}]})j")},
        {"color", withCounter(R"j({"counterPath": "(\\A\\B)", "color": "auto-white"})j"),
         "/meterGroups/0/meters/0/counters/0/color",
         withCounter(R"j({"counterPath": "(\\A\\B)", "color": "auto"})j")},
        {"color", withCounter(R"j({"counterPath": "(\\A\\B)", "color": "white"})j"),
         "/meterGroups/0/meters/0/counters/0/color",
         withCounter(R"j({"counterPath": "(\\A\\B)", "color": "#fff"
})j")},
        {"trigger", withCounter(R"j({"counterPath": "(\\A\\B)", "trigger": "90"})j"),
         "/meterGroups/0/meters/0/counters/0/trigger",
         withCounter(R"j({"counterPath": "(\\A\\B)", "trigger": "> 90"
})j")},
        {"trigger", withCounter(R"j({"counterPath": "(\\A\\B)", "trigger": "=> 90"})j"),
         "/meterGroups/0/meters/0/counters/0/trigger",
         withCounter(R"j({"counterPath": "(\\A\\B)", "trigger": ">= 90"
})j")},
        {"no-width", withMeter(R"j({"meterType": "pie", "refreshRate": 1000})j"),
         "/meterGroups/0/meters/0",
         withMeter(R"j({"meterType": "pie", "refreshRate": 1000, "width": 0})j")},
        {"no-counters",
         withMeter(R"j({"meterType": "indicator", "width": 9, "refreshRate": 500})j"),
         "/meterGroups/0/meters/0",
         withMeter(R"j({"meterType": "pie", "width": 9, "refreshRate": 500})j")},
        {"refresh-rate", withMeter(R"j({"meterType": "pie", "width": 9, "refreshRate": 99.9})j"),
         "/meterGroups/0/meters/0/refreshRate",
         withMeter(R"j({"meterType": "pie", "width": 9, "refreshRate": 100})j")},
        {"refresh-rate", withMeter(R"j({"meterType": "pie", "width": 9})j"),
         "/meterGroups/0/meters/0",
         withMeter(R"j({"meterType": "pie", "width": 9, "refreshRate": 250})j")},
        {"empty-group", R"j({"meterGroups": [{"name": "idle", "meters": []}]})j", "/meterGroups/0",
         R"j({"meterGroups": [{"enabled": false, "meters": []}]})j"},
        {"instances", withCounter(R"j({"counterPath": "(\\A(x)\\B)", "instances": {}})j"),
         "/meterGroups/0/meters/0/counters/0/instances",
         withCounter(R"j({"counterPath": "(\\A(x*)\\B)", "instances": {}})j")},
        {"unknown-value",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"combine": "maximum"}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/combine",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"combine": "max"}})j")},
        {"instances",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"groupCombine": "max"}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/groupCombine",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)",
            "instances": {"groupCombine": "max", "groupBy": {"to": "#"}}})j")},
        {"instances",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"byProgram": false}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/byProgram",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)",
            "instances": {"byProgram": false, "top": 3, "groupCombine": "max"}})j")},
        {"range",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"top": 11}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/top",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"top": 10}})j")},
        {"unknown-key",
         withCounter(
             R"j({"counterPath": "(\\A(*)\\B)", "instances": {"groupBy": {"form": "x"}}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/groupBy/form",
         withCounter(
             R"j({"counterPath": "(\\A(*)\\B)", "instances": {"groupBy": {"from": "x"}}})j")},
        {"instances",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"include": []}})j"),
         "/meterGroups/0/meters/0/counters/0/instances/include",
         withCounter(R"j({"counterPath": "(\\A(*)\\B)", "instances": {"include": "x"}})j")},
        {"unknown-value", R"j({"meterGroups": [{"click": "resmon", "meters": [{}]}]})j",
         "/meterGroups/0/click",
         R"j({"meterGroups": [{"click": "resourceMonitor", "meters": [{}]}]})j"},
        {"alert", withCounter(R"j({"alert": {"for": 1000}})j"),
         "/meterGroups/0/meters/0/counters/0/alert",
         withCounter(R"j({"alert": {"above": 90, "for": 1000}})j")},
        {"alert", withCounter(R"j({"alert": {"above": 90, "clear": 95}})j"),
         "/meterGroups/0/meters/0/counters/0/alert/clear",
         withCounter(R"j({"alert": {"above": 90, "clear": 85}})j")},
        {"alert", withCounter(R"j({"alert": {"below": 20, "clear": 15}})j"),
         "/meterGroups/0/meters/0/counters/0/alert/clear",
         withCounter(R"j({"alert": {"below": 20, "clear": 25}})j")},
        {"range", withCounter(R"j({"alert": {"above": 90, "for": -5}})j"),
         "/meterGroups/0/meters/0/counters/0/alert/for",
         withCounter(R"j({"alert": {"above": 90, "for": 86400000}})j")},
    };
}

std::vector<ErrorCase> loadErrorCases() {
    return {
        {"{\"meterGroups\": [{\"meters\": [\n  {\"width\": \"ten\"}]}]}", "type",
         "/meterGroups/0/meters/0/width", 2, 13,
         "[json.exception.type_error.302] type must be number, but is string"},
        {"{\"meterGroups\": [{}, 7]}", "type", "/meterGroups/1", 1, 22,
         "[json.exception.type_error.305] cannot use operator[] with a string argument with "
         "number"},
        {"[1]", "type", "", 1, 1,
         "[json.exception.type_error.305] cannot use operator[] with a string argument with "
         "array"},
        {withMeter(R"j({"counters": {"x": 1}})j"), "type", "/meterGroups/0/meters/0/counters", 1,
         43, "[json.exception.type_error.304] cannot use at() with object"},
        {R"j({"meterGroups": [{"enabled": 1}]})j", "type", "/meterGroups/0/enabled", 1, 30,
         "[json.exception.type_error.302] type must be boolean, but is number"},
        {withCounter(R"j({"trigger": ">  \n1"})j"), "trigger",
         "/meterGroups/0/meters/0/counters/0/trigger", 1, 113, "invalid stod argument"},
        {withCounter(R"j({"trigger": "> 1e999"})j"), "trigger",
         "/meterGroups/0/meters/0/counters/0/trigger", 1, 113, "stod argument out of range"},
        {"{\n  \"a\": [1,,2]\n}", "parse", "", 2, 11,
         "[json.exception.parse_error.101] parse error at line 2, column 11: syntax error while "
         "parsing value - unexpected ','; expected '[', '{', or a literal"},
        {withCounter(R"j({"counterPath": "(ADAPTER_PERFDATA.Temp)"})j"), "load",
         "/meterGroups/0/meters/0/counters/0/counterPath", 1, 117,
         "unknown sensor field: ADAPTER_PERFDATA.Temp is not a field of ADAPTER_PERFDATA, whose "
         "fields are Temperature, FanRPM, Power and MemoryFrequency"},
        {withCounter(emptyCounters(kMaxCountersPerMeter + 1), "graph"), "load",
         "/meterGroups/0/meters/0/counters/64", 1, 292, kTooManyCounters},
        {withCounter(R"j({"instances": "max"})j"), "type",
         "/meterGroups/0/meters/0/counters/0/instances", 1, 115,
         "[json.exception.type_error.302] type must be object, but is string"},
        {withCounter(R"j({"instances": {"exclude": ["a", 7]}})j"), "type",
         "/meterGroups/0/meters/0/counters/0/instances/exclude/1", 1, 133,
         "[json.exception.type_error.302] type must be string, but is number"},
        {withCounter(R"j({"instances": {"include": ")j" +
                     std::string(kMaxInstancePatternLength + 1, '?') + R"j("}})j"),
         "load", "/meterGroups/0/meters/0/counters/0/instances/include", 1, 127,
         kInstancePatternTooLong},
        {withCounter(R"j({"instances": {"groupBy": {"to": ")j" +
                     std::string(kMaxInstancePatternLength + 1, '#') + R"j("}}})j"),
         "load", "/meterGroups/0/meters/0/counters/0/instances/groupBy/to", 1, 134,
         kInstancePatternTooLong},
        {withCounter(R"j({"instances": {"exclude": [)j" +
                     longPatterns(kMaxInstancePatterns + 1, 2) + "]}}"),
         "load", "/meterGroups/0/meters/0/counters/0/instances/exclude/32", 1, 288,
         kTooManyInstancePatterns},
        {withCounter(R"j({"instances": {"include": [)j" + longPatterns(4, 250) +
                     R"j(], "exclude": "abcdefghijklmnopqrstuvwxy"}})j"),
         "load", "/meterGroups/0/meters/0/counters/0/instances/exclude", 1, 1153,
         kTooManyInstancePatternCharacters},
        {withCounter(R"j({"alert": {"above": 90, "below": 10}})j"), "load",
         "/meterGroups/0/meters/0/counters/0/alert/below", 1, 134, kAlertAboveAndBelow},
        {std::string(65, '[') + std::string(65, ']'), "limit", "", 1, 65, kConfigurationTooDeep},
        {"{\"a\": \"" + std::string(kMaxConfigurationBytes, 'x') + "\"}", "limit", "", 1, 1,
         kConfigurationTooLarge},
    };
}

std::vector<std::string> generatedCorpus(std::size_t count) {
    DocumentGenerator generator(20261207);
    std::vector<std::string> corpus;
    for (std::size_t i = 0; i < count; ++i) {
        corpus.push_back(generator.panel().dump(i % 2 == 0 ? -1 : 2));
    }
    return corpus;
}

}  // namespace tavisto::testing
