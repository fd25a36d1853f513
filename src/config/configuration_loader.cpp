#include "config/configuration_loader.h"

#include <limits>
#include <optional>
#include <utility>

#include "config/configuration_keys.h"
#include "config/configuration_text.h"
#include "config/configuration_values.h"
#include "config/counter_references.h"
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
const json* member(const Traced& owner, const char* key) {
    if (owner.trace != nullptr) {
        owner.trace->readingMember(owner.value, key);
    }
    if (!owner.value.is_object()) {
        return nullptr;
    }
    const auto found = owner.value.find(key);
    return found == owner.value.end() ? nullptr : &*found;
}

std::u16string readString(const Traced& owner, const char* key, std::u16string_view fallback) {
    if (const json* value = member(owner, key)) {
        return parseString(*value);
    }
    return std::u16string(fallback);
}

std::int32_t readPixels(const Traced& owner, const char* key, double dpiScale,
                        std::int32_t fallback) {
    if (const json* value = member(owner, key)) {
        return parsePixels(*value, dpiScale);
    }
    return fallback;
}

double readDouble(const Traced& owner, const char* key, double fallback) {
    if (const json* value = member(owner, key)) {
        return parseNumber(*value);
    }
    return fallback;
}

bool readBool(const Traced& owner, const char* key, bool fallback) {
    if (const json* value = member(owner, key)) {
        return parseBoolean(*value);
    }
    return fallback;
}

MeterCounter parseTracedCounter(const Traced& element, double dpiScale);

