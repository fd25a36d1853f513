#include "companion/counter_paths.h"

#include <array>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/meter_model.h"
#include "config/system_fields.h"
#include "core/text_conversion.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

std::string utf8(std::wstring_view text) {
    return utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

const FieldSource* fieldSourceNamed(std::wstring_view name) {
    for (const FieldSource& source : kFieldSources) {
        if (wide(source.name()) == name) {
            return &source;
        }
    }
    return nullptr;
}

// The units member and the range that lets every meter kind show the value: a
// percentage's or a temperature's 0 to 100, and for anything else a range that widens
// to the largest value seen.
std::string readingIn(std::string_view units) {
    const auto named = [](CounterUnits u) { return kCounterUnits[static_cast<std::size_t>(u)]; };
    const bool hundred =
        units == named(CounterUnits::Percent) || units == named(CounterUnits::Celsius);
    return "\"units\": \"" + std::string(units) + "\", " +
           (hundred ? "\"minValue\": 0, \"maxValue\": 100"
                    : "\"minValue\": 0, \"maxValue\": 1, \"dynamicMaxValue\": true");
}

}  // namespace

std::string counterPathFragment(std::wstring_view object, std::wstring_view instance,
                                std::wstring_view counter) {
    std::wstring path = L"(\\";
    path += object;
    if (!instance.empty()) {
        path += L"(";
        path += instance;
        path += L")";
    }
    path += L"\\";
    path += counter;
    path += L")";
    return "\"counterPath\": " + nlohmann::json(utf8(path)).dump();
}

std::string_view proposedUnits(std::wstring_view counter) {
    const auto unit = [](std::size_t index) { return kCounterUnits[index]; };
    const bool bytes = counter.find(L"Bytes") != std::wstring_view::npos;
    if (counter.starts_with(L"%") || counter.find(L"Percentage") != std::wstring_view::npos) {
        return unit(static_cast<std::size_t>(CounterUnits::Percent));
    }
    if (bytes && counter.ends_with(L"/sec")) {
        return unit(static_cast<std::size_t>(CounterUnits::BytesPerSecond));
    }
    return unit(static_cast<std::size_t>(bytes ? CounterUnits::Bytes : CounterUnits::Count));
}

std::string proposedReading(std::wstring_view counter) {
    return readingIn(proposedUnits(counter));
}

std::vector<std::wstring> fieldSourceNames() {
    std::vector<std::wstring> names;
    for (const FieldSource& source : kFieldSources) {
        names.push_back(wide(source.name()));
    }
    return names;
}

std::vector<std::wstring> fieldsOf(std::wstring_view source) {
    std::vector<std::wstring> fields;
    if (const FieldSource* found = fieldSourceNamed(source)) {
        for (const std::u16string_view field : found->fields) {
            fields.push_back(wide(field));
        }
    }
    return fields;
}

std::string fieldFragment(std::wstring_view source, std::wstring_view field) {
    const FieldSource* found = fieldSourceNamed(source);
    std::size_t index = 0;
    while (found != nullptr && index < found->fields.size() &&
           wide(found->fields[index]) != field) {
        ++index;
    }
    const CounterUnits units = found != nullptr && index < found->units.size()
                                   ? found->units[index]
                                   : CounterUnits::Count;
    std::wstring path = L"(";
    path += source;
    path += L".";
    path += field;
    path += L")";
    return "\"counterPath\": " + nlohmann::json(utf8(path)).dump() + ", " +
           readingIn(kCounterUnits[static_cast<std::size_t>(units)]);
}

std::vector<InstanceChoice> instanceChoices(const TextTable& texts, std::wstring_view object) {
    // In the order of the combination names.
    constexpr std::array<TextId, kInstanceCombines.size()> labels{
        TextId::PickerSum, TextId::PickerLargest, TextId::PickerSmallest, TextId::PickerAverage,
        TextId::PickerCount};
    const auto label = [&texts](TextId id) { return window::wideText(texts, id); };
    std::vector<InstanceChoice> choices;
    if (object == L"GPU Engine") {
        choices.push_back(
            {label(TextId::PickerBusiestEngine),
             R"({"groupBy": {"from": "luid_", "to": "_engtype"}, "groupCombine": "sum", )"
             R"("combine": "max"})"});
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        choices.push_back(
            {label(labels[i]),
             i == 0 ? std::string() : nlohmann::json{{"combine", kInstanceCombines[i]}}.dump()});
    }
    // A process's engines count as its busiest one, as Task Manager's GPU column.
    choices.push_back({label(TextId::PickerTop5),
                       object == L"GPU Engine" ? R"({"top": 5, "groupCombine": "max"})"
                                               : R"({"top": 5})"});
    return choices;
}

std::string withInstances(std::string fragment, std::wstring_view instance,
                          const InstanceChoice& choice) {
    if (instance.find(L'*') != std::wstring_view::npos && !choice.instancesJson.empty()) {
        fragment += ", \"instances\": " + choice.instancesJson;
    }
    return fragment;
}

std::map<unsigned long, std::wstring> parseCounterNames(std::wstring_view table) {
    std::map<unsigned long, std::wstring> names;
    const auto next = [&table]() {
        const std::size_t end = table.find(L'\0');
        const std::wstring_view word = table.substr(0, end);
        table.remove_prefix(end == std::wstring_view::npos ? table.size() : end + 1);
        return word;
    };
    while (!table.empty()) {
        const std::wstring_view index = next();
        if (index.empty()) {
            break;
        }
        const std::wstring_view name = next();
        if (name.empty()) {
            break;
        }
        unsigned long value = 0;
        bool digits = index.size() <= 9;
        for (const wchar_t character : index) {
            digits = digits && character >= L'0' && character <= L'9';
            value = value * 10 + static_cast<unsigned long>(character - L'0');
        }
        if (digits) {
            names.emplace(value, std::wstring(name));
        }
    }
    return names;
}

}  // namespace tavisto::companion
