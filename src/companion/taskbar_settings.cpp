#include "companion/taskbar_settings.h"

#include <string>

namespace tavisto::companion {
namespace {

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool isText(const nlohmann::json* value, const char* text) {
    return value != nullptr && value->is_string() && value->get_ref<const std::string&>() == text;
}

}  // namespace

TaskbarSettings readTaskbarSettings(const nlohmann::json& document) noexcept {
    TaskbarSettings settings;
    try {
        const nlohmann::json* taskbar = member(document, "taskbar");
        if (taskbar == nullptr) {
            return settings;
        }
        if (isText(member(*taskbar, "monitors"), "all")) {
            settings.monitors = Monitors::All;
        }
        if (isText(member(*taskbar, "position"), "left")) {
            settings.position = Edge::Left;
        }
        const nlohmann::json* clickThrough = member(*taskbar, "clickThrough");
        settings.clickThrough =
            clickThrough != nullptr && clickThrough->is_boolean() && clickThrough->get<bool>();
        // Whole pixels only: booleans and fractions are not offsets.
        const nlohmann::json* offset = member(*taskbar, "offset");
        if (offset != nullptr && offset->is_number_integer() && !offset->is_boolean()) {
            const auto pixels = offset->get<std::int64_t>();
            if (pixels >= 0 && pixels <= kMaximumOffset) {
                settings.offset = static_cast<std::int32_t>(pixels);
            }
        }
    } catch (...) {
        return TaskbarSettings{};
    }
    return settings;
}

}  // namespace tavisto::companion
