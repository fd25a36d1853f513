// tavisto-schema: prints the JSON Schema of TavistoConfig.json, made from the table of
// configuration keys. schema/TavistoConfig.schema.json is its output; a test keeps the
// two the same.
//
// The schema accepts exactly the documents the band loads, as far as types go: values
// the band ignores or replaces by a default are valid (the checker warns about them),
// so the closed value sets are offered for completion, not enforced.

#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/configuration_text.h"
#include "config/instance_selection.h"

namespace {

using tavisto::ConfigurationKey;
using tavisto::KeyLevel;
using tavisto::ValueKind;
using Schema = nlohmann::ordered_json;

Schema ref(const char* definition) {
    return Schema{{"$ref", std::string("#/$defs/") + definition}};
}

// A list of the band's: an array, an object whose members are the elements, or null.
Schema listOf(const char* element) {
    return Schema{{"anyOf", Schema::array({
                                Schema{{"type", "array"}, {"items", ref(element)}},
                                Schema{{"type", "object"}, {"additionalProperties", ref(element)}},
                                Schema{{"type", "null"}},
                            })}};
}

const char* definitionOf(KeyLevel level) {
    switch (level) {
        case KeyLevel::Instances:
            return "instances";
        case KeyLevel::GroupBy:
            return "groupBy";
        case KeyLevel::Alert:
            return "alert";
        default:
            return "taskbar";
    }
}

// A bound as JSON: whole numbers without a fraction.
Schema bound(double value, bool whole) {
    return whole ? Schema(static_cast<std::int64_t>(value)) : Schema(value);
}

std::string boundText(double value, bool whole) {
    return bound(value, whole).dump();
}

Schema rangeSchema(const tavisto::NumberRange& range) {
    Schema schema{{"type", range.wholeNumbers ? "integer" : "number"}};
    if (std::isfinite(range.minimum)) {
        schema["minimum"] = bound(range.minimum, range.wholeNumbers);
    }
    if (std::isfinite(range.maximum)) {
        schema["maximum"] = bound(range.maximum, range.wholeNumbers);
    }
    return schema;
}

// The range in words, for the description an editor shows.
std::string rangeText(const tavisto::NumberRange& range) {
    const bool whole = range.wholeNumbers;
    std::string text = whole ? "A whole number" : "A number";
    if (std::isfinite(range.minimum) && std::isfinite(range.maximum)) {
        text +=
            " from " + boundText(range.minimum, whole) + " to " + boundText(range.maximum, whole);
    } else if (std::isfinite(range.minimum)) {
        text += " of at least " + boundText(range.minimum, whole);
    } else if (std::isfinite(range.maximum)) {
        text += " of at most " + boundText(range.maximum, whole);
    }
    return text + "; any other number is taken as the nearest of these.";
}

Schema valueSchema(const ConfigurationKey& key) {
    Schema schema;
    switch (key.kind) {
        case ValueKind::Pixels:
        case ValueKind::Number:
        case ValueKind::Milliseconds:
            schema["type"] = "number";
            break;
        case ValueKind::Boolean:
            schema["type"] = "boolean";
            break;
        case ValueKind::String:
            schema["type"] = "string";
            break;
        case ValueKind::Colour:
            schema["type"] = "string";
            schema["examples"] = Schema::array({"#FFFFFF", "#3080FF", "auto"});
            break;
        case ValueKind::Trigger:
            schema["type"] = "string";
            schema["examples"] = Schema::array({"> 90", ">= 75.5", "< 10", "= 0"});
            break;
        case ValueKind::List:
            schema = listOf(key.level == KeyLevel::Panel ? "group" : "meter");
            // A single meter that is not an object is a meter with every default.
            if (key.level == KeyLevel::Group) {
                schema["anyOf"].push_back(
                    Schema{{"type", Schema::array({"number", "string", "boolean"})}});
            }
            break;
        case ValueKind::Counters:
            schema["anyOf"] = Schema::array({
                Schema{{"type", "array"},
                       {"items", ref("counter")},
                       {"maxItems", tavisto::kMaxCountersPerMeter}},
                Schema{{"type", "null"}},
                Schema{{"type", "object"}, {"maxProperties", 0}},
            });
            break;
        case ValueKind::Object:
            schema = ref(definitionOf(tavisto::objectLevel(key)));
            break;
        case ValueKind::Patterns: {
            const Schema pattern{{"type", "string"},
                                 {"maxLength", tavisto::kMaxInstancePatternLength}};
            schema["anyOf"] = Schema::array({
                pattern,
                Schema{{"type", "array"},
                       {"items", pattern},
                       {"maxItems", tavisto::kMaxInstancePatterns}},
            });
            schema["examples"] = Schema::array({"*", Schema::array({"chrome", "chrome#*"})});
            break;
        }
    }
    // Offered to editors; other values load too (and draw nothing, mean the default or
    // are made the nearest number taken).
    Schema offered = Schema::array();
    if (!key.values.empty()) {
        Schema values = Schema::array();
        for (std::string_view value : key.values) {
            values.push_back(value);
        }
        offered.push_back(Schema{{"enum", values}});
    }
    std::string description(key.description);
    if (key.range.limited()) {
        offered.push_back(rangeSchema(key.range));
        description += " " + rangeText(key.range);
    }
    if (!offered.empty()) {
        offered.push_back(Schema::object());
        schema["anyOf"] = offered;
    }
    if (!key.readByBand) {
        // The band ignores these keys whatever their values; their type is only advice.
        schema.erase("type");
    }
    if (!key.defaultJson.empty()) {
        schema["default"] = Schema::parse(key.defaultJson);
    }
    schema["description"] = description;
    return schema;
}

Schema propertiesOf(KeyLevel level) {
    Schema properties = Schema::object();
    for (const ConfigurationKey& key : tavisto::kConfigurationKeys) {
        if (key.level == level) {
            properties[std::string(key.name)] = valueSchema(key);
        }
    }
    return properties;
}

}  // namespace

