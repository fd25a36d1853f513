#pragma once
// The optional "taskbar" object of the configuration: which taskbars show the meters
// and where in them. Only the companion reads it; the desk band ignores it. Its values
// follow the key table, so the checker warns about exactly the values read otherwise
// than written.

#include <cstdint>

#include <nlohmann/json.hpp>

namespace tavisto {

// In the order of the "monitors" values in the key table.
enum class Monitors { Primary, All };
// In the order of the "position" values in the key table.
enum class Edge { Right, Left };

struct TaskbarSettings {
    Monitors monitors = Monitors::Primary;
    // "right": next to the notification area; "left": the far end of the taskbar.
    Edge position = Edge::Right;
    // Pixels at 96 DPI moved away from that edge.
    std::int32_t offset = 0;
    // Every click goes through the meters to what lies under them.
    bool clickThrough = false;
    bool operator==(const TaskbarSettings&) const = default;
};

// Reads "taskbar" from a parsed configuration document. A missing object, a value of the
// wrong type or an unknown word gives that key's default, and an offset is made the
// nearest one the key table allows; never throws.
TaskbarSettings readTaskbarSettings(const nlohmann::json& document) noexcept;

}  // namespace tavisto
