#include "config/configuration_loader.h"

#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "config/configuration_keys.h"
#include "config/configuration_text.h"
#include "config/configuration_values.h"
#include "config/counter_references.h"
#include "config/system_fields.h"
#include "core/text_conversion.h"

namespace tavisto {
namespace {

using nlohmann::json;

// A value of the document with the load's trace, if any: every lookup in it is reported.
struct Traced {
    const json& value;
    LoadTrace* trace = nullptr;
};

void traceValue(const json& value, LoadTrace* trace) {
    if (trace != nullptr) {
        trace->readingValue(value);
    }
}

// A key is present only when the enclosing value is an object with that member.
const json* member(const Traced& owner, std::string_view key) {
    if (owner.trace != nullptr) {
        owner.trace->readingMember(owner.value, key);
    }
    if (!owner.value.is_object()) {
        return nullptr;
    }
    const auto found = owner.value.find(key);
    return found == owner.value.end() ? nullptr : &*found;
}

// Keys are named by their entries in the key table, found while compiling; an absent key
// takes the table's default.
consteval const ConfigurationKey& panelKey(std::string_view name) {
    return configurationKey(KeyLevel::Panel, name);
}
consteval const ConfigurationKey& groupKey(std::string_view name) {
    return configurationKey(KeyLevel::Group, name);
}
consteval const ConfigurationKey& meterKey(std::string_view name) {
    return configurationKey(KeyLevel::Meter, name);
}
consteval const ConfigurationKey& counterKey(std::string_view name) {
    return configurationKey(KeyLevel::Counter, name);
}
consteval const ConfigurationKey& instancesKey(std::string_view name) {
    return configurationKey(KeyLevel::Instances, name);
}

std::u16string readString(const Traced& owner, const ConfigurationKey& key) {
    if (const json* value = member(owner, key.name)) {
        return parseString(*value);
    }
    return defaultString(key);
}

// Pixels at 96 DPI, as the model keeps them: each view scales them for its screen.
std::int32_t readPixels(const Traced& owner, const ConfigurationKey& key, std::int32_t fallback) {
    if (const json* value = member(owner, key.name)) {
        return parseWholeNumber(*value);
    }
    return fallback;
}

std::int32_t readPixels(const Traced& owner, const ConfigurationKey& key) {
    return readPixels(owner, key, static_cast<std::int32_t>(defaultInteger(key)));
}

// Number keys whose default no JSON number can write: an open end of a range.
double readDouble(const Traced& owner, const ConfigurationKey& key, double fallback) {
    if (const json* value = member(owner, key.name)) {
        return parseNumber(*value);
    }
    return fallback;
}

bool readBool(const Traced& owner, const ConfigurationKey& key) {
    if (const json* value = member(owner, key.name)) {
        return parseBoolean(*value);
    }
    return defaultBoolean(key);
}

std::uint64_t readMilliseconds(const Traced& owner, const ConfigurationKey& key) {
    if (const json* value = member(owner, key.name)) {
        return parseMilliseconds(*value);
    }
    return static_cast<std::uint64_t>(defaultInteger(key));
}

MeterCounter parseTracedCounter(const Traced& element);

// A number beyond 0 to 3 is made the nearest of them, as the checker says.
std::int8_t readDecimals(const Traced& counter) {
    constexpr const ConfigurationKey& key = counterKey("decimals");
    if (const json* value = member(counter, key.name)) {
        return static_cast<std::int8_t>(fitNumber(key.range, parseNumber(*value)).value);
    }
    return kUnitDecimals;
}

// An object member that may be absent or null; any other value than an object is refused
// with the library's type error, as a wrongly typed value of any other key is.
const json* objectMember(const Traced& owner, std::string_view key) {
    const json* value = member(owner, key);
    if (value == nullptr || value->is_null()) {
        return nullptr;
    }
    if (!value->is_object()) {
        (void)value->get<json::object_t>();  // raises "type must be object"
    }
    return value;
}

std::u16string readBoundedText(const json& value, LoadTrace* trace) {
    std::u16string text = parseString(value);
    if (text.size() > kMaxInstancePatternLength) {
        traceValue(value, trace);
        throw ConfigurationLimitError(kInstancePatternTooLong);
    }
    return text;
}

// A pattern or an array of them; `characters` counts those of the counter's patterns.
std::vector<std::u16string> readPatterns(const Traced& owner, const ConfigurationKey& key,
                                         const std::vector<std::u16string>& fallback,
                                         std::size_t& characters) {
    const json* value = member(owner, key.name);
    if (value == nullptr) {
        return fallback;
    }
    std::vector<std::u16string> patterns;
    const auto take = [&](const json& pattern) {
        patterns.push_back(readBoundedText(pattern, owner.trace));
        characters += patterns.back().size();
        if (characters > kMaxInstancePatternCharacters) {
            traceValue(pattern, owner.trace);
            throw ConfigurationLimitError(kTooManyInstancePatternCharacters);
        }
    };
    if (!value->is_array()) {
        take(*value);
        return patterns;
    }
    for (std::size_t i = 0; i < value->size(); ++i) {
        const json& pattern = (*value)[i];
        traceValue(pattern, owner.trace);
        if (i == kMaxInstancePatterns) {
            throw ConfigurationLimitError(kTooManyInstancePatterns);
        }
        take(pattern);
    }
    return patterns;
}

// The default of a Patterns key, an array of texts; parsed once by each caller.
std::vector<std::u16string> defaultPatterns(const ConfigurationKey& key) {
    std::vector<std::u16string> patterns;
    for (const json& pattern : json::parse(key.defaultJson)) {
        patterns.push_back(parseString(pattern));
    }
    return patterns;
}

// An unknown name combines as the default (the checker warns about it).
InstanceCombine readCombine(const Traced& owner, const ConfigurationKey& key) {
    const auto combine = closedSetValue<std::size_t>(readString(owner, key), kInstanceCombines);
    return combine < kInstanceCombines.size()
               ? static_cast<InstanceCombine>(combine)
               : closedSetValue<InstanceCombine>(defaultStringJson(key), kInstanceCombines);
}

std::optional<InstanceSelection> readInstanceSelection(const Traced& counter) {
    const json* value = objectMember(counter, counterKey("instances").name);
    if (value == nullptr) {
        return std::nullopt;
    }
    const Traced instances{*value, counter.trace};
    InstanceSelection selection;
    std::size_t characters = 0;
    static const std::vector<std::u16string> kIncludeDefault =
        defaultPatterns(instancesKey("include"));
    static const std::vector<std::u16string> kExcludeDefault =
        defaultPatterns(instancesKey("exclude"));
    selection.include =
        readPatterns(instances, instancesKey("include"), kIncludeDefault, characters);
    selection.exclude =
        readPatterns(instances, instancesKey("exclude"), kExcludeDefault, characters);
    if (const json* groupValue = objectMember(instances, instancesKey("groupBy").name)) {
        const Traced groupBy{*groupValue, counter.trace};
        selection.grouped = true;
        for (auto [key, text] :
             {std::pair{&configurationKey(KeyLevel::GroupBy, "from"), &selection.groupFrom},
              std::pair{&configurationKey(KeyLevel::GroupBy, "to"), &selection.groupTo}}) {
            const json* part = member(groupBy, key->name);
            *text = part != nullptr ? readBoundedText(*part, counter.trace) : defaultString(*key);
        }
    }
    selection.groupCombine = readCombine(instances, instancesKey("groupCombine"));
    selection.combine = readCombine(instances, instancesKey("combine"));
    constexpr const ConfigurationKey& topKey = instancesKey("top");
    if (const json* top = member(instances, topKey.name)) {
        selection.top = static_cast<std::uint8_t>(fitNumber(topKey.range, parseNumber(*top)).value);
    }
    selection.byProgram = readBool(instances, instancesKey("byProgram"));
    return selection;
}

consteval const ConfigurationKey& alertKey(std::string_view name) {
    return configurationKey(KeyLevel::Alert, name);
}

// An alert without a threshold does nothing, and none is kept; "clear" past the threshold
// would clear a raised alert at once, so it clears at the threshold instead.
std::optional<CounterAlert> readAlert(const Traced& counter) {
    const json* value = objectMember(counter, counterKey("alert").name);
    if (value == nullptr) {
        return std::nullopt;
    }
    const Traced alertValue{*value, counter.trace};
    const json* above = member(alertValue, alertKey("above").name);
    const json* below = member(alertValue, alertKey("below").name);
    if (above != nullptr && below != nullptr) {
        throw std::runtime_error(kAlertAboveAndBelow);
    }
    if (above == nullptr && below == nullptr) {
        return std::nullopt;
    }
    CounterAlert alert;
    alert.above = above != nullptr;
    alert.threshold = parseNumber(alert.above ? *above : *below);
    alert.clear = readDouble(alertValue, alertKey("clear"), alert.threshold);
    if (alert.above ? alert.clear > alert.threshold : alert.clear < alert.threshold) {
        alert.clear = alert.threshold;
    }
    constexpr const ConfigurationKey& holdKey = alertKey("for");
    if (const json* hold = member(alertValue, holdKey.name)) {
        alert.holdMilliseconds =
            static_cast<std::uint64_t>(fitNumber(holdKey.range, parseNumber(*hold)).value);
    }
    alert.color = parseColour(readString(alertValue, alertKey("color")));
    alert.notify = readBool(alertValue, alertKey("notify"));
    return alert;
}

// What the meters loaded so far hold, against the limits on the whole file.
struct LoadCounts {
    std::size_t references = 0;
    std::size_t graphCounters = 0;
};

Meter parseMeter(const json& meterValue, const LoadContext& context, LoadCounts& counts) {
    const Traced value{meterValue, context.trace};
    Meter meter;
    meter.meterType =
        closedSetValue<MeterType>(readString(value, meterKey("meterType")), kMeterTypes);
    // Accepted for compatibility; they must be strings but change nothing.
    readString(value, meterKey("combineFunction"));
    readString(value, meterKey("units"));
    meter.color = parseColour(readString(value, meterKey("color")));
    meter.style = closedSetValue<GraphStyle>(readString(value, meterKey("style")), kGraphStyles);
    meter.width = readPixels(value, meterKey("width"));
    meter.height = readPixels(value, meterKey("height"));
    meter.refreshRate = readMilliseconds(value, meterKey("refreshRate"));
    if (const json* counters = member(value, meterKey("counters").name)) {
        traceValue(*counters, context.trace);
        const bool graph = meterKind(meter.meterType).keepsHistory;
        for (std::size_t i = 0; i < counters->size(); ++i) {
            const json& element = counters->at(i);
            // Refused before the counter is built, as meters are.
            const char* refusal = i == kMaxCountersPerMeter ? kTooManyCounters
                                  : graph && counts.graphCounters == kMaxGraphCounters
                                      ? kTooManyGraphCounters
                                      : nullptr;
            if (refusal != nullptr) {
                traceValue(element, context.trace);
                throw ConfigurationLimitError(refusal);
            }
            meter.counters.push_back(
                parseTracedCounter(Traced{element, context.trace}));
            counts.graphCounters += graph ? 1 : 0;
            counts.references += meter.counters.back().references.size();
            if (counts.references > kMaxReferencesPerFile) {
                traceValue(element, context.trace);
                throw ConfigurationLimitError(kTooManyReferencesInFile);
            }
        }
    }
    return meter;
}

}  // namespace

Trigger splitTrigger(const std::u16string& text) {
    const TriggerParts parts = splitTriggerParts(text);
    Trigger trigger;
    if (parts.form == TriggerParts::Form::NoSeparator) {
        trigger.op = TriggerOperator::Greater;
    } else if (parts.form == TriggerParts::Form::Split) {
        trigger.op = closedSetValue<TriggerOperator>(parts.op, kTriggerOperators);
        trigger.threshold = stodC(utf16ToUtf8(parts.threshold));
    }
    return trigger;
}

MeterCounter parseCounter(const json& element) {
    return parseTracedCounter(Traced{element});
}

namespace {

MeterCounter parseTracedCounter(const Traced& element) {
    MeterCounter counter;
    std::u16string path = readString(element, counterKey("counterPath"));
    counter.references = extractReferences(path);
    for (const auto& [name, reference] : counter.references) {
        if (reference.kind == CounterReference::SensorField) {
            // A sensor field that does not exist is a mistake to fix, not a reading.
            if (std::string unknown = unknownFieldMessage(reference.path); !unknown.empty()) {
                throw std::runtime_error(kUnknownSensorField + unknown);
            }
        }
    }
    counter.expressionText = utf16ToUtf8(path);
    counter.counterPath = std::move(path);
    counter.color = parseColour(readString(element, counterKey("color")));
    counter.name = readString(element, counterKey("name"));
    counter.units =
        closedSetValue<CounterUnits>(readString(element, counterKey("units")), kCounterUnits);
    counter.decimals = readDecimals(element);
    counter.indicator = readString(element, counterKey("indicator"));
    counter.font = readString(element, counterKey("font"));
    counter.fontSize = readPixels(element, counterKey("fontSize"));
    counter.minValue =
        readDouble(element, counterKey("minValue"), -std::numeric_limits<double>::infinity());
    counter.maxValue =
        readDouble(element, counterKey("maxValue"), std::numeric_limits<double>::infinity());
    counter.dynamicMinValue = readBool(element, counterKey("dynamicMinValue"));
    counter.dynamicMaxValue = readBool(element, counterKey("dynamicMaxValue"));
    const Trigger trigger = splitTrigger(readString(element, counterKey("trigger")));
    counter.triggerOperator = trigger.op;
    counter.triggerValue = trigger.threshold;
    counter.instances = readInstanceSelection(element);
    counter.alert = readAlert(element);
    return counter;
}

}  // namespace

void loadModel(json& documentValue, const LoadContext& context, PanelModel& model) {
    const Traced document{documentValue, context.trace};
    model.horizontalPadding = readPixels(document, panelKey("horizontalPadding"));
    model.verticalPadding = readPixels(document, panelKey("verticalPadding"));
    model.horizontalSpacing = readPixels(document, panelKey("horizontalSpacing"));
    model.verticalSpacing = readPixels(document, panelKey("verticalSpacing"));
    model.language = utf16ToUtf8(readString(document, panelKey("language")));
    model.meters.clear();
    model.groups.clear();
    model.rates.clear();

    traceValue(documentValue, context.trace);
    // Member access, not the guarded lookup: a document or group that is neither an
    // object nor null fails here with the library's operator[] message.
    LoadCounts counts;
    for (json& groupJson : documentValue["meterGroups"]) {
        const Traced groupValue{groupJson, context.trace};
        if (!readBool(groupValue, groupKey("enabled"))) {
            continue;
        }
        traceValue(groupJson, context.trace);
        // Refused before the next meter or rate is made.
        if (model.groups.size() == kMaxEnabledGroups) {
            throw ConfigurationLimitError(kTooManyGroups);
        }
        MeterGroup group;
        for (const json& meterValue : groupJson["meters"]) {
            if (model.meters.size() == kMaxMeters) {
                traceValue(meterValue, context.trace);
                throw ConfigurationLimitError(kTooManyMeters);
            }
            Meter meter = parseMeter(meterValue, context, counts);
            if (model.rates.size() == kMaxRefreshRates &&
                !model.rates.contains(meter.refreshRate)) {
                traceValue(meterValue, context.trace);
                throw ConfigurationLimitError(kTooManyRefreshRates);
            }
            group.meters.push_back(model.meters.size());
            model.rates[meter.refreshRate].push_back(model.meters.size());
            model.meters.push_back(std::move(meter));
        }

        group.width = readPixels(groupValue, groupKey("width"));
        group.height = readPixels(groupValue, groupKey("height"));
        group.minWidth = readPixels(groupValue, groupKey("minWidth"));
        group.minHeight = readPixels(groupValue, groupKey("minHeight"));
        // Their defaults follow width and height, so the table cannot write them.
        group.maxWidth = readPixels(groupValue, groupKey("maxWidth"),
                                    group.width != -1 ? group.width : 300);
        group.maxHeight = readPixels(groupValue, groupKey("maxHeight"),
                                     group.height != -1 ? group.height : 40);
        group.name = readString(groupValue, groupKey("name"));
        group.orientation = closedSetValue<GroupOrientation>(
            readString(groupValue, groupKey("orientation")), kOrientations);
        group.click = closedSetValue<GroupClick>(readString(groupValue, groupKey("click")),
                                                 kGroupClicks);
        model.groups.push_back(std::move(group));
    }
}

}  // namespace tavisto
