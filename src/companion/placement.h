#pragma once
// Where the meters go inside a taskbar, in the taskbar's client coordinates. Pure
// arithmetic, so that every arrangement can be tested without a taskbar.

#include <cstdint>
#include <optional>

#include "config/taskbar_settings.h"
#include "platform/geometry.h"

namespace tavisto::companion {

// Kept free at the far end, at 96 DPI, while a taskbar shows no notification area with
// an area: at sign-in the primary one is empty for seconds before the clock, the date and
// the icons arrive; a secondary taskbar has no such window but shows a clock there; Wine's
// desktop taskbar has none either and paints its tray icons there (20 px each).
inline constexpr std::int32_t kPrimaryTrayReserve = 200;
inline constexpr std::int32_t kSecondaryClockReserve = 88;

struct TaskbarShape {
    Rect client;                           // the taskbar's client area
    std::optional<Rect> notificationArea;  // in client coordinates, when shown with an area
    // The bar the user sees (its Start button's extent across the taskbar); none: the
    // whole client area. Taskbars of touch devices are taller than what they draw.
    std::optional<Rect> visibleBar;
    double dpiScale = 1.0;
    bool primary = true;
};

// The window's rectangle for a band of `length` pixels along the taskbar. Across the
// taskbar it takes the visible bar; along it, it ends just before the notification area
// ("right"), or before the far end less the scaled reserve, or starts at the near end
// ("left"), moved away from that edge by the scaled offset. A taskbar taller than wide
// is walked top to bottom the same way. The rectangle never starts before the client
// area.
Rect placeBand(const TaskbarShape& taskbar, const TaskbarSettings& settings, std::int32_t length);

}  // namespace tavisto::companion
