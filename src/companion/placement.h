#pragma once
// Where the meters go inside a taskbar, in the taskbar's client coordinates. Pure
// arithmetic, so that every arrangement can be tested without a taskbar.

#include <cstdint>
#include <optional>

#include "companion/taskbar_settings.h"
#include "platform/geometry.h"

namespace tavisto::companion {

// Kept free at the far end of a taskbar that has no notification area, at 96 DPI.
inline constexpr std::int32_t kEndMargin = 12;

struct TaskbarShape {
    Rect client;                           // the taskbar's client area
    std::optional<Rect> notificationArea;  // in client coordinates; none: secondary
    double dpiScale = 1.0;
};

// The window's rectangle for a band of `length` pixels along the taskbar. Across the
// taskbar it takes the whole client area; along it, it ends just before the
// notification area ("right"), or before the far end less the margin, or starts at the
// near end ("left"), moved away from that edge by the scaled offset. A taskbar taller
// than wide is walked top to bottom the same way. The rectangle never starts before
// the client area.
Rect placeBand(const TaskbarShape& taskbar, const TaskbarSettings& settings, std::int32_t length);

}  // namespace tavisto::companion