int main() {
    Schema group;
    group["description"] = "A meter group: meters side by side or stacked, with one tooltip.";
    group["type"] = Schema::array({"object", "null"});
    // A disabled group is skipped before any of its other keys is read.
    group["if"] = Schema{{"properties", {{"enabled", {{"const", false}}}}},
                         {"required", Schema::array({"enabled"})}};
    group["then"] = Schema::object();
    group["else"] = Schema{{"properties", propertiesOf(KeyLevel::Group)}};

    Schema schema;
    schema["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    schema["title"] = "TavistoConfig.json";
    schema["description"] = "The meters Tavisto shows on the taskbar.";
    schema["type"] = Schema::array({"object", "null"});
    schema["properties"] = propertiesOf(KeyLevel::Panel);
    schema["$defs"]["group"] = group;
    schema["$defs"]["meter"] = Schema{
        {"description", "A meter: a column, pie, text or indicator drawing of its counters."},
        {"properties", propertiesOf(KeyLevel::Meter)}};
    schema["$defs"]["counter"] =
        Schema{{"description", "A counter: what is measured and how its value is drawn."},
               {"properties", propertiesOf(KeyLevel::Counter)}};
    schema["$defs"]["taskbar"] =
        Schema{{"description", "Placement of the meters by Tavisto.exe inside the taskbar."},
               {"properties", propertiesOf(KeyLevel::Taskbar)}};
    // null: as if absent.
    schema["$defs"]["instances"] = Schema{
        {"description", "Which instances of a wildcard counter path count, and how they combine."},
        {"type", Schema::array({"object", "null"})},
        {"properties", propertiesOf(KeyLevel::Instances)}};
    schema["$defs"]["groupBy"] =
        Schema{{"description", "The part of an instance name that names its group."},
               {"type", Schema::array({"object", "null"})},
               {"properties", propertiesOf(KeyLevel::GroupBy)}};
    schema["$defs"]["alert"] =
        Schema{{"description", "When the counter is in alert, and what an alert does."},
               {"type", Schema::array({"object", "null"})},
               {"properties", propertiesOf(KeyLevel::Alert)},
                              // Both thresholds are refused; null is no alert.
               {"not", Schema{{"type", "object"}, {"required", Schema::array({"above", "below"})}}}};
    std::cout << schema.dump(2) << '\n';
    return 0;
}
