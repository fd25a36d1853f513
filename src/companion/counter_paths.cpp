#include "companion/counter_paths.h"

#include <array>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"
#include "config/meter_model.h"
#include "core/text_conversion.h"

namespace tavisto::companion {
namespace {

std::string utf8(std::wstring_view text) {
    return utf16ToUtf8(std::u16string(text.begin(), text.end()));
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
    const std::string_view units = proposedUnits(counter);
    return "\"units\": \"" + std::string(units) + "\", " +
           (units == kCounterUnits[static_cast<std::size_t>(CounterUnits::Percent)]
                ? "\"minValue\": 0, \"maxValue\": 100"
                : "\"minValue\": 0, \"maxValue\": 1, \"dynamicMaxValue\": true");
}

std::vector<InstanceChoice> instanceChoices(std::wstring_view object) {
    // In the order of the combination names.
    constexpr std::array<const wchar_t*, kInstanceCombines.size()> labels{
        L"Sum of the instances", L"Largest instance", L"Smallest instance",
        L"Average of the instances", L"Number of instances"};
    std::vector<InstanceChoice> choices;
    if (object == L"GPU Engine") {
        choices.push_back(
            {L"Busiest engine, summed over processes (as Task Manager)",
             R"({"groupBy": {"from": "luid_", "to": "_engtype"}, "groupCombine": "sum", )"
             R"("combine": "max"})"});
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        choices.push_back(
            {labels[i],
             i == 0 ? std::string() : nlohmann::json{{"combine", kInstanceCombines[i]}}.dump()});
    }
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
