#include "config/taskbar_settings.h"

#include <string>

#include "config/configuration_keys.h"
#include "config/configuration_values.h"
#include "core/failure_sink.h"

namespace tavisto {
namespace {

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// The position of a value in its key's closed set, or 0 (the default's) for any other.
template <typename Choice>
Choice readChoice(const nlohmann::json& taskbar, const ConfigurationKey& key) {
    const nlohmann::json* value = member(taskbar, key.name);
    if (value == nullptr || !value->is_string()) {
        return Choice{};
    }
    const auto choice =
        closedSetValue<std::size_t>(value->get_ref<const std::string&>(), key.values);
    return choice < key.values.size() ? static_cast<Choice>(choice) : Choice{};
}

const ConfigurationKey& taskbarKey(std::string_view name) {
    return *findConfigurationKey(KeyLevel::Taskbar, name);
}

}  // namespace

TaskbarSettings readTaskbarSettings(const nlohmann::json& document) noexcept {
    TaskbarSettings settings;
    try {
        const nlohmann::json* taskbar = member(document, "taskbar");
        if (taskbar == nullptr) {
            return settings;
        }
        settings.monitors = readChoice<Monitors>(*taskbar, taskbarKey("monitors"));
        settings.position = readChoice<Edge>(*taskbar, taskbarKey("position"));
        const nlohmann::json* clickThrough = member(*taskbar, "clickThrough");
        settings.clickThrough =
            clickThrough != nullptr && clickThrough->is_boolean() && clickThrough->get<bool>();
        const ConfigurationKey& offsetKey = taskbarKey("offset");
        if (const nlohmann::json* offset = member(*taskbar, offsetKey.name);
            offset != nullptr && offset->is_number()) {
            settings.offset =
                static_cast<std::int32_t>(fitNumber(offsetKey.range, parseNumber(*offset)).value);
        }
    } catch (...) {
        reportCaughtException("taskbar settings");
        return TaskbarSettings{};
    }
    return settings;
}

}  // namespace tavisto
