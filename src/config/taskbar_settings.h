#pragma once
// The optional "taskbar" object of the configuration: which taskbars show the meters
// and where in them. Only the companion reads it; the desk band ignores it. Its values
// follow the key table, so the checker warns about exactly the values read otherwise
// than written.

#include <cstdint>

#include <nlohmann/json.hpp>

#include "config/configuration_keys.h"

namespace tavisto {

// In the order of the "monitors" values in the key table.
enum class Monitors { Primary, All };
// In the order of the "position" values in the key table.
enum class Edge { Right, Left };

// Each member starts as its key's default in the key table.
struct TaskbarSettings {
    Monitors monitors = defaultChoice<Monitors>(configurationKey(KeyLevel::Taskbar, "monitors"));
    // "right": next to the notification area; "left": the far end of the taskbar.
    Edge position = defaultChoice<Edge>(configurationKey(KeyLevel::Taskbar, "position"));
    // Pixels at 96 DPI moved away from that edge.
    std::int32_t offset =
        static_cast<std::int32_t>(defaultInteger(configurationKey(KeyLevel::Taskbar, "offset")));
    // Every click goes through the meters to what lies under them.
    bool clickThrough = defaultBoolean(configurationKey(KeyLevel::Taskbar, "clickThrough"));
    bool operator==(const TaskbarSettings&) const = default;
};

// Reads "taskbar" from a parsed configuration document. A missing object, a value of the
// wrong type or an unknown word gives that key's default, and an offset is made the
// nearest one the key table allows; never throws.
TaskbarSettings readTaskbarSettings(const nlohmann::json& document) noexcept;

}  // namespace tavisto