// An object member that may be absent or null; any other value than an object is refused
// with the library's type error, as a wrongly typed value of any other key is.
const json* objectMember(const Traced& owner, const char* key) {
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
std::vector<std::u16string> readPatterns(const Traced& owner, const char* key,
                                         std::vector<std::u16string> fallback,
                                         std::size_t& characters) {
    const json* value = member(owner, key);
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

// An unknown name combines as the default, a sum (the checker warns about it).
InstanceCombine readCombine(const Traced& owner, const char* key) {
    const auto combine =
        closedSetValue<std::size_t>(readString(owner, key, u"sum"), kInstanceCombines);
    return combine < kInstanceCombines.size() ? static_cast<InstanceCombine>(combine)
                                              : InstanceCombine::Sum;
}

std::optional<InstanceSelection> readInstanceSelection(const Traced& counter) {
    const json* value = objectMember(counter, "instances");
    if (value == nullptr) {
        return std::nullopt;
    }
    const Traced instances{*value, counter.trace};
    InstanceSelection selection;
    std::size_t characters = 0;
    selection.include = readPatterns(instances, "include", {u"*"}, characters);
    selection.exclude = readPatterns(instances, "exclude", {}, characters);
    if (const json* groupValue = objectMember(instances, "groupBy")) {
        const Traced groupBy{*groupValue, counter.trace};
        selection.grouped = true;
        for (auto [key, text] :
             {std::pair{"from", &selection.groupFrom}, std::pair{"to", &selection.groupTo}}) {
            if (const json* part = member(groupBy, key)) {
                *text = readBoundedText(*part, counter.trace);
            }
        }
    }
    selection.groupCombine = readCombine(instances, "groupCombine");
    selection.combine = readCombine(instances, "combine");
    return selection;
}

// What the meters loaded so far hold, against the limits on the whole file.
struct LoadCounts {
    std::size_t references = 0;
    std::size_t graphCounters = 0;
};

std::unique_ptr<Meter> parseMeter(const json& meterValue, const LoadContext& context,
                                  LoadCounts& counts) {
    const Traced value{meterValue, context.trace};
    auto meter = std::make_unique<Meter>();
    meter->meterType =
        closedSetValue<MeterType>(readString(value, "meterType", u"text"), kMeterTypes);
    // Accepted for compatibility; they must be strings but change nothing.
    readString(value, "combineFunction", u"");
    readString(value, "units", u"");
    meter->color = parseColour(readString(value, "color", u"#FFFFFF"));
    meter->style = closedSetValue<GraphStyle>(readString(value, "style", u"area"), kGraphStyles);
    meter->width = readPixels(value, "width", context.dpiScale, -1);
    meter->height = readPixels(value, "height", context.dpiScale, -1);
    if (const json* rate = member(value, "refreshRate")) {
        meter->refreshRate = parseMilliseconds(*rate);
    }
    if (const json* counters = member(value, "counters")) {
        traceValue(*counters, context.trace);
        const bool graph = meter->meterType == MeterType::Graph;
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
            meter->counters.push_back(
                parseTracedCounter(Traced{element, context.trace}, context.dpiScale));
            counts.graphCounters += graph ? 1 : 0;
            counts.references += meter->counters.back().references.size();
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

MeterCounter parseCounter(const json& element, double dpiScale) {
    return parseTracedCounter(Traced{element}, dpiScale);
}

namespace {

MeterCounter parseTracedCounter(const Traced& element, double dpiScale) {
    MeterCounter counter;
    std::u16string path =
        readString(element, "counterPath", u"\\Processor(_Total)\\% processor time");
    counter.references = extractReferences(path);
    counter.expressionText = utf16ToUtf8(path);
    counter.counterPath = std::move(path);
    counter.color = parseColour(readString(element, "color", u"#FFFFFF"));
    counter.units = closedSetValue<CounterUnits>(readString(element, "units", u""), kCounterUnits);
    counter.indicator = readString(element, "indicator", u"");
    counter.font = readString(element, "font", u"Arial");
    counter.fontSize = readPixels(element, "fontSize", dpiScale, 7);
    counter.minValue = readDouble(element, "minValue", -std::numeric_limits<double>::infinity());
    counter.maxValue = readDouble(element, "maxValue", std::numeric_limits<double>::infinity());
    counter.dynamicMinValue = readBool(element, "dynamicMinValue", false);
    counter.dynamicMaxValue = readBool(element, "dynamicMaxValue", false);
    const Trigger trigger = splitTrigger(readString(element, "trigger", u""));
    counter.triggerOperator = trigger.op;
    counter.triggerValue = trigger.threshold;
    counter.instances = readInstanceSelection(element);
    return counter;
}

}  // namespace

void loadModel(json& documentValue, const LoadContext& context, PanelModel& model) {
    const Traced document{documentValue, context.trace};
    const double scale = context.dpiScale;
    model.horizontalPadding = readPixels(document, "horizontalPadding", scale, 0);
    model.verticalPadding = readPixels(document, "verticalPadding", scale, 0);
    model.horizontalSpacing = readPixels(document, "horizontalSpacing", scale, 0);
    model.verticalSpacing = readPixels(document, "verticalSpacing", scale, 0);
    model.metersByRate.clear();

    traceValue(documentValue, context.trace);
    // Member access, not the guarded lookup: a document or group that is neither an
    // object nor null fails here with the library's operator[] message.
    std::size_t meterCount = 0;
    LoadCounts counts;
    for (json& groupJson : documentValue["meterGroups"]) {
        const Traced groupValue{groupJson, context.trace};
        if (!readBool(groupValue, "enabled", true)) {
            continue;
        }
        traceValue(groupJson, context.trace);
        // Refused before the next meter or rate is made.
        if (model.groups.size() == kMaxEnabledGroups) {
            throw ConfigurationLimitError(kTooManyGroups);
        }
        std::vector<Meter*> meters;
        for (const json& meterValue : groupJson["meters"]) {
            if (meterCount++ == kMaxMeters) {
                traceValue(meterValue, context.trace);
                throw ConfigurationLimitError(kTooManyMeters);
            }
            std::unique_ptr<Meter> meter = parseMeter(meterValue, context, counts);
            meter->index = meterCount - 1;
            if (model.metersByRate.size() == kMaxRefreshRates &&
                !model.metersByRate.contains(meter->refreshRate)) {
                traceValue(meterValue, context.trace);
                throw ConfigurationLimitError(kTooManyRefreshRates);
            }
            meters.push_back(meter.get());
            model.metersByRate[meter->refreshRate].push_back(std::move(meter));
        }

        auto group = std::make_unique<MeterGroup>();
        group->width = readPixels(groupValue, "width", scale, -1);
        group->height = readPixels(groupValue, "height", scale, -1);
        group->minWidth = readPixels(groupValue, "minWidth", scale, -1);
        group->minHeight = readPixels(groupValue, "minHeight", scale, -1);
        group->maxWidth = readPixels(groupValue, "maxWidth", scale,
                                     group->width != -1 ? group->width : scalePixels(300, scale));
        group->maxHeight = readPixels(groupValue, "maxHeight", scale,
                                      group->height != -1 ? group->height : scalePixels(40, scale));
        group->name = readString(groupValue, "name", u"");
        group->orientation = closedSetValue<GroupOrientation>(
            readString(groupValue, "orientation", u""), kOrientations);
        group->meters = std::move(meters);
        model.groups.push_back(std::move(group));
    }
}

}  // namespace tavisto
