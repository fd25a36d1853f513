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

// The value of a closed-set key: its position among the key's values. Any other value
// leaves the choice as it is, the key's default.
template <typename Choice>
void readChoice(const nlohmann::json& taskbar, const ConfigurationKey& key, Choice& choice) {
    const nlohmann::json* value = member(taskbar, key.name);
    if (value == nullptr || !value->is_string()) {
        return;
    }
    const auto index =
        closedSetValue<std::size_t>(value->get_ref<const std::string&>(), key.values);
    if (index < key.values.size()) {
        choice = static_cast<Choice>(index);
    }
}

}  // namespace

TaskbarSettings readTaskbarSettings(const nlohmann::json& document) noexcept {
    TaskbarSettings settings;
    try {
        const nlohmann::json* taskbar = member(document, "taskbar");
        if (taskbar == nullptr) {
            return settings;
        }
        readChoice(*taskbar, configurationKey(KeyLevel::Taskbar, "monitors"), settings.monitors);
        readChoice(*taskbar, configurationKey(KeyLevel::Taskbar, "position"), settings.position);
        if (const nlohmann::json* clickThrough =
                member(*taskbar, configurationKey(KeyLevel::Taskbar, "clickThrough").name);
            clickThrough != nullptr && clickThrough->is_boolean()) {
            settings.clickThrough = clickThrough->get<bool>();
        }
        const ConfigurationKey& offsetKey = configurationKey(KeyLevel::Taskbar, "offset");
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
